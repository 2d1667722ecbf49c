#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "reference.hpp"
#include "result_line.hpp"

namespace {

using encrypt::test::printf_hex;

std::string formatted(std::uint32_t word) {
    char buffer[8];
    char* end = encrypt::detail::format_hex(buffer, word);
    return std::string(buffer, end);
}

TEST(format_hex, matches_printf_on_boundaries) {
    const std::uint32_t edges[] = {
        0x0,       0x1,        0x9,        0xa,        0xf,        0x10,       0xff,      0x100,
        0xfff,     0x1000,     0xffff,     0x10000,    0xfffff,    0x100000,   0xffffff,  0x1000000,
        0xfffffff, 0x10000000, 0x7fffffff, 0x80000000, 0x9abcdef0, 0xa0000000, 0xffffffff};
    for (const std::uint32_t word : edges) {
        EXPECT_EQ(formatted(word), printf_hex(word)) << word;
    }
    EXPECT_EQ(formatted(0), "0");
    EXPECT_EQ(formatted(0x25da76d8), "25da76d8");
    EXPECT_EQ(formatted(0xabcdef), "abcdef");
}

TEST(format_hex, matches_printf_for_every_digit_in_every_place) {
    for (int place = 0; place < 8; ++place) {
        for (std::uint32_t digit = 0; digit < 16; ++digit) {
            const std::uint32_t word = digit << (4 * place);
            ASSERT_EQ(formatted(word), printf_hex(word)) << word;
            ASSERT_EQ(formatted(word | 1u), printf_hex(word | 1u)) << word;
        }
    }
    std::mt19937 random(42);
    for (int round = 0; round < 200000; ++round) {
        // Random widths, so that short words are as common as long ones.
        const std::uint32_t word = static_cast<std::uint32_t>(random()) >> (random() % 32);
        ASSERT_EQ(formatted(word), printf_hex(word)) << word;
    }
}

// Each digits writer built in, as a test of its own: one this CPU cannot run
// shows as skipped under its name rather than passing unseen.
class each_digits_writer : public testing::TestWithParam<std::size_t> {
protected:
    static const encrypt::detail::digits_writer& writer() {
        return encrypt::detail::digits_writers[GetParam()];
    }
    void SetUp() override {
        if (!writer().supported()) {
            GTEST_SKIP() << "this CPU cannot run the " << writer().name << " digits writer";
        }
    }
};

INSTANTIATE_TEST_SUITE_P(digits_writers, each_digits_writer,
                         testing::Range(std::size_t{0}, encrypt::detail::digits_writer_count),
                         [](const auto& info) {
                             return std::string(encrypt::detail::digits_writers[info.param].name);
                         });

// What printf gives, for every count around the vector widths and words of
// every length, at every output address within a 64-byte line, never
// touching a byte before the output or past eight bytes a word.
TEST_P(each_digits_writer, matches_printf_word_by_word) {
    std::mt19937 random(9);
    std::vector<std::uint32_t> words(300);
    for (auto& word : words) {
        word = static_cast<std::uint32_t>(random()) >> (random() % 33 == 32 ? 0 : random() % 32);
    }
    words[0] = 0;
    words[5] = 0xffffffff;
    for (std::uint32_t count = 0; count <= 70; ++count) {
        for (std::uint32_t first : {0u, 1u, 3u, 200u}) {
            std::string expected;
            for (std::uint32_t i = 0; i < count; ++i) {
                expected += printf_hex(words[first + i]);
            }
            for (std::size_t offset = 0; offset < 64; offset += (count < 20 ? 1 : 7)) {
                // Eight bytes of room per word and not one more, guarded.
                alignas(64) char buffer[64 + 8 * 70 + 1];
                std::fill(std::begin(buffer), std::end(buffer), '#');
                char* out = buffer + offset;
                char* end = writer().write(out, words.data() + first, count);
                ASSERT_EQ(std::string(out, end), expected)
                    << count << " words from " << first << " at offset " << offset;
                ASSERT_EQ(std::string(buffer, offset), std::string(offset, '#'));
                ASSERT_EQ(out[8 * count], '#') << "wrote past its room at offset " << offset;
            }
        }
    }
}

// The words in the line's own buffer, as the command lays it out: the line
// from the start, word k at 8 * k - 2 bytes past the digits' start plus 4 *
// count, the least room any word may have.
TEST_P(each_digits_writer, reads_each_word_before_writing_over_it) {
    std::mt19937 random(10);
    for (std::uint32_t count = 1; count <= 70; ++count) {
        std::vector<std::uint32_t> words(count);
        std::string expected;
        for (auto& word : words) {
            word = static_cast<std::uint32_t>(random()) >> (random() % 32);
            expected += printf_hex(word);
        }
        alignas(64) char buffer[40 + 8 * 70];
        char* out = buffer + 38;
        auto* in_place = reinterpret_cast<std::uint32_t*>(buffer + 36 + 4 * count);
        std::memcpy(in_place, words.data(), 4 * count);
        char* end = writer().write(out, in_place, count);
        ASSERT_EQ(std::string(out, end), expected) << count << " words";
    }
}

// A text's digits straight from its bytes: every length around the vector
// widths and past a batch of words, the text at every alignment, and no
// byte stored before the output or past eight a unit.
TEST_P(each_digits_writer, writes_a_texts_digits_as_the_reference_does) {
    std::mt19937 random(11);
    std::string bytes(20001 + 32, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(random());
    }
    std::vector<std::size_t> lengths;
    for (std::size_t length = 0; length <= 100; ++length) {
        lengths.push_back(length);
    }
    lengths.insert(lengths.end(), {4095, 4096, 4097, 20001});
    std::vector<char> buffer;
    for (const std::size_t length : lengths) {
        for (std::size_t offset = 0; offset < 32; offset += (length <= 100 ? 1 : 13)) {
            const std::string text = bytes.substr(offset, length);
            std::string expected;
            for (const std::uint32_t word : encrypt::test::reference_encryption(text)) {
                expected += printf_hex(word);
            }
            const std::size_t room = 8 * (length / 2 + length % 2);
            buffer.assign(room + 2, '#');
            char* out = buffer.data() + 1;
            // A block that ends with the text, so that a read past it shows
            // under the sanitizers and valgrind.
            std::unique_ptr<unsigned char[]> block(new unsigned char[offset + length]);
            std::memcpy(block.get() + offset, text.data(), length);
            char* end = writer().write_text(out, block.get() + offset, length);
            ASSERT_EQ(std::string(out, end), expected) << length << " bytes at offset " << offset;
            ASSERT_EQ(buffer.front(), '#');
            ASSERT_EQ(out[room], '#') << "wrote past its room: " << length << " bytes";
        }
    }
}

TEST(digits_writers, the_first_is_the_scalar_reference) {
    EXPECT_STREQ(encrypt::detail::digits_writers[0].name, "scalar");
}

TEST(result_line, is_caption_digits_and_line_feed) {
    const std::vector<std::uint32_t> words = {0x25da76d8, 0x32c8, 0, 0x7bbbdaf};
    std::string line(encrypt::detail::result_line_capacity(4), '?');
    line.resize(encrypt::detail::format_result_line(line.data(), words.data(), 4));
    EXPECT_EQ(line, "Encrypted data in hexadecimal format: 25da76d832c807bbbdaf\n");

    std::string empty(encrypt::detail::result_line_capacity(0), '?');
    empty.resize(encrypt::detail::format_result_line(empty.data(), nullptr, 0));
    EXPECT_EQ(empty, "Encrypted data in hexadecimal format: \n");
}

TEST(result_line, fits_its_capacity_when_every_word_has_eight_digits) {
    const std::vector<std::uint32_t> words(100, 0xffffffff);
    const std::size_t capacity = encrypt::detail::result_line_capacity(100);
    std::vector<char> buffer(capacity + 1, '#');
    EXPECT_EQ(encrypt::detail::format_result_line(buffer.data(), words.data(), 100), capacity);
    EXPECT_EQ(buffer[capacity], '#');
}

TEST(result_line, capacity_reports_overflow) {
    EXPECT_EQ(encrypt::detail::result_line_capacity(0), 39u);
    EXPECT_EQ(encrypt::detail::result_line_capacity(2), 55u);
    if constexpr (sizeof(std::size_t) == 4) {
        EXPECT_EQ(encrypt::detail::result_line_capacity(0x20000000u), 0u);
        EXPECT_EQ(encrypt::detail::result_line_capacity(0xffffffffu), 0u);
    } else {
        EXPECT_EQ(encrypt::detail::result_line_capacity(0xffffffffu), 39u + 8u * 0xffffffffull);
    }
}

}  // namespace
