// Internal to the commands: the digits writers for each instruction set, one
// source file each (digits_*.cpp), chosen among in result_line.cpp.
#ifndef ENCRYPT_CLI_DIGITS_HPP
#define ENCRYPT_CLI_DIGITS_HPP

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

namespace encrypt::cli::detail {

inline constexpr std::size_t max_digits = 8;

// How many digits "%lx" prints for the word; zero still prints one.
inline std::size_t digit_count(std::uint32_t word) noexcept {
    return static_cast<std::size_t>(std::bit_width(word | 1u) + 3) / 4;
}

// One word at a time; the wide writers finish their last few words with it.
char* write_digits_scalar(char* out, const std::uint32_t* words, std::uint32_t count) noexcept;

#if ENCRYPT_SSE2_DIGITS
char* write_digits_sse2(char* out, const std::uint32_t* words, std::uint32_t count) noexcept;
#endif
#if ENCRYPT_AVX2_DIGITS
char* write_digits_avx2(char* out, const std::uint32_t* words, std::uint32_t count) noexcept;
bool has_avx2_digits() noexcept;
#endif
#if ENCRYPT_AVX512_DIGITS
char* write_digits_avx512(char* out, const std::uint32_t* words, std::uint32_t count) noexcept;
bool has_avx512_digits() noexcept;
#endif

}  // namespace encrypt::cli::detail

#endif  // ENCRYPT_CLI_DIGITS_HPP
