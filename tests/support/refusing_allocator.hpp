// An allocator that refuses on demand inside a test program: the program's
// own malloc and realloc, which pass every request to the C library's
// unless a test has asked them to refuse. Only where the C library lets a
// program replace them (glibc) and no sanitizer owns them.
#ifndef ENCRYPT_TESTS_REFUSING_ALLOCATOR_HPP
#define ENCRYPT_TESTS_REFUSING_ALLOCATOR_HPP

#include <cstddef>

namespace encrypt::test {

// Whether requests can be refused in this program.
bool allocations_can_be_refused() noexcept;

// While one lives, requests of `smallest` to `largest` bytes are refused.
class refusing_allocations {
public:
    explicit refusing_allocations(std::size_t smallest = 0,
                                  std::size_t largest = static_cast<std::size_t>(-1)) noexcept;
    ~refusing_allocations();
    refusing_allocations(const refusing_allocations&) = delete;
    refusing_allocations& operator=(const refusing_allocations&) = delete;
};

}  // namespace encrypt::test

#endif  // ENCRYPT_TESTS_REFUSING_ALLOCATOR_HPP
