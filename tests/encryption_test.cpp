#include <encrypt/encryption.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "kernels.hpp"
#include "reference.hpp"
#include "vectors.hpp"

namespace {

using encrypt::test::reference_encryption;
using encrypt::test::reference_mix;
using words = std::vector<std::uint32_t>;

struct freed {
    void operator()(std::uint32_t* p) const { std::free(p); }
};

words library_encryption(const std::string& text) {
    const auto n = static_cast<std::uint32_t>(text.size());
    std::unique_ptr<std::uint32_t, freed> array(encrypt::_encryption(text.c_str(), n));
    if (n != 0) {
        EXPECT_NE(array, nullptr);
    }
    return array ? words(array.get(), array.get() + n / 2 + n % 2) : words{};
}

// Every known text gives its line, and its words are the reference's.
TEST(encryption, known_texts_give_their_lines) {
    for (const auto& answer : encrypt::test::text_answers()) {
        const auto n = static_cast<std::uint32_t>(answer.text.size());
        std::string line(encrypt::line_capacity(n), '#');
        line.resize(encrypt::line(&line[0], answer.text.data(), n));
        EXPECT_EQ(line, answer.line);
        EXPECT_EQ(library_encryption(answer.text), reference_encryption(answer.text));
    }
}

struct word_vector {
    std::uint32_t in;
    std::uint32_t out;
};

// Words a unit can never be: the additions wrap as well.
const word_vector word_vectors[] = {
    {0x00000000, 0x00000082}, {0x0000ffff, 0x001d0079}, {0x7fffffff, 0x80008064},
    {0x80000000, 0x80008082}, {0xdeadbeef, 0x1877dae3}, {0xffffffe6, 0x00000000},
    {0xfffffffb, 0x00000000}, {0xffffffff, 0x00000064},
};

TEST(encryption, transforms_arbitrary_words_modulo_2_32) {
    for (const auto& vector : word_vectors) {
        std::uint32_t word = vector.in;
        encrypt::encryption(&word, 1);
        EXPECT_EQ(word, vector.out) << std::hex << "for 0x" << vector.in;
        EXPECT_EQ(reference_mix(vector.in), vector.out);
    }
}

TEST(encryption, returns_its_pointer_and_leaves_words_past_count_alone) {
    for (std::uint32_t count = 0; count <= 70; ++count) {
        words array(count + 8, 0xa5a5a5a5u);
        std::uint32_t* start = array.data() + 1;
        EXPECT_EQ(encrypt::encryption(start, count), start);
        EXPECT_EQ(array[0], 0xa5a5a5a5u) << "count " << count;
        for (std::uint32_t i = 0; i < count; ++i) {
            ASSERT_EQ(start[i], reference_mix(0xa5a5a5a5u)) << "count " << count << " word " << i;
        }
        for (std::size_t i = count + 1; i < array.size(); ++i) {
            ASSERT_EQ(array[i], 0xa5a5a5a5u) << "count " << count << " word " << i;
        }
    }
}

TEST(encryption, count_zero_touches_nothing) {
    std::uint32_t word = 7;
    EXPECT_EQ(encrypt::encryption(&word, 0), &word);
    EXPECT_EQ(word, 7u);
    EXPECT_EQ(encrypt::encryption(nullptr, 0), nullptr);
}

TEST(_encryption, reads_exactly_length_bytes) {
    // A buffer of exactly n bytes with no terminator, so that any read
    // past it shows under the sanitizers and valgrind.
    for (std::uint32_t n : {1u, 3u, 17u, 33u, 63u}) {
        std::unique_ptr<char[]> text(new char[n]);
        std::fill_n(text.get(), n, 'z');
        std::unique_ptr<std::uint32_t, freed> array(encrypt::_encryption(text.get(), n));
        ASSERT_NE(array, nullptr);
        EXPECT_EQ(array.get()[n / 2], reference_mix('z')) << "n " << n;
    }
}

TEST(_encryption, empty_text_allocates_nothing) {
    EXPECT_EQ(encrypt::_encryption("", 0), nullptr);
    EXPECT_EQ(encrypt::_encryption(nullptr, 0), nullptr);
}

// The word count of a text of 2^32 - 1 bytes is 2^31: computed as (n + 1) / 2
// in 32 bits it would wrap to 0. Where size_t has 32 bits the array's size in
// bytes cannot be expressed, and the request is refused before any byte is read.
TEST(_encryption, refuses_arrays_larger_than_the_address_space) {
    if constexpr (sizeof(std::size_t) > sizeof(std::uint32_t)) {
        GTEST_SKIP() << "with a 64-bit size_t every length fits; trying would allocate 8 GiB";
    } else {
        const char one_byte[1] = {'x'};
        EXPECT_EQ(encrypt::_encryption(one_byte, 0xffffffffu), nullptr);
        EXPECT_EQ(encrypt::_encryption(one_byte, 0x80000000u), nullptr);
    }
}

TEST(_encryption, matches_the_reference_on_random_texts) {
    std::mt19937 random(20261208);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<std::size_t> length(0, 300);
    for (int round = 0; round < 2000; ++round) {
        std::string text(length(random), '\0');
        for (char& c : text) {
            c = static_cast<char>(byte(random));
        }
        ASSERT_EQ(library_encryption(text), reference_encryption(text)) << "round " << round;
    }
}

// Word arrays past the sizes where the library maps pages ahead (128 KiB),
// asks for huge pages (2 MiB) and streams around the caches (8 MiB), at odd
// lengths so that neither end of the block falls on a page boundary.
TEST(_encryption, matches_the_reference_on_large_texts) {
    std::mt19937 random(8);
    std::uniform_int_distribution<int> byte(0, 255);
    for (std::size_t length :
         {std::size_t{65537}, std::size_t{3} << 20 | 1, std::size_t{9} << 20 | 3}) {
        std::string text(length, '\0');
        for (char& c : text) {
            c = static_cast<char>(byte(random));
        }
        ASSERT_EQ(library_encryption(text), reference_encryption(text)) << "length " << length;
    }
}

// Each kernel built in, as a test of its own: one this CPU cannot run shows
// as skipped under its name rather than passing unseen.
class each_kernel : public testing::TestWithParam<std::size_t> {
protected:
    static const encrypt::detail::kernel& kernel() { return encrypt::detail::kernels[GetParam()]; }
    static const encrypt::detail::kernel& plain() { return encrypt::detail::kernels[0]; }
    void SetUp() override {
        if (!kernel().supported()) {
            GTEST_SKIP() << "this CPU cannot run the " << kernel().name << " kernel";
        }
    }
};

INSTANTIATE_TEST_SUITE_P(kernels, each_kernel,
                         testing::Range(std::size_t{0}, encrypt::detail::kernel_count),
                         [](const auto& info) {
                             return std::string(encrypt::detail::kernels[info.param].name);
                         });

// Every length around the vector widths, with the words at every 4-byte
// offset within a cache line and the text at every alignment.
TEST_P(each_kernel, agrees_with_the_plain_kernel) {
    std::mt19937 random(7);
    std::string bytes(4096 + 64, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(random());
    }
    alignas(64) std::uint32_t got[16 + 100 + 1];
    for (std::size_t length = 0; length < 200; ++length) {
        for (std::size_t offset = 0; offset < 16; ++offset) {
            const auto* text = reinterpret_cast<const unsigned char*>(bytes.data()) + offset % 4;
            const std::size_t count = length / 2 + length % 2;
            words expected(count + 1, 0xdeadbeef);
            plain().pack_transform(expected.data(), text, length);
            std::fill(std::begin(got), std::end(got), 0xdeadbeef);
            kernel().pack_transform(got + offset, text, length);
            ASSERT_EQ(words(got + offset, got + offset + count + 1), expected)
                << "pack, length " << length << ", words at " << 4 * offset;

            std::memcpy(got + offset, text, count * 4);
            words by_plain(got + offset, got + offset + count + 1);
            plain().transform(by_plain.data(), count);
            kernel().transform(got + offset, count);
            ASSERT_EQ(words(got + offset, got + offset + count + 1), by_plain)
                << "transform, count " << count << ", words at " << 4 * offset;
        }
    }
    // A long run, with every unit value once.
    words all(65536), all_plain(65536);
    for (std::uint32_t u = 0; u < 65536; ++u) {
        all[u] = all_plain[u] = u * 65537u;
    }
    kernel().transform(all.data(), all.size());
    plain().transform(all_plain.data(), all_plain.size());
    ASSERT_EQ(all, all_plain);
}

TEST(kernels, plain_kernel_matches_the_reference_for_every_unit) {
    for (std::uint32_t u = 0; u < 65536; ++u) {
        const unsigned char text[2] = {static_cast<unsigned char>(u & 0xff),
                                       static_cast<unsigned char>(u >> 8)};
        std::uint32_t word = 0;
        encrypt::detail::kernels[0].pack_transform(&word, text, 2);
        ASSERT_EQ(word, reference_mix(u)) << "unit " << u;
    }
}

}  // namespace
