// The plain kernel, the one every wider kernel must match, and the choice
// among them.
#include "kernels.hpp"

namespace encrypt::detail {

void transform_plain(std::uint32_t* words, std::size_t count) noexcept {
    for (std::size_t i = 0; i < count; ++i) {
        words[i] = mix(words[i]);
    }
}

void pack_transform_plain(std::uint32_t* words, const unsigned char* text,
                          std::size_t length) noexcept {
    const std::size_t pairs = length / 2;
    for (std::size_t i = 0; i < pairs; ++i) {
        words[i] = mix(unit(text[2 * i], text[2 * i + 1]));
    }
    if ((length & 1u) != 0) {
        words[pairs] = mix(unit(text[length - 1], 0));
    }
}

const kernel kernels[] = {
    {"plain", transform_plain, pack_transform_plain, always_supported},
#if ENCRYPT_AVX2
    {"avx2", transform_avx2, pack_transform_avx2, has_avx2},
#endif
#if ENCRYPT_AVX512
    {"avx512", transform_avx512, pack_transform_avx512, has_avx512},
#endif
};
const std::size_t kernel_count = sizeof kernels / sizeof kernels[0];

const kernel& best_kernel() noexcept {
    // Checked on every call: the check is a load and a test once the CPU
    // model is known, and it keeps the library free of mutable state.
    return fastest_supported(kernels, kernel_count);
}

}  // namespace encrypt::detail
