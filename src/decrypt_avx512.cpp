// The long words ahead, sixteen positions a step: which words of eight and of
// seven digits begin at each position, and their units.
#include "decrypt.hpp"

#if ENCRYPT_AVX512
#  include <immintrin.h>

#  include <bit>

#  include "kernels.hpp"

namespace encrypt::detail {

ENCRYPT_AVX512_INTRINSICS_BEGIN
#  define ENCRYPT_AVX512_DECRYPT_TARGET \
    __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi")))

namespace {

// Byte k + 1 in position k: each digit beside the one after it.
alignas(64) constexpr unsigned char next_digit[64] = {
    1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22,
    23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44,
    45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63, 63};
// For position j, the four bytes of two digits each that make its eight
// digits' value, the first digits highest: bytes j + 6, j + 4, j + 2, j.
alignas(64) constexpr unsigned char eight_digits_of_place[64] = {
    6,  4,  2,  0,  7,  5,  3,  1,  8,  6,  4,  2,  9,  7,  5,  3,  10, 8,  6,  4,  11, 9,
    7,  5,  12, 10, 8,  6,  13, 11, 9,  7,  14, 12, 10, 8,  15, 13, 11, 9,  16, 14, 12, 10,
    17, 15, 13, 11, 18, 16, 14, 12, 19, 17, 15, 13, 20, 18, 16, 14, 21, 19, 17, 15};

// The units of the words among `w`, and which lanes hold one whose first
// of `digits` digits is not zero. As found_unit: the root of 4 product +
// 441 is 2 unit + 31. A word of seven or eight digits never comes from a
// product past 2^32, and its root errs by less than 0.1 in single
// precision, so each lane takes one try.
ENCRYPT_AVX512_DECRYPT_TARGET inline __mmask16 units_of_words(__m512i w, unsigned digits,
                                                              __m512i& units) noexcept {
    const __m512i product = _mm512_xor_si512(w, _mm512_srli_epi32(w, 16));
    const __m512 square =
        _mm512_fmadd_ps(_mm512_cvtepu32_ps(product), _mm512_set1_ps(4.0f), _mm512_set1_ps(441.0f));
    const __m512i twice = _mm512_cvtps_epi32(_mm512_sqrt_ps(square));
    units = _mm512_srli_epi32(_mm512_sub_epi32(twice, _mm512_set1_epi32(31)), 1);
    return _mm512_cmpeq_epi32_mask(mix16(units), w) &
           _mm512_cmpge_epu32_mask(w, _mm512_set1_epi32(1 << (4 * (digits - 1))));
}

}  // namespace

ENCRYPT_AVX512_DECRYPT_TARGET std::size_t find_long_words_avx512(const unsigned char* digits,
                                                                 std::size_t count,
                                                                 long_words& out) noexcept {
    const __m512i next = _mm512_load_si512(next_digit);
    const __m512i eight = _mm512_load_si512(eight_digits_of_place);
    for (std::size_t at = 0; at < count; at += 16) {
        // The 23 digits that the next sixteen positions' words are made of, or
        // as many of them as there are.
        const std::size_t left = count + 7 - at;
        const __mmask64 present =
            left >= 23 ? (__mmask64{1} << 23) - 1 : (__mmask64{1} << left) - 1;
        const __m512i ascii = _mm512_maskz_loadu_epi8(present, digits + at);
        const __mmask64 hex =
            _mm512_cmple_epu8_mask(_mm512_sub_epi8(ascii, _mm512_set1_epi8('0')),
                                   _mm512_set1_epi8(9)) |
            _mm512_cmple_epu8_mask(_mm512_sub_epi8(_mm512_or_si512(ascii, _mm512_set1_epi8(0x20)),
                                                   _mm512_set1_epi8('a')),
                                   _mm512_set1_epi8(5));
        // Each digit's value: letters, in either case, have bit 6 set.
        const __m512i letter = _mm512_and_si512(_mm512_srli_epi16(ascii, 6), _mm512_set1_epi8(1));
        const __m512i value =
            _mm512_add_epi8(_mm512_and_si512(ascii, _mm512_set1_epi8(0x0f)),
                            _mm512_or_si512(letter, _mm512_slli_epi16(letter, 3)));
        const __m512i pairs =
            _mm512_or_si512(_mm512_slli_epi16(value, 4), _mm512_permutexvar_epi8(next, value));
        const __m512i words8 = _mm512_permutexvar_epi8(eight, pairs);
        __m512i units8;
        __m512i units7;
        const __mmask16 has8 = units_of_words(words8, 8, units8);
        const __mmask16 has7 = units_of_words(_mm512_srli_epi32(words8, 4), 7, units7);
        const __m128i found = _mm_or_si128(_mm_maskz_mov_epi8(has8, _mm_set1_epi8(1)),
                                           _mm_maskz_mov_epi8(has7, _mm_set1_epi8(2)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out.found + at), found);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out.units[0] + at),
                            _mm512_cvtepi32_epi16(units8));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out.units[1] + at),
                            _mm512_cvtepi32_epi16(units7));
        _mm512_storeu_si512(out.values + at, words8);
        if ((hex & present) != present) {
            // The positions before the first byte that is no hex digit, as far
            // as eight digits follow them.
            const auto first = static_cast<std::size_t>(std::countr_zero(~hex & present));
            const std::size_t covered = at + (first > 7 ? first - 7 : 0);
            return covered < count ? covered : count;
        }
    }
    return count;
}

ENCRYPT_AVX512_INTRINSICS_END

bool has_avx512_long_words() noexcept {
    return ENCRYPT_CPU_HAS(AVX512_VBMI, "avx512vbmi") && ENCRYPT_CPU_HAS(AVX512VL, "avx512vl") &&
           ENCRYPT_CPU_HAS(AVX512BW, "avx512bw");
}

}  // namespace encrypt::detail

#endif  // ENCRYPT_AVX512
