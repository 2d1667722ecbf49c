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
#include "digits.hpp"
#include "large_buffer.hpp"

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
            const std::size_t space = 8 * (length / 2 + length % 2);
            // With the padding the writer may read and store past the text
            // and its space.
            std::vector<unsigned char> padded(length + encrypt::detail::text_padding, 0xa5);
            std::memcpy(padded.data(), text.data(), length);
            buffer.assign(space + encrypt::detail::text_padding, '#');
            char* end = writer().write(buffer.data(), padded.data(), length);
            ASSERT_EQ(std::string(buffer.data(), end), expected) << length << " bytes";
            if (writer().name != std::string("scalar") || offset != 0) {
                continue;
            }
            // Through the fastest writer with no padding at all: a block that
            // ends with the text, so that a read past it shows under the
            // sanitizers and valgrind, and no byte stored past the space.
            buffer.assign(space + 2, '#');
            std::unique_ptr<unsigned char[]> block(new unsigned char[length]);
            std::memcpy(block.get(), text.data(), length);
            end = encrypt::detail::write_text_digits(buffer.data() + 1, block.get(), length);
            ASSERT_EQ(std::string(buffer.data() + 1, end), expected) << length << " bytes";
            ASSERT_EQ(buffer.front(), '#');
            ASSERT_EQ(buffer[space + 1], '#') << "wrote past its space: " << length << " bytes";
        }
    }
}

// Buffers on both sides of where they move from the heap to a mapping of
// their own, and past where that takes huge pages, each written to its last
// byte.
TEST(large_buffer, holds_every_byte_asked_for) {
    for (const std::size_t size : {1u, 65535u, 65536u, (1u << 21) + 1}) {
        const encrypt::detail::large_buffer buffer(size);
        ASSERT_NE(buffer.data(), nullptr);
        std::memset(buffer.data(), 'x', size);
        EXPECT_EQ(buffer.data()[size - 1], 'x') << size;
    }
}

TEST(digits_writers, the_first_is_the_scalar_reference) {
    EXPECT_STREQ(encrypt::detail::digits_writers[0].name, "scalar");
}

}  // namespace
