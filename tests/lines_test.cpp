// The streams of texts and lines against the known answers, with their
// input cut at every size from one byte up and their output into buffers
// of every size from one byte up: the one place where streams are cut into
// blocks, for every front end.
#include <encrypt/lines.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "line_decoder.hpp"
#include "refusing_allocator.hpp"
#include "vectors.hpp"

namespace {

using encrypt::test::line_answers;
using encrypt::test::text_answers;

struct streamed {
    std::string out;
    std::vector<std::pair<std::uint64_t, std::string>> failures;  // line, message
    bool stopped = false;
};

// Input blocks and output buffers of the sizes given, in turn: each an
// exact copy or allocation, so that a read or write past one is caught.
struct cuts {
    std::vector<std::size_t> blocks;
    std::vector<std::size_t> spaces;
};

// Passes `input` through `stream` (encoder or decoder, C++ wrappers or the
// decoder itself), recording failures and going on past them.
template <class Stream>
streamed stream_through(Stream& stream, const std::string& input, const cuts& sizes) {
    streamed got;
    std::size_t block = 0;
    std::size_t turn = 0;
    const auto call = [&](auto step) {
        std::vector<char> buffer(sizes.spaces[turn++ % sizes.spaces.size()]);
        char* next = buffer.data();
        std::size_t space = buffer.size();
        const int result = step(next, space);
        got.out.append(buffer.data(), buffer.size() - space);
        if constexpr (requires { stream.failure(); }) {
            if (result < 0) {
                std::uint64_t line = 0;
                const char* message = stream.failure(&line);
                got.failures.emplace_back(line, message);
                got.stopped = result == ENCRYPT_STOPPED;
            }
        }
        return result;
    };
    for (std::size_t at = 0; at < input.size() && !got.stopped;) {
        const std::size_t size = std::min(sizes.blocks[block++ % sizes.blocks.size()], input.size() - at);
        const std::vector<char> copy(input.begin() + static_cast<std::ptrdiff_t>(at),
                                     input.begin() + static_cast<std::ptrdiff_t>(at + size));
        const char* in = copy.data();
        std::size_t left = size;
        while (left > 0 && !got.stopped) {
            call([&](char*& next, std::size_t& space) { return stream.update(in, left, next, space); });
        }
        at += size;
    }
    while (!got.stopped &&
           call([&](char*& next, std::size_t& space) { return stream.finish(next, space); }) !=
               ENCRYPT_LINES_END) {
    }
    return got;
}

// Cut sizes from one byte up, around 64 (what a digits writer may read and
// store past its bytes) and the caption's 38, and large.
const cuts every_cut[] = {
    {{1}, {1}},          {{1}, {4096}},      {{2}, {7}},       {{3}, {38}},   {{5}, {39}},
    {{7}, {40}},         {{8}, {63}},        {{9}, {64}},      {{63}, {65}},  {{64}, {100}},
    {{65}, {1}},         {{100}, {8}},       {{4096}, {1}},    {{4096}, {4096}},
    {{1, 64, 3}, {1, 4200, 9}},              {{1 << 20}, {1 << 20}},
};

// The encoder's own view of its input: a stream of texts ending at `separator`.
std::string joined_texts(char separator, bool last_ended, std::string* lines) {
    std::string input;
    for (const auto& answer : text_answers()) {
        if (answer.text.find(separator) == std::string::npos) {
            input += answer.text + separator;
            *lines += answer.line;
        }
    }
    if (!last_ended) {
        input.pop_back();
    }
    return input;
}

class line_encoder_cuts : public testing::TestWithParam<cuts> {};

TEST_P(line_encoder_cuts, write_every_texts_line) {
    for (const char separator : {'\n', '\0'}) {
        for (const bool last_ended : {true, false}) {
            std::string lines;
            const std::string input = joined_texts(separator, last_ended, &lines);
            encrypt::line_encoder encoder(separator == '\0' ? ENCRYPT_LINES_NUL : 0);
            ASSERT_TRUE(encoder);
            EXPECT_TRUE(stream_through(encoder, input, GetParam()).out == lines)
                << "separator " << int{separator} << ", last ended " << last_ended;
        }
    }
}

// A carriage return before a line feed ends a text with CR LF taken as
// line ends, and only then; wherever the blocks cut around it.
TEST_P(line_encoder_cuts, take_cr_lf_as_a_line_end_when_asked) {
    const auto line = [](const std::string& text) {
        std::string out(encrypt_line_capacity(static_cast<std::uint32_t>(text.size())), '\0');
        out.resize(encrypt_line(&out[0], text.data(), static_cast<std::uint32_t>(text.size())));
        return out;
    };
    struct cr_case {
        unsigned options;
        std::string input;
        std::vector<std::string> texts;
    };
    const cr_case cases[] = {
        {ENCRYPT_LINES_CRLF, "abc\r\nc\r\n\r\nx", {"abc", "c", "", "x"}},
        {ENCRYPT_LINES_CRLF, "ab\r\r\n\r\rc\n\r", {"ab\r", "\r\rc", "\r"}},
        {ENCRYPT_LINES_CRLF, "a\rb\r", {"a\rb\r"}},
        {ENCRYPT_LINES_CRLF, "abc\r\nc\r\n\r\nx\n", {"abc", "c", "", "x"}},
        {0, "abc\r\nc\r", {"abc\r", "c\r"}},
        {0, "abc\r\nc\r\n", {"abc\r", "c\r"}},
        {ENCRYPT_LINES_CRLF | ENCRYPT_LINES_NUL, std::string("a\r\0b\r\n", 6), {"a\r", "b\r\n"}},
        {ENCRYPT_LINES_CRLF | ENCRYPT_LINES_NUL, std::string("a\r\0b\r\n\0", 7), {"a\r", "b\r\n"}},
    };
    for (const auto& c : cases) {
        // Once, and where its last text ends, many times over, so that
        // whole lines take the direct way too.
        std::string lines;
        for (const auto& text : c.texts) {
            lines += line(text);
        }
        encrypt::line_encoder encoder(c.options);
        EXPECT_EQ(stream_through(encoder, c.input, GetParam()).out, lines) << c.input;
        const char separator = (c.options & ENCRYPT_LINES_NUL) != 0 ? '\0' : '\n';
        if (c.input.back() != separator) {
            continue;
        }
        std::string many;
        for (int i = 0; i < 40; ++i) {
            many += c.input;
        }
        std::string many_lines;
        for (int i = 0; i < 40; ++i) {
            many_lines += lines;
        }
        EXPECT_EQ(stream_through(encoder, many, GetParam()).out, many_lines) << c.input;
    }
}

INSTANTIATE_TEST_SUITE_P(lines, line_encoder_cuts, testing::ValuesIn(every_cut));

// The known lines that a stream can hold: not those that end in a carriage
// return of their own, which a line feed after it would make a line end.
std::vector<encrypt::test::line_answer> streamable_lines() {
    std::vector<encrypt::test::line_answer> lines;
    for (const auto& answer : line_answers()) {
        if (answer.line.empty() || answer.line.back() != '\r') {
            lines.push_back(answer);
        }
    }
    return lines;
}

// What the decoder must write for the known lines joined by `line_end`,
// and which of them fail: those with no text, and those whose text holds
// the terminator.
streamed expected_decoding(char terminator) {
    streamed want;
    std::uint64_t number = 0;
    char reason[ENCRYPT_REASON_SIZE];
    for (const auto& answer : streamable_lines()) {
        ++number;
        if (!answer.gives_text) {
            want.failures.emplace_back(number, answer.message);
        } else if (answer.text.find(terminator) != std::string::npos) {
            want.failures.emplace_back(
                number, encrypt_reason(reason, terminator == '\n' ? ENCRYPT_HOLDS_LINE_FEED : ENCRYPT_HOLDS_ZERO, 0));
        } else {
            want.out += answer.text + terminator;
        }
    }
    return want;
}

class line_decoder_cuts : public testing::TestWithParam<cuts> {};

TEST_P(line_decoder_cuts, give_every_lines_text_or_its_failure) {
    for (const char terminator : {'\n', '\0'}) {
        const streamed want = expected_decoding(terminator);
        for (const std::string line_end : {"\n", "\r\n"}) {
            std::string input;
            for (const auto& answer : streamable_lines()) {
                input += answer.line + line_end;
            }
            // With the last line end and without it.
            for (const std::size_t cut : {std::size_t{0}, line_end.size()}) {
                encrypt::line_decoder decoder(terminator == '\0' ? ENCRYPT_LINES_NUL : 0);
                ASSERT_TRUE(decoder);
                const streamed got =
                    stream_through(decoder, input.substr(0, input.size() - cut), GetParam());
                EXPECT_TRUE(got.out == want.out) << "line end " << line_end.size() << ", cut " << cut;
                EXPECT_EQ(got.failures, want.failures);
                EXPECT_FALSE(got.stopped);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(lines, line_decoder_cuts, testing::ValuesIn(every_cut));

// A line of `units` zero units, whose text is that many zero bytes, but
// for the last, which ends the text.
std::string zeros_line(std::size_t units) {
    std::string line(2 * units, '8');
    for (std::size_t i = 1; i < line.size(); i += 2) {
        line[i] = '2';
    }
    return line;
}

const std::size_t past_hold_back = encrypt::detail::line_decoder::most_held_text + 1000;

// A text held back while its line may still fail goes out past 16 MiB; a
// line that fails then stops the stream, so that what follows never runs
// on from its text. Nothing stops where the text had not gone out.
TEST(line_decoder, stops_where_a_failed_lines_text_went_out) {
    const std::string long_line = zeros_line(past_hold_back / 2);
    const cuts sizes{{256 << 10}, {1 << 20}};
    encrypt::line_decoder decoder;
    const streamed whole = stream_through(decoder, "32c8\n" + long_line + "\n32c8\n", sizes);
    EXPECT_EQ(whole.out, "c\n" + std::string(past_hold_back - 1, '\0') + "\nc\n");
    EXPECT_TRUE(whole.failures.empty());

    const streamed stopped = stream_through(decoder, "32c8\n" + long_line + "zz\n32c8\n", sizes);
    ASSERT_TRUE(stopped.stopped);
    EXPECT_EQ(stopped.failures,
              (decltype(stopped.failures){{2, "not a result line; the output stops after part of its text"}}));
    EXPECT_EQ(stopped.out.substr(0, 2), "c\n");
    EXPECT_GT(stopped.out.size(), encrypt::detail::line_decoder::most_held_text);
    EXPECT_EQ(stopped.out.find_first_not_of('\0', 2), std::string::npos) << "no terminator, nothing after";
    char* next = nullptr;
    std::size_t space = 0;
    EXPECT_EQ(decoder.finish(next, space), ENCRYPT_STOPPED);

    decoder.reset();
    EXPECT_EQ(stream_through(decoder, "32c8\n", sizes).out, "c\n");

    // With zero bytes for terminators the long text is found to hold one
    // before any of it goes out: the line is left out, and the next read.
    encrypt::line_decoder nul(ENCRYPT_LINES_NUL);
    const streamed left_out = stream_through(nul, long_line + "\n32c8", sizes);
    EXPECT_EQ(left_out.out, std::string("c\0", 2));
    EXPECT_FALSE(left_out.stopped);
    ASSERT_EQ(left_out.failures.size(), 1u);
    EXPECT_EQ(left_out.failures[0].first, 1u);
}

// An input that ends inside a line, as a failed read leaves it: the line is
// dropped undecided, unless part of its text went out, which stops.
TEST(line_decoder, abandons_the_line_under_way) {
    for (const bool long_text : {false, true}) {
        encrypt::line_decoder decoder;
        const std::string line = long_text ? zeros_line(past_hold_back / 2) : "25da76d8";
        std::string input = "32c8\n" + line;
        const char* in = input.data();
        std::size_t left = input.size();
        std::string out;
        std::vector<char> buffer(1 << 20);
        while (left > 0) {
            char* next = buffer.data();
            std::size_t space = buffer.size();
            ASSERT_EQ(decoder.update(in, left, next, space), ENCRYPT_LINES_OK);
            out.append(buffer.data(), buffer.size() - space);
        }
        EXPECT_EQ(decoder.abandon(), long_text ? ENCRYPT_STOPPED : ENCRYPT_LINES_OK);
        char* next = buffer.data();
        std::size_t space = buffer.size();
        EXPECT_EQ(decoder.finish(next, space), long_text ? ENCRYPT_STOPPED : ENCRYPT_LINES_END);
        out.append(buffer.data(), buffer.size() - space);
        EXPECT_EQ(out.substr(0, 2), "c\n");
        EXPECT_EQ(out.size() > 2, long_text);
        EXPECT_EQ(std::string(decoder.failure()).find("the output stops") != std::string::npos, long_text);
    }
}

// Memory refused: a new stream is null; a line whose text cannot be held
// fails with "memory exhausted", and the next line is read.
TEST(streams, report_memory_refused) {
    if (!encrypt::test::allocations_can_be_refused()) {
        GTEST_SKIP() << "this program's allocations cannot be refused here";
    }
    {
        encrypt::test::refusing_allocations every_request;
        EXPECT_FALSE(encrypt::line_encoder());
        EXPECT_FALSE(encrypt::line_decoder());
    }
    const std::string memory_exhausted = "memory exhausted";
    // A line cut between blocks has its text held between calls, from 64 KiB on.
    encrypt::line_decoder decoder;
    streamed got;
    const std::string hello = "281e00642df842de7bbbdaf377d061f3334db20277090568c2\n32c8\n";
    {
        encrypt::test::refusing_allocations held(std::size_t{64} << 10);
        got = stream_through(decoder, hello, cuts{{9}, {64}});
    }
    EXPECT_EQ(got.out, "c\n");
    EXPECT_EQ(got.failures, (decltype(got.failures){{1, memory_exhausted}}));
}

// The capacity a whole block's lines need holds them.
TEST(streams, capacity_holds_a_blocks_lines) {
    std::string lines;
    for (const char separator : {'\n', '\0'}) {
        const std::string input = joined_texts(separator, true, &lines);
        const unsigned options = separator == '\0' ? ENCRYPT_LINES_NUL : 0;
        encrypt::line_encoder encoder(options);
        const std::size_t capacity = encrypt_lines_capacity(input.data(), input.size(), options);
        EXPECT_LE(stream_through(encoder, input, cuts{{1 << 20}, {1 << 20}}).out.size(), capacity);
    }
}

}  // namespace
