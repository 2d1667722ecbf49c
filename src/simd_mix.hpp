// Internal to the wide kernels and digits writers: the word transform on a
// whole vector of words, for each instruction set built in.
#ifndef ENCRYPT_SRC_SIMD_MIX_HPP
#define ENCRYPT_SRC_SIMD_MIX_HPP

#include "cpu_features.hpp"

#if ENCRYPT_AVX2
#  include <immintrin.h>
#endif

namespace encrypt::detail {

#if ENCRYPT_AVX2
__attribute__((target("avx2"))) inline __m256i mix8(__m256i v) noexcept {
    const __m256i p = _mm256_mullo_epi32(_mm256_add_epi32(v, _mm256_set1_epi32(26)),
                                         _mm256_add_epi32(v, _mm256_set1_epi32(5)));
    return _mm256_xor_si256(p, _mm256_srli_epi32(p, 16));
}
#endif

#if ENCRYPT_AVX512
// GCC 12 warns that the deliberately undefined pass-through vector inside its
// own AVX-512 shift intrinsic may be used uninitialized.
#  if defined(__GNUC__) && !defined(__clang__)
#    pragma GCC diagnostic push
#    pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#  endif
__attribute__((target("avx512f"))) inline __m512i mix16(__m512i v) noexcept {
    const __m512i p = _mm512_mullo_epi32(_mm512_add_epi32(v, _mm512_set1_epi32(26)),
                                         _mm512_add_epi32(v, _mm512_set1_epi32(5)));
    return _mm512_xor_si512(p, _mm512_srli_epi32(p, 16));
}
#  if defined(__GNUC__) && !defined(__clang__)
#    pragma GCC diagnostic pop
#  endif
#endif

}  // namespace encrypt::detail

#endif  // ENCRYPT_SRC_SIMD_MIX_HPP
