// Internal to the library, its tests, benchmarks and fuzz targets.
//
// Each kernel is one way of computing the same two loops. `plain` is the
// reference that every other kernel must match bit for bit; the others use
// wider instructions and are only chosen where the CPU has them.
#ifndef ENCRYPT_SRC_KERNELS_HPP
#define ENCRYPT_SRC_KERNELS_HPP

#include <cstddef>
#include <cstdint>

namespace encrypt::detail {

// The transform of one word, modulo 2^32.
constexpr std::uint32_t mix(std::uint32_t v) noexcept {
    const std::uint32_t p = (v + 26u) * (v + 5u);
    return p ^ (p >> 16);
}

struct kernel {
    const char* name;
    // Transforms count words in place.
    void (*transform)(std::uint32_t* words, std::size_t count) noexcept;
    // Writes length / 2 + (length & 1) transformed units of text to words.
    void (*pack_transform)(std::uint32_t* words, const unsigned char* text,
                           std::size_t length) noexcept;
    // Whether this CPU can run it.
    bool (*supported)() noexcept;
};

// Every kernel built into the library, the plain one first and then from
// slowest to fastest; supported() says which of them may run here.
extern const kernel kernels[];
extern const std::size_t kernel_count;

const kernel& plain_kernel() noexcept;
// The fastest kernel this CPU supports.
const kernel& best_kernel() noexcept;

}  // namespace encrypt::detail

#endif  // ENCRYPT_SRC_KERNELS_HPP
