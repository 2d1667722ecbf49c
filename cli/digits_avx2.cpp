// The AVX2 digits writer: eight words a step.
#include "digits.hpp"

#if ENCRYPT_AVX2_DIGITS
#  include <immintrin.h>

#  include <bit>
#  include <cstring>

namespace encrypt::cli::detail {

#  define ENCRYPT_AVX2_DIGITS_TARGET __attribute__((target("avx2")))

namespace {

// The 32 digits of the four words in the low (`which` = 0) or high half of
// `w`, most significant first, as nibble values: each 128-bit lane takes two
// words, since a byte shuffle cannot cross lanes. Every byte appears twice,
// its high nibble kept in the first copy and its low nibble in the second.
ENCRYPT_AVX2_DIGITS_TARGET inline __m256i nibbles_of_half(__m256i words_in, int which) noexcept {
    const __m256i byte_of_digit = _mm256_setr_epi8(
        3, 3, 2, 2, 1, 1, 0, 0, 7, 7, 6, 6, 5, 5, 4, 4, 3, 3, 2, 2, 1, 1, 0, 0, 7, 7, 6, 6, 5, 5, 4, 4);
    // 64-bit pieces 0 and 1 (words 0 to 3) or 2 and 3, one to each lane.
    const __m256i pairs = which == 0 ? _mm256_permute4x64_epi64(words_in, 0x50)
                                     : _mm256_permute4x64_epi64(words_in, 0xfa);
    const __m256i bytes = _mm256_shuffle_epi8(pairs, byte_of_digit);
    // Odd places keep the low nibble; even places take the high one.
    const __m256i odd_places = _mm256_set1_epi16(static_cast<short>(0xff00));
    const __m256i chosen = _mm256_blendv_epi8(_mm256_srli_epi16(bytes, 4), bytes, odd_places);
    return _mm256_and_si256(chosen, _mm256_set1_epi8(0x0f));
}

}  // namespace

// The digits of eight words come out in two vectors, four words each, turned
// into ASCII by one table lookup. Each word's eight digits are then stored
// shifted past its leading zeros, which a comparison with zero gives for all
// the words at once.
ENCRYPT_AVX2_DIGITS_TARGET
char* write_digits_avx2(char* out, const std::uint32_t* words, std::uint32_t count) noexcept {
    const __m256i hex = _mm256_setr_epi8('0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'a',
                                         'b', 'c', 'd', 'e', 'f', '0', '1', '2', '3', '4', '5',
                                         '6', '7', '8', '9', 'a', 'b', 'c', 'd', 'e', 'f');
    const __m256i zero = _mm256_setzero_si256();
    alignas(32) std::uint64_t digits[8];
    std::uint32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(words + i));
        for (int half = 0; half < 2; ++half) {
            const __m256i nibbles = nibbles_of_half(w, half);
            _mm256_store_si256(reinterpret_cast<__m256i*>(digits + 4 * half),
                               _mm256_shuffle_epi8(hex, nibbles));
            // A set bit for each zero digit, eight bits a word.
            auto zeros = static_cast<std::uint32_t>(
                _mm256_movemask_epi8(_mm256_cmpeq_epi8(nibbles, zero)));
            for (int k = 0; k < 4; ++k, zeros >>= 8) {
                // Leading zero digits, but never the last digit: 0 prints as "0".
                const auto leading = static_cast<unsigned>(std::countr_one(zeros & 0x7fu));
                const std::uint64_t text = digits[4 * half + k] >> (8 * leading);
                std::memcpy(out, &text, max_digits);
                out += max_digits - leading;
            }
        }
    }
    return write_digits_scalar(out, words + i, count - i);
}

bool has_avx2_digits() noexcept {
    return encrypt::detail::cpu_has(encrypt::detail::cpu_feature::avx2);
}

}  // namespace encrypt::cli::detail

#endif  // ENCRYPT_AVX2_DIGITS
