// The AVX-512 kernels: sixteen words a vector, the last few under a mask.
#include "kernels.hpp"

#if ENCRYPT_AVX512_KERNELS
#  include <immintrin.h>

#  include "simd_mix.hpp"

namespace encrypt::detail {

// GCC 12 warns that the deliberately undefined pass-through vector inside its
// own AVX-512 widening intrinsics may be used uninitialized.
#  if defined(__GNUC__) && !defined(__clang__)
#    pragma GCC diagnostic push
#    pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#  endif

#  define ENCRYPT_AVX512 __attribute__((target("avx512f")))

namespace {

ENCRYPT_AVX512 inline __mmask16 first_lanes(std::size_t n) noexcept {
    return static_cast<__mmask16>((1u << n) - 1u);
}

// The transformed units of the 32 text bytes from pair i on.
ENCRYPT_AVX512 inline __m512i pack16(const unsigned char* text, std::size_t i) noexcept {
    const __m256i units = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + 2 * i));
    return mix16(_mm512_cvtepu16_epi32(units));
}

}  // namespace

ENCRYPT_AVX512 void transform_avx512(std::uint32_t* words, std::size_t count) noexcept {
    std::size_t i = aligned_start(words, count, 64);
    transform_plain(words, i);
    for (; i + 16 <= count; i += 16) {
        _mm512_storeu_si512(words + i, mix16(_mm512_loadu_si512(words + i)));
    }
    if (i < count) {
        // Masked-off lanes are neither read nor written.
        const __mmask16 lanes = first_lanes(count - i);
        _mm512_mask_storeu_epi32(words + i, lanes,
                                 mix16(_mm512_maskz_loadu_epi32(lanes, words + i)));
    }
}

ENCRYPT_AVX512 void pack_transform_avx512(std::uint32_t* words, const unsigned char* text,
                                          std::size_t length) noexcept {
    const std::size_t pairs = length / 2;
    std::size_t i = aligned_start(words, pairs, 64);
    pack_transform_tail(words, text, 2 * i, 0);
    if (pairs * sizeof(std::uint32_t) >= streaming_threshold) {
        for (; i + 16 <= pairs; i += 16) {
            _mm512_stream_si512(reinterpret_cast<__m512i*>(words + i), pack16(text, i));
        }
        _mm_sfence();
    } else {
        for (; i + 16 <= pairs; i += 16) {
            _mm512_storeu_si512(words + i, pack16(text, i));
        }
    }
    pack_transform_tail(words, text, length, i);
}

#  if defined(__GNUC__) && !defined(__clang__)
#    pragma GCC diagnostic pop
#  endif

bool has_avx512() noexcept { return cpu_has(cpu_feature::avx512f); }

}  // namespace encrypt::detail

#endif  // ENCRYPT_AVX512_KERNELS
