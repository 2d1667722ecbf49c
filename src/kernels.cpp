#include "kernels.hpp"

#include "cpu_features.hpp"

// The wide kernels need GCC or Clang on x86 (for target attributes and
// run-time CPU checks), and a build that allows their instruction set.
// Elsewhere the plain loop is all there is.
#if ENCRYPT_X86_DISPATCH && ENCRYPT_ISA_LEVEL >= 2
#  define ENCRYPT_X86_KERNELS 1
#  include <immintrin.h>
#else
#  define ENCRYPT_X86_KERNELS 0
#endif
#define ENCRYPT_AVX512_KERNELS (ENCRYPT_X86_KERNELS && ENCRYPT_ISA_LEVEL >= 3)

namespace encrypt::detail {
namespace {

// The unit of bytes lo and hi: lo is the low byte.
constexpr std::uint32_t unit(unsigned char lo, unsigned char hi) noexcept {
    return static_cast<std::uint32_t>(lo) | (static_cast<std::uint32_t>(hi) << 8);
}

void transform_plain(std::uint32_t* words, std::size_t count) noexcept {
    for (std::size_t i = 0; i < count; ++i) {
        words[i] = mix(words[i]);
    }
}

// Shared tail of the pack kernels: the units from pair `first` on, and for an
// odd length the last byte alone, whose high byte is the text's terminator.
void pack_transform_tail(std::uint32_t* words, const unsigned char* text, std::size_t length,
                         std::size_t first) noexcept {
    const std::size_t pairs = length / 2;
    for (std::size_t i = first; i < pairs; ++i) {
        words[i] = mix(unit(text[2 * i], text[2 * i + 1]));
    }
    if ((length & 1u) != 0) {
        words[pairs] = mix(unit(text[length - 1], 0));
    }
}

void pack_transform_plain(std::uint32_t* words, const unsigned char* text,
                          std::size_t length) noexcept {
    pack_transform_tail(words, text, length, 0);
}

bool always() noexcept { return true; }

#if ENCRYPT_X86_KERNELS
// x86 is little-endian, so a 16-bit load of a byte pair is its unit.

#  define ENCRYPT_AVX2 __attribute__((target("avx2")))
#  define ENCRYPT_AVX512 __attribute__((target("avx512f")))

// Word arrays from this size on leave the caches anyway. The pack kernels
// write them with non-temporal stores, around the caches, which spares
// reading every line of the fresh array in before writing it.
constexpr std::size_t streaming_threshold = std::size_t{8} << 20;

// Where the vector loops start: the first index from which words + index is
// aligned to `alignment` bytes (the words before it go one at a time), or
// `count` if there is none. A vector that straddles two cache lines costs two
// accesses, and a heap block's vectors would do so every other time;
// streaming stores take aligned addresses only.
inline std::size_t aligned_start(const std::uint32_t* words, std::size_t count,
                                 std::size_t alignment) noexcept {
    const auto misalignment = reinterpret_cast<std::uintptr_t>(words) & (alignment - 1);
    const std::size_t start =
        misalignment == 0 ? 0 : (alignment - misalignment) / sizeof(std::uint32_t);
    return start < count ? start : count;
}

ENCRYPT_AVX2 inline __m256i mix8(__m256i v) noexcept {
    const __m256i p = _mm256_mullo_epi32(_mm256_add_epi32(v, _mm256_set1_epi32(26)),
                                         _mm256_add_epi32(v, _mm256_set1_epi32(5)));
    return _mm256_xor_si256(p, _mm256_srli_epi32(p, 16));
}

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

// The transformed units of the 16 text bytes from pair i on.
ENCRYPT_AVX2 inline __m256i pack8(const unsigned char* text, std::size_t i) noexcept {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + 2 * i));
    return mix8(_mm256_cvtepu16_epi32(units));
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

#  if ENCRYPT_AVX512_KERNELS

// GCC 12 warns that the deliberately undefined pass-through vector inside its
// own AVX-512 shift and widening intrinsics may be used uninitialized.
#  if defined(__GNUC__) && !defined(__clang__)
#    pragma GCC diagnostic push
#    pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#  endif

ENCRYPT_AVX512 inline __m512i mix16(__m512i v) noexcept {
    const __m512i p = _mm512_mullo_epi32(_mm512_add_epi32(v, _mm512_set1_epi32(26)),
                                         _mm512_add_epi32(v, _mm512_set1_epi32(5)));
    return _mm512_xor_si512(p, _mm512_srli_epi32(p, 16));
}

ENCRYPT_AVX512 inline __mmask16 first_lanes(std::size_t n) noexcept {
    return static_cast<__mmask16>((1u << n) - 1u);
}

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

// The transformed units of the 32 text bytes from pair i on.
ENCRYPT_AVX512 inline __m512i pack16(const unsigned char* text, std::size_t i) noexcept {
    const __m256i units = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + 2 * i));
    return mix16(_mm512_cvtepu16_epi32(units));
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
#  endif  // ENCRYPT_AVX512_KERNELS
#endif    // ENCRYPT_X86_KERNELS

}  // namespace

const kernel kernels[] = {
    {"plain", transform_plain, pack_transform_plain, always},
#if ENCRYPT_X86_KERNELS
    {"avx2", transform_avx2, pack_transform_avx2, has_avx2},
#endif
#if ENCRYPT_AVX512_KERNELS
    {"avx512", transform_avx512, pack_transform_avx512, has_avx512},
#endif
};
const std::size_t kernel_count = sizeof kernels / sizeof kernels[0];

const kernel& plain_kernel() noexcept { return kernels[0]; }

const kernel& best_kernel() noexcept {
    // Checked on every call: the check is a load and a test once the CPU
    // model is known, and it keeps the library free of mutable state.
    return fastest_supported(kernels, kernel_count);
}

}  // namespace encrypt::detail
