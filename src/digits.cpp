// The plain digits writer, the one every wider writer must match, and the
// choice among them.
#include "digits.hpp"

#include <bit>
#include <charconv>
#include <cstring>

#include "kernels.hpp"

namespace encrypt::detail {
namespace {

// Places the eight nibbles of `word` in the eight bytes of the result, the
// lowest nibble in the lowest byte, and turns each into its ASCII hex digit.
constexpr std::uint64_t hex_digits(std::uint32_t word) noexcept {
    std::uint64_t x = word;
    x = (x | (x << 16)) & 0x0000ffff0000ffffULL;
    x = (x | (x << 8)) & 0x00ff00ff00ff00ffULL;
    x = (x | (x << 4)) & 0x0f0f0f0f0f0f0f0fULL;
    // A nibble of 10 or more carries into bit 4 once 6 is added to it; those
    // bytes take 'a' - '0' - 10 more on top of '0'.
    const std::uint64_t letters = ((x + 0x0606060606060606ULL) >> 4) & 0x0101010101010101ULL;
    return x + 0x3030303030303030ULL + letters * static_cast<unsigned char>('a' - '0' - 10);
}

constexpr std::uint64_t byteswap64(std::uint64_t x) noexcept {
    x = ((x & 0x00ff00ff00ff00ffULL) << 8) | ((x >> 8) & 0x00ff00ff00ff00ffULL);
    x = ((x & 0x0000ffff0000ffffULL) << 16) | ((x >> 16) & 0x0000ffff0000ffffULL);
    return (x << 32) | (x >> 32);
}

bool always() noexcept { return true; }

// Words packed at a time by the writers without a text step of their own:
// enough to keep the vector loops busy, few enough to stay in the
// first-level cache between packing and writing.
constexpr std::size_t text_batch_words = 2048;

// The text packed a batch at a time by the fastest kernel, then written.
template <char* (*write)(char*, const std::uint32_t*, std::uint32_t) noexcept>
char* write_text_batched(char* out, const unsigned char* text, std::size_t length) noexcept {
    const kernel& packer = best_kernel();
    // Aligned, so that the kernels' vector loops cover the batch from its start.
    alignas(64) std::uint32_t words[text_batch_words];
    while (length > 0) {
        const std::size_t bytes = length < 2 * text_batch_words ? length : 2 * text_batch_words;
        packer.pack_transform(words, text, bytes);
        out = write(out, words, static_cast<std::uint32_t>(bytes / 2 + (bytes & 1u)));
        text += bytes;
        length -= bytes;
    }
    return out;
}

}  // namespace

const digits_writer digits_writers[] = {
    {"scalar", write_digits_scalar, write_text_batched<write_digits_scalar>,
     write_text_batched<write_digits_scalar>, always},
#if ENCRYPT_SSE2_DIGITS
    {"sse2", write_digits_sse2, write_text_batched<write_digits_sse2>,
     write_text_batched<write_digits_sse2>, always},
#endif
#if ENCRYPT_AVX2_DIGITS
    {"avx2", write_digits_avx2, write_text_digits_avx2, write_padded_text_digits_avx2,
     has_avx2_digits},
#endif
#if ENCRYPT_AVX512_DIGITS
    // Its masked loads and stores need no padding.
    {"avx512", write_digits_avx512, write_text_digits_avx512, write_text_digits_avx512,
     has_avx512_digits},
#endif
};
const std::size_t digits_writer_count = sizeof digits_writers / sizeof digits_writers[0];

const digits_writer& best_digits_writer() noexcept {
    return fastest_supported(digits_writers, digits_writer_count);
}

char* write_digits_scalar(char* out, const std::uint32_t* words, std::uint32_t count) noexcept {
    for (std::uint32_t i = 0; i < count; ++i) {
        out = format_hex(out, words[i]);
    }
    return out;
}

char* format_hex(char* out, std::uint32_t word) noexcept {
    const std::size_t digits = digit_count(word);
    if constexpr (std::endian::native == std::endian::little) {
        // Most significant digit first in memory, then the leading zeros
        // shifted out so that the first significant digit lands at out[0].
        const std::uint64_t text = byteswap64(hex_digits(word)) >> (8 * (max_digits - digits));
        std::memcpy(out, &text, max_digits);
    } else {
        std::memset(out, '0', max_digits);
        std::to_chars(out, out + max_digits, word, 16);
    }
    return out + digits;
}

}  // namespace encrypt::detail
