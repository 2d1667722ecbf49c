#include <encrypt/encryption.hpp>

#include <cstdint>
#include <cstdlib>

#include "kernels.hpp"
#include "prefault.hpp"

namespace encrypt {

std::uint32_t* encryption(std::uint32_t* words, std::uint32_t count) {
    detail::best_kernel().transform(words, count);
    return words;
}

std::uint32_t* _encryption(const char* text, std::uint32_t length) {
    // n / 2 rounded up without the (n + 1) that wraps for n = 2^32 - 1.
    const std::uint32_t count = length / 2 + (length & 1u);
    if (count == 0) {
        return nullptr;
    }
    const std::uint64_t bytes = std::uint64_t{count} * sizeof(std::uint32_t);
    if (bytes > SIZE_MAX) {
        return nullptr;  // more than a 32-bit address space can hold
    }
    const auto size = static_cast<std::size_t>(bytes);
    auto* words = static_cast<std::uint32_t*>(std::malloc(size));
    if (words == nullptr) {
        return nullptr;
    }
    detail::prefault_for_writing(words, size);
    detail::best_kernel().pack_transform(words, reinterpret_cast<const unsigned char*>(text),
                                         length);
    return words;
}

}  // namespace encrypt
