// The AVX2 digits writer: eight units a step.
#include "digits.hpp"

#if ENCRYPT_AVX2
#  include <array>

#  include "kernels.hpp"

namespace encrypt::detail {

#  define ENCRYPT_AVX2_DIGITS_TARGET __attribute__((target("avx2")))

namespace {

// For two words' sixteen digits, with `a` and `b` leading zeros to drop
// (0 to 7 each), the shuffle that closes them up: the first word's digits
// from position a on, then the second's from position 8 + b on.
constexpr std::array<std::array<unsigned char, 16>, 64> make_pair_shuffles() {
    std::array<std::array<unsigned char, 16>, 64> table{};
    for (unsigned a = 0; a < 8; ++a) {
        for (unsigned b = 0; b < 8; ++b) {
            auto& shuffle = table[8 * a + b];
            unsigned slot = 0;
            for (unsigned d = a; d < 8; ++d) {
                shuffle[slot++] = static_cast<unsigned char>(d);
            }
            for (unsigned d = 8 + b; d < 16; ++d) {
                shuffle[slot++] = static_cast<unsigned char>(d);
            }
            while (slot < 16) {
                shuffle[slot++] = 0x80;  // past the digits: zero
            }
        }
    }
    return table;
}

alignas(16) constexpr auto pair_shuffles = make_pair_shuffles();

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
    char* end = out;
    if constexpr (partial) {
        alignas(32) std::uint32_t counts[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(counts), digits);
        for (std::uint32_t k = 0; k < count; ++k) {
            end += counts[k];
        }
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

// Sixteen text bytes a step, packed, transformed and written in registers.
// The last few are loaded in place, those past the text cleared, and all
// eight words of the last step are written, with no branch on how many are
// the text's: the padding takes what lies past the text and past the space.
ENCRYPT_AVX2_DIGITS_TARGET inline char* put_text(char* out, const unsigned char* text,
                                                 std::size_t length) noexcept {
    static_assert(text_padding >= 64, "a vector of text bytes, and eight words' digits");
    for (; length >= 16; text += 16, length -= 16) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
        out = put_eight<false>(out, mix8(_mm256_cvtepu16_epi32(units)));
    }
    if (length == 0) {
        return out;
    }
    alignas(32) static constexpr unsigned char ones_then_zeros[32] = {
        0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
        0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
    const __m128i present =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(ones_then_zeros + 16 - length));
    const __m128i units =
        _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(text)), present);
    const auto count = static_cast<std::uint32_t>((length + 1) / 2);
    return put_eight<true>(out, mix8(_mm256_cvtepu16_epi32(units)), count);
}

}  // namespace

ENCRYPT_AVX2_DIGITS_TARGET
char* write_text_digits_avx2(char* out, const unsigned char* text, std::size_t length) noexcept {
    return put_text(out, text, length);
}

}  // namespace encrypt::detail

#endif  // ENCRYPT_AVX2
