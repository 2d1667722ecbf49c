// The AVX2 kernels: eight words a vector.
#include "kernels.hpp"

#if ENCRYPT_AVX2

namespace encrypt::detail {

#  define ENCRYPT_AVX2_TARGET __attribute__((target("avx2")))

ENCRYPT_AVX2_TARGET void transform_avx2(std::uint32_t* words, std::size_t count) noexcept {
    std::size_t i = aligned_start(words, count, 32);
    transform_plain(words, i);
    for (; i + 16 <= count; i += 16) {
        auto* at = reinterpret_cast<__m256i*>(words + i);
        const __m256i a = _mm256_load_si256(at);
        const __m256i b = _mm256_load_si256(at + 1);
        _mm256_store_si256(at, mix8(a));
        _mm256_store_si256(at + 1, mix8(b));
    }
    transform_plain(words + i, count - i);
}

// x86 is little-endian, so a 16-bit load of a byte pair is its unit.
ENCRYPT_AVX2_TARGET void pack_transform_avx2(std::uint32_t* words, const unsigned char* text,
                                             std::size_t length) noexcept {
    const std::size_t pairs = length / 2;
    const std::size_t start = aligned_start(words, pairs, 32);
    pack_transform_plain(words, text, 2 * start);
    std::size_t i = start;
    for (; i + 8 <= pairs; i += 8) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + 2 * i));
        _mm256_store_si256(reinterpret_cast<__m256i*>(words + i),
                           mix8(_mm256_cvtepu16_epi32(units)));
    }
    pack_transform_plain(words + i, text + 2 * i, length - 2 * i);
}

bool has_avx2() noexcept { return ENCRYPT_CPU_HAS(AVX2, "avx2"); }

}  // namespace encrypt::detail

#endif  // ENCRYPT_AVX2
