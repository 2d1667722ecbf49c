// The AVX-512 digits writer: eight words a step, all in registers.
#include "digits.hpp"

#if ENCRYPT_AVX512_DIGITS
#  include <immintrin.h>

#  include <bit>

namespace encrypt::detail {

// GCC 12 warns that the deliberately undefined pass-through vectors inside its
// own AVX-512 intrinsics may be used uninitialized.
#  if defined(__GNUC__) && !defined(__clang__)
#    pragma GCC diagnostic push
#    pragma GCC diagnostic ignored "-Wuninitialized"
#    pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#  endif
#  define ENCRYPT_AVX512_DIGITS_TARGET \
    __attribute__((target("avx512f,avx512bw,avx512vl,avx512cd,avx512vbmi,avx512vbmi2,popcnt")))

// Eight words at a time, all in registers: one byte permutation lays out the
// bytes of every word most significant first, twice each; a blend keeps the
// high nibble of the first copy and the low nibble of the second; a table
// lookup makes them ASCII; and one compress drops each word's leading zeros,
// which the lzcnt of the word counts.
ENCRYPT_AVX512_DIGITS_TARGET
char* write_digits_avx512(char* out, const std::uint32_t* words, std::uint32_t count) noexcept {
    alignas(64) static constexpr unsigned char byte_of_digit[64] = {
        3,  3,  2,  2,  1,  1,  0,  0,  7,  7,  6,  6,  5,  5,  4,  4,  11, 11, 10, 10, 9,  9,
        8,  8,  15, 15, 14, 14, 13, 13, 12, 12, 19, 19, 18, 18, 17, 17, 16, 16, 23, 23, 22, 22,
        21, 21, 20, 20, 27, 27, 26, 26, 25, 25, 24, 24, 31, 31, 30, 30, 29, 29, 28, 28};
    alignas(64) static constexpr unsigned char lzcnt_of_digit[64] = {
        0,  0,  0,  0,  0,  0,  0,  0,  4,  4,  4,  4,  4,  4,  4,  4,  8,  8,  8,  8,  8,  8,
        8,  8,  12, 12, 12, 12, 12, 12, 12, 12, 16, 16, 16, 16, 16, 16, 16, 16, 20, 20, 20, 20,
        20, 20, 20, 20, 24, 24, 24, 24, 24, 24, 24, 24, 28, 28, 28, 28, 28, 28, 28, 28};
    alignas(64) static constexpr unsigned char place_in_word[64] = {
        0, 1, 2, 3, 4, 5, 6, 7, 0, 1, 2, 3, 4, 5, 6, 7, 0, 1, 2, 3, 4, 5,
        6, 7, 0, 1, 2, 3, 4, 5, 6, 7, 0, 1, 2, 3, 4, 5, 6, 7, 0, 1, 2, 3,
        4, 5, 6, 7, 0, 1, 2, 3, 4, 5, 6, 7, 0, 1, 2, 3, 4, 5, 6, 7};
    const __m512i bytes_index = _mm512_load_si512(byte_of_digit);
    const __m512i lzcnt_index = _mm512_load_si512(lzcnt_of_digit);
    const __m512i place = _mm512_load_si512(place_in_word);
    const __m512i hex = _mm512_broadcast_i32x4(_mm_setr_epi8(
        '0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'a', 'b', 'c', 'd', 'e', 'f'));
    const __m512i low_nibbles = _mm512_set1_epi8(0x0f);
    const __mmask64 low_nibble_places = 0xaaaaaaaaaaaaaaaaULL;  // odd digits
    std::uint32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(words + i));
        const __m512i bytes = _mm512_permutexvar_epi8(bytes_index, _mm512_castsi256_si512(w));
        const __m512i nibbles = _mm512_and_si512(
            _mm512_mask_blend_epi8(low_nibble_places, _mm512_srli_epi16(bytes, 4), bytes),
            low_nibbles);
        const __m512i ascii = _mm512_shuffle_epi8(hex, nibbles);
        // Leading zero digits: lzcnt(word | 1) / 4, set beside every digit.
        const __m256i lz = _mm256_lzcnt_epi32(_mm256_or_si256(w, _mm256_set1_epi32(1)));
        const __m512i lz_bytes =
            _mm512_srli_epi16(_mm512_permutexvar_epi8(lzcnt_index, _mm512_castsi256_si512(lz)), 2);
        const __mmask64 keep =
            _mm512_cmpge_epu8_mask(place, _mm512_and_si512(lz_bytes, low_nibbles));
        _mm512_storeu_si512(out, _mm512_maskz_compress_epi8(keep, ascii));
        out += std::popcount(static_cast<std::uint64_t>(keep));
    }
    return write_digits_scalar(out, words + i, count - i);
}
#  if defined(__GNUC__) && !defined(__clang__)
#    pragma GCC diagnostic pop
#  endif

bool has_avx512_digits() noexcept {
    return cpu_has(cpu_feature::avx512vbmi2) && cpu_has(cpu_feature::avx512vbmi) &&
           cpu_has(cpu_feature::avx512cd) && cpu_has(cpu_feature::avx512vl) &&
           cpu_has(cpu_feature::avx512bw);
}
}  // namespace encrypt::detail

#endif  // ENCRYPT_AVX512_DIGITS
