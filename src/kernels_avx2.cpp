// The AVX2 kernels: eight words a vector.
#include "kernels.hpp"

#if ENCRYPT_AVX2_KERNELS
#  include <immintrin.h>

#  include "simd_mix.hpp"

namespace encrypt::detail {
namespace {

#  define ENCRYPT_AVX2 __attribute__((target("avx2")))

// The transformed units of the 16 text bytes from pair i on. x86 is
// little-endian, so a 16-bit load of a byte pair is its unit.
ENCRYPT_AVX2 inline __m256i pack8(const unsigned char* text, std::size_t i) noexcept {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + 2 * i));
    return mix8(_mm256_cvtepu16_epi32(units));
}

}  // namespace

ENCRYPT_AVX2 void transform_avx2(std::uint32_t* words, std::size_t count) noexcept {
    std::size_t i = aligned_start(words, count, 32);
    transform_plain(words, i);
    for (; i + 16 <= count; i += 16) {
        auto* at = reinterpret_cast<__m256i*>(words + i);
        const __m256i a = _mm256_loadu_si256(at);
        const __m256i b = _mm256_loadu_si256(at + 1);
        _mm256_storeu_si256(at, mix8(a));
        _mm256_storeu_si256(at + 1, mix8(b));
    }
    transform_plain(words + i, count - i);
}

ENCRYPT_AVX2 void pack_transform_avx2(std::uint32_t* words, const unsigned char* text,
                                      std::size_t length) noexcept {
    const std::size_t pairs = length / 2;
    std::size_t i = aligned_start(words, pairs, 32);
    pack_transform_tail(words, text, 2 * i, 0);
    if (pairs * sizeof(std::uint32_t) >= streaming_threshold) {
        for (; i + 8 <= pairs; i += 8) {
            _mm256_stream_si256(reinterpret_cast<__m256i*>(words + i), pack8(text, i));
        }
        _mm_sfence();
    } else {
        for (; i + 8 <= pairs; i += 8) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(words + i), pack8(text, i));
        }
    }
    pack_transform_tail(words, text, length, i);
}

bool has_avx2() noexcept { return cpu_has(cpu_feature::avx2); }

}  // namespace encrypt::detail

#endif  // ENCRYPT_AVX2_KERNELS
