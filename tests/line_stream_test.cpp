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
    std::size_t fail_after = std::string::npos;  // bytes the sink takes before failing
    // A buffer to hand back in turn with the one just taken, as a writer
    // that is still busy with it does; null to hand back the same one.
    char* spare = nullptr;
};

char* into_string(void* context, char* data, std::size_t size) {
    auto* to = static_cast<capture*>(context);
    if (to->out.size() + size > to->fail_after) {
        return nullptr;
    }
    to->out.append(data, size);
    if (to->spare == nullptr) {
        return data;
    }
    // Whatever the stream left in the buffer it gave up is spoilt.
    char* next = to->spare;
    std::fill(data, data + line_stream::output_buffer_size, '#');
    to->spare = data;
    return next;
}

// Feeds `input` in blocks of the sizes `next_block` gives, and returns what
// the stream wrote.
template <class NextBlock>
std::string stream_through(const std::string& input, line_stream_settings settings,
                           std::size_t block_room, NextBlock next_block,
                           bool swap_buffers = false) {
    std::vector<std::uint64_t> memory(line_stream::memory_needed(block_room) / 8 + 1);
    std::vector<char> spare(line_stream::output_buffer_size);
    capture sink;
    sink.spare = swap_buffers ? spare.data() : nullptr;
    line_stream stream(settings, memory.data(), block_room, into_string, &sink);
    for (std::size_t at = 0; at < input.size();) {
        std::size_t size = next_block();
        size = std::min({size, block_room, input.size() - at});
        std::memcpy(stream.input_space(), input.data() + at, size);
        EXPECT_TRUE(stream.consume(size));
        at += size;
    }
    EXPECT_TRUE(stream.end_of_input());
    return sink.out;
}

const line_stream_settings line_feeds{'\n', false};
const line_stream_settings zero_bytes{'\0', false};
const line_stream_settings windows_text{'\n', true};

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

TEST(line_stream, stops_when_the_sink_fails) {
    std::vector<std::uint64_t> memory(line_stream::memory_needed(16) / 8 + 1);
    capture sink;
    sink.fail_after = 0;
    line_stream stream(line_feeds, memory.data(), 16, into_string, &sink);
    std::memcpy(stream.input_space(), "abc\n", 4);
    EXPECT_TRUE(stream.consume(4));  // the line waits in the buffer
    EXPECT_FALSE(stream.end_of_input());
    EXPECT_EQ(sink.out, "");
}

}  // namespace
