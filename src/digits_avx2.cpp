// The AVX2 digits writer: eight words a step.
#include "digits.hpp"

#if ENCRYPT_AVX2_DIGITS
#  include <immintrin.h>

#  include <array>
#  include <bit>
#  include <cstring>

namespace encrypt::detail {

#  define ENCRYPT_AVX2_DIGITS_TARGET __attribute__((target("avx2")))

namespace {

// The 32 digits of the four words in the low (`which` = 0) or high half of
// `w`, most significant first, as nibble values: each 128-bit lane takes two
// words, since a byte shuffle cannot cross lanes. Every byte appears twice,
// its high nibble kept in the first copy and its low nibble in the second.
ENCRYPT_AVX2_DIGITS_TARGET inline __m256i nibbles_of_half(__m256i words_in, int which) noexcept {
    const __m256i byte_of_digit = _mm256_setr_epi8(3, 3, 2, 2, 1, 1, 0, 0, 7, 7, 6, 6, 5, 5, 4, 4,
                                                   3, 3, 2, 2, 1, 1, 0, 0, 7, 7, 6, 6, 5, 5, 4, 4);
    // 64-bit pieces 0 and 1 (words 0 to 3) or 2 and 3, one to each lane.
    const __m256i pairs = which == 0 ? _mm256_permute4x64_epi64(words_in, 0x50)
                                     : _mm256_permute4x64_epi64(words_in, 0xfa);
    const __m256i bytes = _mm256_shuffle_epi8(pairs, byte_of_digit);
    // Odd places keep the low nibble; even places take the high one.
    const __m256i odd_places = _mm256_set1_epi16(static_cast<short>(0xff00));
    const __m256i chosen = _mm256_blendv_epi8(_mm256_srli_epi16(bytes, 4), bytes, odd_places);
    return _mm256_and_si256(chosen, _mm256_set1_epi8(0x0f));
}

// For two words' sixteen digits, with `a` and `b` leading zeros to drop
// (0 to 7 each), the shuffle that closes them up: the first word's digits
// from place a on, then the second's from place 8 + b on.
constexpr std::array<std::array<unsigned char, 16>, 64> make_pair_shuffles() {
    std::array<std::array<unsigned char, 16>, 64> table{};
    for (unsigned a = 0; a < 8; ++a) {
        for (unsigned b = 0; b < 8; ++b) {
            auto& shuffle = table[8 * a + b];
            unsigned place = 0;
            for (unsigned d = a; d < 8; ++d) {
                shuffle[place++] = static_cast<unsigned char>(d);
            }
            for (unsigned d = 8 + b; d < 16; ++d) {
                shuffle[place++] = static_cast<unsigned char>(d);
            }
            while (place < 16) {
                shuffle[place++] = 0x80;  // past the digits: zero
            }
        }
    }
    return table;
}

alignas(16) constexpr auto pair_shuffles = make_pair_shuffles();

// Leading zero digits of a word from its eight zero-digit bits, never the
// last digit: 0 prints as "0".
inline unsigned leading_zeros(std::uint32_t zero_digits) noexcept {
    return static_cast<unsigned>(std::countr_one(zero_digits & 0x7fu));
}

// Stores one lane's two words closed up, and returns the end of them. The
// store is 16 bytes wide whatever the digits: never past eight a word.
ENCRYPT_AVX2_DIGITS_TARGET inline char* put_pair(char* out, __m128i digits,
                                                 std::uint32_t zero_digits) noexcept {
    const unsigned a = leading_zeros(zero_digits);
    const unsigned b = leading_zeros(zero_digits >> 8);
    const __m128i shuffle =
        _mm_load_si128(reinterpret_cast<const __m128i*>(pair_shuffles[8 * a + b].data()));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(digits, shuffle));
    return out + 16 - a - b;
}

// The digits of the first `count` (1 to 8) words of `w`: they come out in two
// vectors, four words each, turned into ASCII by one table lookup. A
// comparison with zero marks every word's leading zero digits at once, and
// each 128-bit lane, two words, is closed up by one byte shuffle from a table
// and stored, 16 bytes for every pair begun.
ENCRYPT_AVX2_DIGITS_TARGET inline char* put_words(char* out, __m256i w,
                                                  std::uint32_t count) noexcept {
    const __m256i hex = _mm256_setr_epi8('0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'a', 'b',
                                         'c', 'd', 'e', 'f', '0', '1', '2', '3', '4', '5', '6', '7',
                                         '8', '9', 'a', 'b', 'c', 'd', 'e', 'f');
    for (std::uint32_t half = 0; half < 2 && 4 * half < count; ++half) {
        const __m256i nibbles = nibbles_of_half(w, static_cast<int>(half));
        const __m256i ascii = _mm256_shuffle_epi8(hex, nibbles);
        // A set bit for each zero digit, eight bits a word.
        const auto zeros = static_cast<std::uint32_t>(
            _mm256_movemask_epi8(_mm256_cmpeq_epi8(nibbles, _mm256_setzero_si256())));
        for (std::uint32_t lane = 0; lane < 2; ++lane) {
            const std::uint32_t first = 4 * half + 2 * lane;
            if (first >= count) {
                break;
            }
            const std::uint32_t pair_zeros = zeros >> (16 * lane);
            const __m128i digits =
                lane == 0 ? _mm256_castsi256_si128(ascii) : _mm256_extracti128_si256(ascii, 1);
            out = put_pair(out, digits, pair_zeros);
            if (first + 1 == count) {
                out -= 8 - leading_zeros(pair_zeros >> 8);  // a word short of the pair
            }
        }
    }
    return out;
}

}  // namespace

// Eight words a step; the last few go through one more step from a copy of
// them, into a buffer of its own, so that nothing past them is read and
// nothing past their room is written.
ENCRYPT_AVX2_DIGITS_TARGET
char* write_digits_avx2(char* out, const std::uint32_t* words, std::uint32_t count) noexcept {
    std::uint32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        out = put_words(out, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(words + i)), 8);
    }
    if (i < count) {
        alignas(32) std::uint32_t rest[8] = {};
        std::memcpy(rest, words + i, (count - i) * sizeof(std::uint32_t));
        char digits[4 * 16];
        const char* end =
            put_words(digits, _mm256_load_si256(reinterpret_cast<const __m256i*>(rest)), count - i);
        const auto length = static_cast<std::size_t>(end - digits);
        std::memcpy(out, digits, length);
        out += length;
    }
    return out;
}

bool has_avx2_digits() noexcept { return cpu_has(cpu_feature::avx2); }

}  // namespace encrypt::detail

#endif  // ENCRYPT_AVX2_DIGITS
