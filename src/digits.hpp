// Internal to the library, its commands, tests, benchmarks and fuzz targets:
// the hex digits of words, what printf's "%lx" prints for each, written one
// after another. Texts go straight to digits by the writers for each
// instruction set, one source file each (digits_*.cpp), chosen among in
// digits.cpp.
#ifndef ENCRYPT_SRC_DIGITS_HPP
#define ENCRYPT_SRC_DIGITS_HPP

#include <bit>
#include <cstddef>
#include <cstdint>

#include "cpu_features.hpp"

namespace encrypt::detail {

inline constexpr std::size_t max_digits = 8;

// How many digits "%lx" prints for the word; zero still prints one.
inline std::size_t digit_count(std::uint32_t word) noexcept {
    return static_cast<std::size_t>(std::bit_width(word | 1u) + 3) / 4;
}

// Writes the digits of `word` at `out` and returns the end of them. It always
// stores eight bytes, so `out` needs space for eight whatever the word.
char* format_hex(char* out, std::uint32_t word) noexcept;

// Ways of writing the digits of a text's words (its bytes in pairs, the first
// byte low, an odd last byte with a zero high byte) with no word array in
// between, each giving exactly what format_hex() gives word by word: the
// plain one first, then faster ones, which supported() says this CPU can run.
// write() returns the end of the digits. It may read text_padding bytes past
// the text, and store as many past out + 8 * units (a unit for every two
// bytes begun), which spares a short text's last bytes a copy of their own.
struct digits_writer {
    const char* name;
    char* (*write)(char* out, const unsigned char* text, std::size_t length) noexcept;
    bool (*supported)() noexcept;
};

inline constexpr std::size_t text_padding = 64;
extern const digits_writer digits_writers[];
extern const std::size_t digits_writer_count;

// The fastest writer this CPU supports.
const digits_writer& best_digits_writer() noexcept;

// The digits of a text by the fastest writer, reading no byte past the text
// and storing none past out + 8 * units.
char* write_text_digits(char* out, const unsigned char* text, std::size_t length) noexcept;

// One unit at a time; the wide writers finish their last few units with it.
char* write_text_digits_scalar(char* out, const unsigned char* text, std::size_t length) noexcept;

#if ENCRYPT_AVX2
char* write_text_digits_avx2(char* out, const unsigned char* text, std::size_t length) noexcept;
#endif
#if ENCRYPT_AVX512
char* write_text_digits_avx512(char* out, const unsigned char* text, std::size_t length) noexcept;
bool has_avx512_digits() noexcept;
#endif

}  // namespace encrypt::detail

#endif  // ENCRYPT_SRC_DIGITS_HPP
