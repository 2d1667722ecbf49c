// The SSE2 digits writer: four words a step.
#include "digits.hpp"

#if ENCRYPT_SSE2_DIGITS
#  include <emmintrin.h>

#  include <cstring>

namespace encrypt::detail {

// Four words at a time: split every byte into its two nibbles, interleave
// them high nibble first, put each word's byte pairs in reverse order (x86
// keeps the low byte first) and turn the nibbles into ASCII. Then each
// word's eight digits are copied from just past its leading zeros.
char* write_digits_sse2(char* out, const std::uint32_t* words, std::uint32_t count) noexcept {
    const __m128i low_nibbles = _mm_set1_epi8(0x0f);
    const __m128i nine = _mm_set1_epi8(9);
    const __m128i to_letter = _mm_set1_epi8('a' - '0' - 10);
    const __m128i to_digit = _mm_set1_epi8('0');
    alignas(16) char digits[64];
    auto* slots = reinterpret_cast<__m128i*>(digits);
    std::uint32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(words + i));
        const __m128i high = _mm_and_si128(_mm_srli_epi16(w, 4), low_nibbles);
        const __m128i low = _mm_and_si128(w, low_nibbles);
        __m128i pairs[2] = {_mm_unpacklo_epi8(high, low), _mm_unpackhi_epi8(high, low)};
        for (auto& n : pairs) {
            n = _mm_shufflehi_epi16(_mm_shufflelo_epi16(n, 0x1b), 0x1b);
            const __m128i letters = _mm_and_si128(_mm_cmpgt_epi8(n, nine), to_letter);
            n = _mm_add_epi8(n, _mm_add_epi8(to_digit, letters));
        }
        // Each word's digits open a 16-byte store of their own, so that the
        // 8-byte copy, wherever it starts, reads from within one store.
        _mm_store_si128(slots, pairs[0]);
        _mm_store_si128(slots + 1, _mm_srli_si128(pairs[0], 8));
        _mm_store_si128(slots + 2, pairs[1]);
        _mm_store_si128(slots + 3, _mm_srli_si128(pairs[1], 8));
        for (std::uint32_t k = 0; k < 4; ++k) {
            const std::size_t leading_zeros = max_digits - digit_count(words[i + k]);
            std::memcpy(out, digits + 16 * k + leading_zeros, max_digits);
            out += max_digits - leading_zeros;
        }
    }
    return write_digits_scalar(out, words + i, count - i);
}
}  // namespace encrypt::detail

#endif  // ENCRYPT_SSE2_DIGITS
