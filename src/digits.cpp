// The plain digits writers, the ones every wider writer must match, and the
// choice among them.
#include "digits.hpp"

#include <bit>
#include <charconv>
#include <cstring>

#include "kernels.hpp"

namespace encrypt::detail {
namespace {

// Places the eight nibbles of `word` in the eight bytes of the result, the
// highest nibble in the lowest byte, and turns each into its ASCII hex digit.
constexpr std::uint64_t hex_digits(std::uint32_t word) noexcept {
    std::uint64_t x = (word >> 16) | (std::uint64_t{word & 0xffff} << 32);
    x = ((x >> 8) & 0x000000ff000000ffULL) | ((x & 0x000000ff000000ffULL) << 16);
    x = ((x >> 4) & 0x000f000f000f000fULL) | ((x & 0x000f000f000f000fULL) << 8);
    // A nibble of 10 or more carries into bit 4 once 6 is added to it; those
    // bytes take 'a' - '0' - 10 more on top of '0'.
    const std::uint64_t letters = ((x + 0x0606060606060606ULL) >> 4) & 0x0101010101010101ULL;
    return x + 0x3030303030303030ULL + letters * static_cast<unsigned char>('a' - '0' - 10);
}

}  // namespace

char* format_hex(char* out, std::uint32_t word) noexcept {
    const std::size_t digits = digit_count(word);
    if constexpr (std::endian::native == std::endian::little) {
        // Most significant digit first in memory, then the leading zeros
        // shifted out so that the first significant digit lands at out[0].
        const std::uint64_t text = hex_digits(word) >> (8 * (max_digits - digits));
        std::memcpy(out, &text, max_digits);
    } else {
        std::memset(out, '0', max_digits);
        std::to_chars(out, out + max_digits, word, 16);
    }
    return out + digits;
}

char* write_text_digits_scalar(char* out, const unsigned char* text, std::size_t length) noexcept {
    for (; length >= 2; text += 2, length -= 2) {
        out = format_hex(out, mix(unit(text[0], text[1])));
    }
    return length == 0 ? out : format_hex(out, mix(unit(text[0], 0)));
}

const digits_writer digits_writers[] = {
    {"scalar", write_text_digits_scalar, always_supported},
#if ENCRYPT_AVX2
    {"avx2", write_text_digits_avx2, has_avx2},
#endif
#if ENCRYPT_AVX512
    {"avx512", write_text_digits_avx512, has_avx512_digits},
#endif
};
const std::size_t digits_writer_count = sizeof digits_writers / sizeof digits_writers[0];

const digits_writer& best_digits_writer() noexcept {
    return fastest_supported(digits_writers, digits_writer_count);
}

char* write_text_digits(char* out, const unsigned char* text, std::size_t length) noexcept {
    if (length == 0) {
        return out;  // an empty text may have no address
    }
    const digits_writer& writer = best_digits_writer();
    // All but the last bytes in place: what the writer reads past them is
    // still the text's, and what it stores past their digits is still buffer.
    const std::size_t head = length > text_padding ? (length - text_padding) & ~std::size_t{1} : 0;
    out = writer.write(out, text, head);
    // The last ones from a copy, into a buffer of their own, each with the
    // padding the writer may use.
    unsigned char rest[3 * text_padding] = {};
    char digits[8 * text_padding];
    std::memcpy(rest, text + head, length - head);
    const auto size = static_cast<std::size_t>(writer.write(digits, rest, length - head) - digits);
    std::memcpy(out, digits, size);
    return out + size;
}

}  // namespace encrypt::detail
