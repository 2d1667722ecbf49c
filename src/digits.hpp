// Internal to the library, its commands, tests, benchmarks and fuzz targets:
// the writers of a word's hex digits, what printf's "%lx" prints for it, for
// each instruction set, one source file each (digits_*.cpp), chosen among in
// digits.cpp.
#ifndef ENCRYPT_SRC_DIGITS_HPP
#define ENCRYPT_SRC_DIGITS_HPP

#include <bit>
#include <cstddef>
#include <cstdint>

#include "cpu_features.hpp"

// Which writers are built: those the compiler can target here, up to the
// widest instruction set the build allows (ENCRYPT_ISA_LEVEL).
#if defined(__SSE2__) && ENCRYPT_ISA_LEVEL >= 1
#  define ENCRYPT_SSE2_DIGITS 1
#else
#  define ENCRYPT_SSE2_DIGITS 0
#endif
#if ENCRYPT_X86_DISPATCH && ENCRYPT_ISA_LEVEL >= 2
#  define ENCRYPT_AVX2_DIGITS 1
#else
#  define ENCRYPT_AVX2_DIGITS 0
#endif
#if ENCRYPT_X86_DISPATCH && ENCRYPT_ISA_LEVEL >= 3
#  define ENCRYPT_AVX512_DIGITS 1
#else
#  define ENCRYPT_AVX512_DIGITS 0
#endif

namespace encrypt::detail {

inline constexpr std::size_t max_digits = 8;

// How many digits "%lx" prints for the word; zero still prints one.
inline std::size_t digit_count(std::uint32_t word) noexcept {
    return static_cast<std::size_t>(std::bit_width(word | 1u) + 3) / 4;
}

// Writes the digits of `word` at `out` and returns the end of them. It always
// stores eight bytes, so `out` needs room for eight whatever the word.
char* format_hex(char* out, std::uint32_t word) noexcept;

// Ways of writing the digits of many words one after another, each giving
// exactly what format_hex() gives word by word: the plain one first, then
// faster ones, which supported() says this CPU can run. write() returns the
// end of the digits. It may store bytes past that end (a wide writer stores
// whole vectors), but never past out + 8 * count: room for eight digits a
// word is all it needs. Nor does it store at or past out + 8 * k before it
// has read word k, so the words may lie in the output's own buffer.
//
// write_text() writes the digits of a text's words, as the kernels make them
// (its bytes in pairs, an odd last byte with a zero high byte): what write()
// gives for them, with no word array in between. It reads no byte past the
// text and stores none past out + 8 * units, a unit for every two bytes
// begun. write_padded_text() does the same where the caller has made sure
// that text_padding bytes past the text may be read and as many past the
// room written, which spares a short text's last bytes a copy of their own.
struct digits_writer {
    const char* name;
    char* (*write)(char* out, const std::uint32_t* words, std::uint32_t count) noexcept;
    char* (*write_text)(char* out, const unsigned char* text, std::size_t length) noexcept;
    char* (*write_padded_text)(char* out, const unsigned char* text, std::size_t length) noexcept;
    bool (*supported)() noexcept;
};

inline constexpr std::size_t text_padding = 64;
extern const digits_writer digits_writers[];
extern const std::size_t digits_writer_count;

// The fastest writer this CPU supports.
const digits_writer& best_digits_writer() noexcept;

// One word at a time; the wide writers finish their last few words with it.
char* write_digits_scalar(char* out, const std::uint32_t* words, std::uint32_t count) noexcept;

#if ENCRYPT_SSE2_DIGITS
char* write_digits_sse2(char* out, const std::uint32_t* words, std::uint32_t count) noexcept;
#endif
#if ENCRYPT_AVX2_DIGITS
char* write_digits_avx2(char* out, const std::uint32_t* words, std::uint32_t count) noexcept;
char* write_text_digits_avx2(char* out, const unsigned char* text, std::size_t length) noexcept;
char* write_padded_text_digits_avx2(char* out, const unsigned char* text,
                                    std::size_t length) noexcept;
bool has_avx2_digits() noexcept;
#endif
#if ENCRYPT_AVX512_DIGITS
char* write_digits_avx512(char* out, const std::uint32_t* words, std::uint32_t count) noexcept;
char* write_text_digits_avx512(char* out, const unsigned char* text, std::size_t length) noexcept;
bool has_avx512_digits() noexcept;
#endif

}  // namespace encrypt::detail

#endif  // ENCRYPT_SRC_DIGITS_HPP
