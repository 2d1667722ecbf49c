// The stream of lines against the reference, with its input split anywhere.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "line_stream.hpp"
#include "reference.hpp"

namespace {

using encrypt::cli::line_stream;
using encrypt::cli::line_stream_settings;
using encrypt::test::reference_lines;

struct capture {
    std::string out;
    std::size_t output_size = 0;  // the most bytes the stream may hand over at once
    std::size_t largest = 0;      // the most it did
    std::size_t fail_after = std::string::npos;  // bytes the sink takes before failing
    // A buffer to hand back in turn with the one just taken, as a writer
    // that is still busy with it does; null to hand back the same one.
    char* spare = nullptr;
};

char* into_string(void* context, char* data, std::size_t size) {
    auto* to = static_cast<capture*>(context);
    to->largest = std::max(to->largest, size);
    if (to->out.size() + size > to->fail_after) {
        return nullptr;
    }
    to->out.append(data, size);
    if (to->spare == nullptr) {
        return data;
    }
    // Whatever the stream left in the buffer it gave up is spoilt.
    char* next = to->spare;
    std::fill(data, data + to->output_size + line_stream::padding, '#');
    to->spare = data;
    return next;
}

// Feeds `input` in blocks of the sizes `next_block` gives, and returns what
// the stream wrote.
template <class NextBlock>
std::string stream_through(const std::string& input, line_stream_settings settings,
                           std::size_t block_room, NextBlock next_block,
                           bool swap_buffers = false, std::size_t output_size = 1 << 16) {
    std::vector<std::uint64_t> memory(line_stream::memory_needed(block_room, output_size) / 8 + 1);
    std::vector<char> spare(output_size + line_stream::padding);
    capture sink;
    sink.output_size = output_size;
    sink.spare = swap_buffers ? spare.data() : nullptr;
    line_stream stream(settings, memory.data(), block_room, output_size, into_string, &sink);
    for (std::size_t at = 0; at < input.size();) {
        std::size_t size = next_block();
        size = std::min({size, block_room, input.size() - at});
        std::memcpy(stream.input_space(), input.data() + at, size);
        EXPECT_TRUE(stream.consume(size));
        at += size;
    }
    EXPECT_TRUE(stream.end_of_input());
    EXPECT_LE(sink.largest, output_size) << "more than a piece of output at once";
    return sink.out;
}

const line_stream_settings line_feeds{'\n', false, nullptr};
const line_stream_settings zero_bytes{'\0', false, nullptr};
const line_stream_settings windows_text{'\n', true, nullptr};

std::string expected(const std::string& input, line_stream_settings settings) {
    return reference_lines(input, static_cast<char>(settings.separator),
                           settings.drop_carriage_return, "\n");
}

// Short inputs with every hard case, split at every point into two blocks
// and into blocks of every small size.
TEST(line_stream, matches_the_reference_wherever_the_input_is_split) {
    using namespace std::string_literals;
    const std::string inputs[] = {
        "",
        "\n",
        "abc",
        "abc\n",
        "abc\n\nc",
        "ab\r\ncd",
        "ab\r\r\n\r",
        "x\r",
        "\r\n\r\n",
        "a\0b\nc\0\0d"s,
        "Hello, world!\nodd\neven\n",
        "\xff\xff\n\x80\x81\xfe\r\n\r",
    };
    for (const auto settings : {line_feeds, zero_bytes, windows_text}) {
        for (const auto& input : inputs) {
            const std::string want = expected(input, settings);
            for (std::size_t first = 0; first <= input.size(); ++first) {
                bool first_block = true;
                const auto got = stream_through(input, settings, 64, [&] {
                    const std::size_t size = first_block ? first : 64;
                    first_block = false;
                    return size;
                });
                ASSERT_EQ(got, want) << "first block " << first << " of " << input.size();
            }
            for (std::size_t block = 1; block <= 5; ++block) {
                ASSERT_EQ(stream_through(input, settings, block, [] { return 64; }), want)
                    << "blocks of " << block;
            }
        }
    }
}

// Random inputs: line feeds, carriage returns, zero bytes, empty texts and
// long ones (past the output buffer and the longest argument), in blocks of
// random size; every other round the sink hands back another output buffer
// at each flush, as the writer thread does.
TEST(line_stream, matches_the_reference_on_random_input) {
    std::mt19937 random(12);
    const char specials[] = {'\n', '\r', '\0', '\n', '\n'};
    for (int round = 0; round < 40; ++round) {
        std::string input;
        const int texts = round % 8 == 7 ? 2 : 200;
        for (int t = 0; t < texts; ++t) {
            const std::size_t length = round % 8 == 7 ? 300000 + random() % 3 : random() % 70;
            for (std::size_t i = 0; i < length; ++i) {
                input.push_back(random() % 8 == 0 ? specials[random() % 5]
                                                  : static_cast<char>(random()));
            }
            input.push_back(random() % 2 == 0 ? '\n' : '\0');
        }
        if (round % 2 == 1) {
            input.pop_back();  // no separator after the last text
        }
        const std::size_t room = round % 3 == 0 ? 1 + random() % 16 : 1 + random() % 100000;
        for (const auto settings : {line_feeds, zero_bytes, windows_text}) {
            const auto got = stream_through(
                input, settings, room, [&] { return 1 + random() % room; }, round % 2 == 0);
            ASSERT_TRUE(got == expected(input, settings)) << "round " << round;
        }
    }
}

// Pieces of every size from the caption's up: each caption, line feed and
// digit lands on a piece's last byte and on the byte past it, with each
// digits writer, and the texts are short enough for their lines to be
// written whole or long enough to be split.
TEST(line_stream, fills_each_piece_to_its_last_byte) {
    const std::string input = "abc\n\nHello, world!\nc\n" + std::string(45, 'q') + "\nxy\n\n\xff\xff\xfe\n";
    for (std::size_t w = 0; w < encrypt::detail::digits_writer_count; ++w) {
        const auto& writer = encrypt::detail::digits_writers[w];
        if (!writer.supported()) {
            continue;
        }
        line_stream_settings settings = line_feeds;
        settings.writer = &writer;
        for (std::size_t output_size = 40; output_size <= 200; ++output_size) {
            const auto got = stream_through(input, settings, 64, [] { return 64; },
                                            output_size % 2 == 0, output_size);
            ASSERT_EQ(got, expected(input, settings))
                << writer.name << ", pieces of " << output_size;
        }
    }
}

TEST(line_stream, stops_when_the_sink_fails) {
    std::vector<std::uint64_t> memory(line_stream::memory_needed(16, 64) / 8 + 1);
    capture sink;
    sink.fail_after = 0;
    line_stream stream(line_feeds, memory.data(), 16, 64, into_string, &sink);
    std::memcpy(stream.input_space(), "abc\n", 4);
    EXPECT_TRUE(stream.consume(4));  // the line waits in the buffer
    EXPECT_FALSE(stream.end_of_input());
    EXPECT_EQ(sink.out, "");
}

}  // namespace
