// Internal to the library, its tests, benchmarks and fuzz targets.
//
// Each kernel is one way of computing the same two loops, one source file
// per instruction set (kernels_*.cpp), chosen among in kernels.cpp. `plain`
// is the reference that every other kernel must match bit for bit; the
// others use wider instructions and are only chosen where the CPU has them.
#ifndef ENCRYPT_SRC_KERNELS_HPP
#define ENCRYPT_SRC_KERNELS_HPP

#include <cstddef>
#include <cstdint>

#include "cpu_features.hpp"

#if ENCRYPT_AVX2
#  include <immintrin.h>
#endif

namespace encrypt::detail {

// The transform of one word, modulo 2^32.
constexpr std::uint32_t mix(std::uint32_t v) noexcept {
    const std::uint32_t p = (v + 26u) * (v + 5u);
    return p ^ (p >> 16);
}

// The transform of a whole vector of words, for each instruction set built
// in, as the wide kernels and digits writers use it.
#if ENCRYPT_AVX2
__attribute__((target("avx2"))) inline __m256i mix8(__m256i v) noexcept {
    const __m256i p = _mm256_mullo_epi32(_mm256_add_epi32(v, _mm256_set1_epi32(26)),
                                         _mm256_add_epi32(v, _mm256_set1_epi32(5)));
    return _mm256_xor_si256(p, _mm256_srli_epi32(p, 16));
}
#endif

#if ENCRYPT_AVX512
ENCRYPT_AVX512_INTRINSICS_BEGIN
__attribute__((target("avx512f"))) inline __m512i mix16(__m512i v) noexcept {
    const __m512i p = _mm512_mullo_epi32(_mm512_add_epi32(v, _mm512_set1_epi32(26)),
                                         _mm512_add_epi32(v, _mm512_set1_epi32(5)));
    return _mm512_xor_si512(p, _mm512_srli_epi32(p, 16));
}
ENCRYPT_AVX512_INTRINSICS_END
#endif

// The unit of bytes lo and hi: lo is the low byte.
constexpr std::uint32_t unit(unsigned char lo, unsigned char hi) noexcept {
    return static_cast<std::uint32_t>(lo) | (static_cast<std::uint32_t>(hi) << 8);
}

struct kernel {
    const char* name;
    // Transforms count words in place.
    void (*transform)(std::uint32_t* words, std::size_t count) noexcept;
    // Writes the length / 2 + (length & 1) transformed units of text to
    // words, an odd last byte with a zero high byte.
    void (*pack_transform)(std::uint32_t* words, const unsigned char* text,
                           std::size_t length) noexcept;
    // Whether this CPU can run it.
    bool (*supported)() noexcept;
};

// Every kernel built in, the plain one first and then from slowest to
// fastest; supported() says which of them may run here.
extern const kernel kernels[];
extern const std::size_t kernel_count;

// The fastest kernel this CPU supports.
const kernel& best_kernel() noexcept;

// The plain loops, with which the wide kernels begin and end.
void transform_plain(std::uint32_t* words, std::size_t count) noexcept;
void pack_transform_plain(std::uint32_t* words, const unsigned char* text,
                          std::size_t length) noexcept;

// Where the vector loops start: the first index from which words + index is
// aligned to `alignment` bytes, or `count` if there is none. A vector that
// straddles two cache lines costs two accesses, and a heap block's vectors
// would do so every other time.
inline std::size_t aligned_start(const std::uint32_t* words, std::size_t count,
                                 std::size_t alignment) noexcept {
    const std::size_t start = (0 - reinterpret_cast<std::uintptr_t>(words)) % alignment / 4;
    return start < count ? start : count;
}

#if ENCRYPT_AVX2
void transform_avx2(std::uint32_t* words, std::size_t count) noexcept;
void pack_transform_avx2(std::uint32_t* words, const unsigned char* text,
                         std::size_t length) noexcept;
bool has_avx2() noexcept;
#endif
#if ENCRYPT_AVX512
void transform_avx512(std::uint32_t* words, std::size_t count) noexcept;
void pack_transform_avx512(std::uint32_t* words, const unsigned char* text,
                           std::size_t length) noexcept;
bool has_avx512() noexcept;
#endif

}  // namespace encrypt::detail

#endif  // ENCRYPT_SRC_KERNELS_HPP
