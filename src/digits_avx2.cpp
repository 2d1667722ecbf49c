// The AVX2 digits writer: eight words a step.
#include "digits.hpp"

#if ENCRYPT_AVX2_DIGITS
#  include <immintrin.h>

#  include <array>
#  include <bit>
#  include <cstring>

#  include "simd_mix.hpp"

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

// All eight words of `w` closed up at `out`, with no branch on their
// digits: four 16-byte stores, 64 bytes whatever the digits. Returns the end
// of the digits of all eight words or, if `partial`, of the first `count`.
// The digit counts of all eight are made at once, and from them each pair's
// shuffle and length, so that the stores wait on no count made one word at
// a time.
template <bool partial>
ENCRYPT_AVX2_DIGITS_TARGET inline char* put_eight(char* out, __m256i w,
                                                  std::uint32_t count = 8) noexcept {
    // Each word's bytes most significant first, then its nibbles in order:
    // a 128-bit lane of `first` holds the digits of words 0 and 1 (4 and 5
    // in the upper lane), one of `second` those of words 2 and 3 (6 and 7).
    const __m256i reversed = _mm256_shuffle_epi8(
        w, _mm256_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12, 3, 2, 1, 0, 7, 6,
                            5, 4, 11, 10, 9, 8, 15, 14, 13, 12));
    const __m256i low_nibbles = _mm256_set1_epi8(0x0f);
    const __m256i high = _mm256_and_si256(_mm256_srli_epi16(reversed, 4), low_nibbles);
    const __m256i low = _mm256_and_si256(reversed, low_nibbles);
    const __m256i hex = _mm256_setr_epi8('0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'a', 'b',
                                         'c', 'd', 'e', 'f', '0', '1', '2', '3', '4', '5', '6', '7',
                                         '8', '9', 'a', 'b', 'c', 'd', 'e', 'f');
    const __m256i first = _mm256_shuffle_epi8(hex, _mm256_unpacklo_epi8(high, low));
    const __m256i second = _mm256_shuffle_epi8(hex, _mm256_unpackhi_epi8(high, low));

    // Digits of each word, (bit length + 3) / 4, from the exponent of the
    // word made a float. Only its highest bit and those with a zero above
    // them are kept first, so that no rounding can carry the float up to the
    // next power of two; the word's top bit makes it negative, which the
    // exponent does not mind.
    const __m256i nonzero = _mm256_or_si256(w, _mm256_set1_epi32(1));
    const __m256i spaced = _mm256_andnot_si256(_mm256_srli_epi32(nonzero, 1), nonzero);
    const __m256i exponent =
        _mm256_and_si256(_mm256_srli_epi32(_mm256_castps_si256(_mm256_cvtepi32_ps(spaced)), 23),
                         _mm256_set1_epi32(0xff));
    // exponent = 126 + bit length
    const __m256i digits = _mm256_srli_epi32(_mm256_sub_epi32(exponent, _mm256_set1_epi32(123)), 2);
    // Per pair of words (a 64-bit lane): the byte offset of its shuffle,
    // 16 * (8 * zeros of the first + zeros of the second), and its length.
    const __m256i zeros = _mm256_sub_epi32(_mm256_set1_epi32(8), digits);
    const __m256i low_word = _mm256_set1_epi64x(0xffffffff);
    const __m256i shuffle_at =
        _mm256_slli_epi64(_mm256_add_epi64(_mm256_slli_epi64(_mm256_and_si256(zeros, low_word), 3),
                                           _mm256_srli_epi64(zeros, 32)),
                          4);
    const __m256i pair_length =
        _mm256_add_epi64(_mm256_and_si256(digits, low_word), _mm256_srli_epi64(digits, 32));
    alignas(32) std::uint64_t offsets[4];
    alignas(32) std::uint64_t lengths[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(offsets), shuffle_at);
    _mm256_store_si256(reinterpret_cast<__m256i*>(lengths), pair_length);
    // The end of the first `count` words' digits: their digits summed.
    char* end = nullptr;
    if constexpr (partial) {
        const __m256i wanted = _mm256_cmpgt_epi32(_mm256_set1_epi32(static_cast<int>(count)),
                                                  _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
        __m256i sum = _mm256_and_si256(digits, wanted);
        sum = _mm256_add_epi32(sum, _mm256_srli_si256(sum, 8));
        sum = _mm256_add_epi32(sum, _mm256_srli_si256(sum, 4));
        const __m128i total =
            _mm_add_epi32(_mm256_castsi256_si128(sum), _mm256_extracti128_si256(sum, 1));
        end = out + _mm_cvtsi128_si32(total);
    }
    const auto* shuffles = reinterpret_cast<const unsigned char*>(pair_shuffles.data());
    const __m128i pairs[4] = {_mm256_castsi256_si128(first), _mm256_castsi256_si128(second),
                              _mm256_extracti128_si256(first, 1),
                              _mm256_extracti128_si256(second, 1)};
    for (int pair = 0; pair < 4; ++pair) {
        const __m128i shuffle =
            _mm_load_si128(reinterpret_cast<const __m128i*>(shuffles + offsets[pair]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(pairs[pair], shuffle));
        out += lengths[pair];
    }
    if constexpr (partial) {
        return end;
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
        out =
            put_eight<false>(out, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(words + i)));
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

// Sixteen text bytes a step, packed, transformed and written in registers.
// The last few bytes are copied out first, so that nothing past the text is
// read; of their words an even number is stored as pairs, and an odd last
// one alone, so that nothing past their room is written.
ENCRYPT_AVX2_DIGITS_TARGET
char* write_text_digits_avx2(char* out, const unsigned char* text, std::size_t length) noexcept {
    for (; length >= 16; text += 16, length -= 16) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
        out = put_eight<false>(out, mix8(_mm256_cvtepu16_epi32(units)));
    }
    if (length > 0) {
        alignas(16) unsigned char rest[16] = {};
        std::memcpy(rest, text, length);
        const __m256i w =
            mix8(_mm256_cvtepu16_epi32(_mm_load_si128(reinterpret_cast<const __m128i*>(rest))));
        const auto units = static_cast<std::uint32_t>((length + 1) / 2);
        out = put_words(out, w, units & ~1u);
        if ((units & 1u) != 0) {
            alignas(32) std::uint32_t words[8];
            _mm256_store_si256(reinterpret_cast<__m256i*>(words), w);
            out = format_hex(out, words[units - 1]);
        }
    }
    return out;
}

// As write_text_digits_avx2, but the last few bytes are loaded in place
// with those past the text cleared, and all eight words of the last step
// are written, with no branch on how many are the text's: the padding takes
// what lies past the text and past the room.
ENCRYPT_AVX2_DIGITS_TARGET
char* write_padded_text_digits_avx2(char* out, const unsigned char* text,
                                    std::size_t length) noexcept {
    static_assert(text_padding >= 64, "a vector of text bytes, and eight words' digits");
    alignas(32) static constexpr unsigned char ones_then_zeros[32] = {
        0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
        0xff, 0xff, 0xff, 0xff, 0xff, 0,    0,    0,    0,    0,    0};
    for (; length >= 16; text += 16, length -= 16) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
        out = put_eight<false>(out, mix8(_mm256_cvtepu16_epi32(units)));
    }
    if (length > 0) {
        const __m128i present =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(ones_then_zeros + 16 - length));
        const __m128i units =
            _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(text)), present);
        out = put_eight<true>(out, mix8(_mm256_cvtepu16_epi32(units)),
                              static_cast<std::uint32_t>((length + 1) / 2));
    }
    return out;
}

bool has_avx2_digits() noexcept { return cpu_has(cpu_feature::avx2); }

}  // namespace encrypt::detail

#endif  // ENCRYPT_AVX2_DIGITS
