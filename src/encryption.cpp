#include <encrypt/encryption.hpp>

#include <cstdint>
#include <cstdlib>

#include "kernels.hpp"
#include "line.hpp"

namespace encrypt {

std::uint32_t* encryption(std::uint32_t* words, std::uint32_t count) {
    detail::best_kernel().transform(words, count);
    return words;
}

std::uint32_t* _encryption(const char* text, std::uint32_t length) {
    const std::uint64_t count = detail::unit_count(length);
    if (count == 0) {
        return nullptr;
    }
    const std::uint64_t bytes = count * sizeof(std::uint32_t);
    if (bytes > SIZE_MAX) {
        return nullptr;  // more than a 32-bit address space can hold
    }
    auto* words = static_cast<std::uint32_t*>(std::malloc(static_cast<std::size_t>(bytes)));
    if (words == nullptr) {
        return nullptr;
    }
    detail::best_kernel().pack_transform(words, reinterpret_cast<const unsigned char*>(text),
                                         length);
    return words;
}

}  // namespace encrypt
