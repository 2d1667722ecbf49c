// The AVX-512 digits writer: eight words a step, all in registers, the last
// few under a mask.
#include "digits.hpp"

#if ENCRYPT_AVX512
#  include <bit>

#  include "kernels.hpp"

namespace encrypt::detail {

ENCRYPT_AVX512_INTRINSICS_BEGIN
#  define ENCRYPT_AVX512_DIGITS_TARGET \
    __attribute__((target("avx512f,avx512bw,avx512vl,avx512cd,avx512vbmi,avx512vbmi2,popcnt")))

namespace {

alignas(64) constexpr unsigned char byte_of_digit[64] = {
    3,  3,  2,  2,  1,  1,  0,  0,  7,  7,  6,  6,  5,  5,  4,  4,  11, 11, 10, 10, 9,  9,
    8,  8,  15, 15, 14, 14, 13, 13, 12, 12, 19, 19, 18, 18, 17, 17, 16, 16, 23, 23, 22, 22,
    21, 21, 20, 20, 27, 27, 26, 26, 25, 25, 24, 24, 31, 31, 30, 30, 29, 29, 28, 28};
alignas(64) constexpr unsigned char lzcnt_of_digit[64] = {
    0,  0,  0,  0,  0,  0,  0,  0,  4,  4,  4,  4,  4,  4,  4,  4,  8,  8,  8,  8,  8,  8,
    8,  8,  12, 12, 12, 12, 12, 12, 12, 12, 16, 16, 16, 16, 16, 16, 16, 16, 20, 20, 20, 20,
    20, 20, 20, 20, 24, 24, 24, 24, 24, 24, 24, 24, 28, 28, 28, 28, 28, 28, 28, 28};

// The digits of the first `count` (1 to 8) words of `w`, stored at `out`,
// which has space and padding for 64 bytes; returns their end. One byte
// permutation lays out the bytes of every word most significant first,
// twice each; a blend keeps the high nibble of the first copy and the low
// nibble of the second; a table lookup makes them ASCII; and one compress
// drops each word's leading zeros, which the lzcnt of the word counts.
ENCRYPT_AVX512_DIGITS_TARGET inline char* put_words(char* out, __m256i w,
                                                    std::uint32_t count) noexcept {
    const __m512i hex = _mm512_broadcast_i32x4(_mm_setr_epi8(
        '0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'a', 'b', 'c', 'd', 'e', 'f'));
    const __m512i low_nibbles = _mm512_set1_epi8(0x0f);
    const __mmask64 low_nibble_places = 0xaaaaaaaaaaaaaaaaULL;  // odd digits
    const __m512i bytes =
        _mm512_permutexvar_epi8(_mm512_load_si512(byte_of_digit), _mm512_castsi256_si512(w));
    const __m512i nibbles = _mm512_and_si512(
        _mm512_mask_blend_epi8(low_nibble_places, _mm512_srli_epi16(bytes, 4), bytes), low_nibbles);
    const __m512i ascii = _mm512_shuffle_epi8(hex, nibbles);
    // Leading zero digits: lzcnt(word | 1) / 4, set beside every digit.
    const __m256i lz = _mm256_lzcnt_epi32(_mm256_or_si256(w, _mm256_set1_epi32(1)));
    const __m512i lz_bytes = _mm512_srli_epi16(
        _mm512_permutexvar_epi8(_mm512_load_si512(lzcnt_of_digit), _mm512_castsi256_si512(lz)), 2);
    const __m512i place_in_word = _mm512_set1_epi64(0x0706050403020100);
    __mmask64 keep =
        _mm512_cmpge_epu8_mask(place_in_word, _mm512_and_si512(lz_bytes, low_nibbles));
    _mm512_storeu_si512(out, _mm512_maskz_compress_epi8(keep, ascii));
    keep &= count >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * count)) - 1;
    return out + std::popcount(static_cast<std::uint64_t>(keep));
}

}  // namespace

// Thirty-two text bytes a step, packed, transformed and written in
// registers; the last few bytes are loaded under a mask, which reads nothing
// past the text and pairs an odd last byte with a zero.
ENCRYPT_AVX512_DIGITS_TARGET
char* write_text_digits_avx512(char* out, const unsigned char* text, std::size_t length) noexcept {
    for (; length >= 32; text += 32, length -= 32) {
        const __m256i units = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text));
        const __m512i w = mix16(_mm512_cvtepu16_epi32(units));
        out = put_words(out, _mm512_castsi512_si256(w), 8);
        out = put_words(out, _mm512_extracti64x4_epi64(w, 1), 8);
    }
    if (length > 0) {
        const auto present = static_cast<__mmask32>((std::uint64_t{1} << length) - 1);
        const __m512i w = mix16(_mm512_cvtepu16_epi32(_mm256_maskz_loadu_epi8(present, text)));
        const auto units = static_cast<std::uint32_t>((length + 1) / 2);
        out = put_words(out, _mm512_castsi512_si256(w), units < 8 ? units : 8);
        if (units > 8) {
            out = put_words(out, _mm512_extracti64x4_epi64(w, 1), units - 8);
        }
    }
    return out;
}

ENCRYPT_AVX512_INTRINSICS_END

bool has_avx512_digits() noexcept {
    return ENCRYPT_CPU_HAS(AVX512_VBMI2, "avx512vbmi2") && ENCRYPT_CPU_HAS(AVX512_VBMI, "avx512vbmi") &&
           ENCRYPT_CPU_HAS(AVX512CD, "avx512cd") && ENCRYPT_CPU_HAS(AVX512VL, "avx512vl") &&
           ENCRYPT_CPU_HAS(AVX512BW, "avx512bw");
}

}  // namespace encrypt::detail

#endif  // ENCRYPT_AVX512
