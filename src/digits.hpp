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
// stores eight bytes, so `out` needs room for eight whatever the word.
char* format_hex(char* out, std::uint32_t word) noexcept;

// The digits of `count` words one after another, stored within the eight
// bytes a word that format_hex() needs. Returns their end.
char* write_word_digits(char* out, const std::uint32_t* words, std::size_t count) noexcept;

// Ways of writing the digits of a text's words (its bytes in pairs, the first
// byte low, an odd last byte with a zero high byte) with no word array in
// between, each giving exactly what format_hex() gives word by word: the
// plain one first, then faster ones, which supported() says this CPU can run.
// Each returns the end of the digits.
//
// text() reads no byte past the text and stores none past out + 8 * units, a
// unit for every two bytes begun. padded_text() does the same where the
// caller has made sure that text_padding bytes past the text may be read, and
// as many past that room written, which spares a short text's last bytes a
// copy of their own where a writer needs that.
struct digits_writer {
    const char* name;
    char* (*text)(char* out, const unsigned char* text, std::size_t length) noexcept;
    char* (*padded_text)(char* out, const unsigned char* text, std::size_t length) noexcept;
    bool (*supported)() noexcept;
};

inline constexpr std::size_t text_padding = 64;
extern const digits_writer digits_writers[];
extern const std::size_t digits_writer_count;

// The fastest writer this CPU supports.
const digits_writer& best_digits_writer() noexcept;

// One unit at a time; the wide writers finish their last few units with it.
char* write_text_digits_scalar(char* out, const unsigned char* text, std::size_t length) noexcept;

#if ENCRYPT_AVX2
char* write_text_digits_avx2(char* out, const unsigned char* text, std::size_t length) noexcept;
char* write_padded_text_digits_avx2(char* out, const unsigned char* text,
                                    std::size_t length) noexcept;
bool has_avx2_digits() noexcept;
#endif
#if ENCRYPT_AVX512
char* write_text_digits_avx512(char* out, const unsigned char* text, std::size_t length) noexcept;
bool has_avx512_digits() noexcept;
#endif

}  // namespace encrypt::detail

#endif  // ENCRYPT_SRC_DIGITS_HPP
