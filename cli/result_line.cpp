#include "result_line.hpp"

#include "cpu_features.hpp"

#include <bit>
#include <charconv>
#include <cstring>

#if defined(__SSE2__)
#  include <emmintrin.h>
#  define ENCRYPT_SSE2_DIGITS 1
#else
#  define ENCRYPT_SSE2_DIGITS 0
#endif
#if ENCRYPT_X86_DISPATCH
#  include <immintrin.h>
#  define ENCRYPT_AVX512_DIGITS 1
#else
#  define ENCRYPT_AVX512_DIGITS 0
#endif

namespace encrypt::cli {
namespace {

constexpr std::size_t max_digits = 8;

// Places the eight nibbles of `word` in the eight bytes of the result, the
// lowest nibble in the lowest byte, and turns each into its ASCII hex digit.
constexpr std::uint64_t hex_digits(std::uint32_t word) noexcept {
    std::uint64_t x = word;
    x = (x | (x << 16)) & 0x0000ffff0000ffffULL;
    x = (x | (x << 8)) & 0x00ff00ff00ff00ffULL;
    x = (x | (x << 4)) & 0x0f0f0f0f0f0f0f0fULL;
    // A nibble of 10 or more carries into bit 4 once 6 is added to it; those
    // bytes take 'a' - '0' - 10 more on top of '0'.
    const std::uint64_t letters = ((x + 0x0606060606060606ULL) >> 4) & 0x0101010101010101ULL;
    return x + 0x3030303030303030ULL + letters * static_cast<unsigned char>('a' - '0' - 10);
}

constexpr std::uint64_t byteswap64(std::uint64_t x) noexcept {
    x = ((x & 0x00ff00ff00ff00ffULL) << 8) | ((x >> 8) & 0x00ff00ff00ff00ffULL);
    x = ((x & 0x0000ffff0000ffffULL) << 16) | ((x >> 16) & 0x0000ffff0000ffffULL);
    return (x << 32) | (x >> 32);
}

// How many digits "%lx" prints for the word; zero still prints one.
inline std::size_t digit_count(std::uint32_t word) noexcept {
    return static_cast<std::size_t>(std::bit_width(word | 1u) + 3) / 4;
}

char* write_digits_scalar(char* out, const std::uint32_t* words, std::uint32_t count) noexcept {
    for (std::uint32_t i = 0; i < count; ++i) {
        out = format_hex(out, words[i]);
    }
    return out;
}

bool always() noexcept { return true; }

#if ENCRYPT_SSE2_DIGITS
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
#endif

#if ENCRYPT_AVX512_DIGITS
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
    using encrypt::detail::cpu_feature;
    using encrypt::detail::cpu_has;
    return cpu_has(cpu_feature::avx512vbmi2) && cpu_has(cpu_feature::avx512vbmi) &&
           cpu_has(cpu_feature::avx512cd) && cpu_has(cpu_feature::avx512vl) &&
           cpu_has(cpu_feature::avx512bw);
}
#endif

}  // namespace

const digits_writer digits_writers[] = {
    {"scalar", write_digits_scalar, always},
#if ENCRYPT_SSE2_DIGITS
    {"sse2", write_digits_sse2, always},
#endif
#if ENCRYPT_AVX512_DIGITS
    {"avx512", write_digits_avx512, has_avx512_digits},
#endif
};
const std::size_t digits_writer_count = sizeof digits_writers / sizeof digits_writers[0];

const digits_writer& best_digits_writer() noexcept {
    return encrypt::detail::fastest_supported(digits_writers, digits_writer_count);
}

char* format_hex(char* out, std::uint32_t word) noexcept {
    const std::size_t digits = digit_count(word);
    if constexpr (std::endian::native == std::endian::little) {
        // Most significant digit first in memory, then the leading zeros
        // shifted out so that the first significant digit lands at out[0].
        const std::uint64_t text = byteswap64(hex_digits(word)) >> (8 * (max_digits - digits));
        std::memcpy(out, &text, max_digits);
    } else {
        std::memset(out, '0', max_digits);
        std::to_chars(out, out + max_digits, word, 16);
    }
    return out + digits;
}

std::size_t result_line_capacity(std::uint32_t count) noexcept {
    // Every writer stores at most eight bytes per word it has reached, so no
    // word can write past the room its longest form takes.
    const std::uint64_t bytes = caption.size() + 1 + std::uint64_t{count} * max_digits;
    return bytes > SIZE_MAX ? 0 : static_cast<std::size_t>(bytes);
}

std::size_t format_result_line(char* out, const std::uint32_t* words,
                               std::uint32_t count) noexcept {
    std::memcpy(out, caption.data(), caption.size());
    char* end = best_digits_writer().write(out + caption.size(), words, count);
    *end++ = '\n';
    return static_cast<std::size_t>(end - out);
}

}  // namespace encrypt::cli
