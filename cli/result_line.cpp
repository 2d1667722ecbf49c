#include "result_line.hpp"

#include <bit>
#include <charconv>
#include <cstring>

namespace encrypt::cli {
namespace {

constexpr std::size_t max_digits = 8;

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

}  // namespace

char* format_hex(char* out, std::uint32_t word) noexcept {
    // Zero still prints one digit.
    const auto digits = static_cast<std::size_t>(std::bit_width(word | 1u) + 3) / 4;
    if constexpr (std::endian::native == std::endian::little) {
        // Most significant digit first in memory, then shift the leading
        // zeros out so that the first significant digit lands at out[0].
        const std::uint64_t text = byteswap64(hex_digits(word)) >> (8 * (max_digits - digits));
        std::memcpy(out, &text, max_digits);
        return out + digits;
    } else {
        std::memset(out, '0', max_digits);
        return std::to_chars(out, out + max_digits, word, 16).ptr;
    }
}

std::size_t result_line_capacity(std::uint32_t count) noexcept {
    // format_hex() stores eight bytes per word, so no word can write past the
    // room its longest form takes.
    const std::size_t fixed = caption.size() + 1;
    if (count > (SIZE_MAX - fixed) / max_digits) {
        return 0;
    }
    return fixed + std::size_t{count} * max_digits;
}

std::size_t format_result_line(char* out, const std::uint32_t* words, std::uint32_t count) noexcept {
    std::memcpy(out, caption.data(), caption.size());
    char* end = out + caption.size();
    for (std::uint32_t i = 0; i < count; ++i) {
        end = format_hex(end, words[i]);
    }
    *end++ = '\n';
    return static_cast<std::size_t>(end - out);
}

}  // namespace encrypt::cli
