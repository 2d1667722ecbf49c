// The AVX-512 kernels: sixteen words a vector.
#include "kernels.hpp"

#if ENCRYPT_AVX512

namespace encrypt::detail {

ENCRYPT_AVX512_INTRINSICS_BEGIN

#  define ENCRYPT_AVX512_TARGET __attribute__((target("avx512f")))

namespace {

// The transformed units of the 32 text bytes from pair i on.
ENCRYPT_AVX512_TARGET inline __m512i pack16(const unsigned char* text, std::size_t i) noexcept {
    const __m256i units = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + 2 * i));
    return mix16(_mm512_cvtepu16_epi32(units));
}

}  // namespace

// Two vectors a step from the first aligned word: with one, how fast the
// loop ran depended on where it happened to lie in the code (1.0x or 1.3x
// memcpy on AMD Zen 5).
ENCRYPT_AVX512_TARGET void transform_avx512(std::uint32_t* words, std::size_t count) noexcept {
    std::size_t i = aligned_start(words, count, 64);
    transform_plain(words, i);
    for (; i + 32 <= count; i += 32) {
        const __m512i a = _mm512_load_si512(words + i);
        const __m512i b = _mm512_load_si512(words + i + 16);
        _mm512_store_si512(words + i, mix16(a));
        _mm512_store_si512(words + i + 16, mix16(b));
    }
    transform_plain(words + i, count - i);
}

ENCRYPT_AVX512_TARGET void pack_transform_avx512(std::uint32_t* words, const unsigned char* text,
                                                 std::size_t length) noexcept {
    const std::size_t pairs = length / 2;
    const std::size_t start = aligned_start(words, pairs, 64);
    pack_transform_plain(words, text, 2 * start);
    std::size_t i = start;
    for (; i + 16 <= pairs; i += 16) {
        _mm512_store_si512(words + i, pack16(text, i));
    }
    pack_transform_plain(words + i, text + 2 * i, length - 2 * i);
}

ENCRYPT_AVX512_INTRINSICS_END

bool has_avx512() noexcept { return ENCRYPT_CPU_HAS(AVX512F, "avx512f"); }

}  // namespace encrypt::detail

#endif  // ENCRYPT_AVX512
