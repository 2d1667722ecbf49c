#include "refusing_allocator.hpp"

#include <cerrno>
#include <cstdlib>

#if defined(__has_feature)
#  if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#    define ENCRYPT_SANITIZER_HEAP 1
#  endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#  define ENCRYPT_SANITIZER_HEAP 1
#endif
#if defined(__GLIBC__) && !defined(ENCRYPT_SANITIZER_HEAP)
#  define ENCRYPT_REPLACES_MALLOC 1
#endif

namespace {
// The tests that use it run on one thread.
bool refusing = false;
std::size_t smallest_refused = 0;
std::size_t largest_refused = 0;

}  // namespace

#ifdef ENCRYPT_REPLACES_MALLOC
namespace {
bool refuse(std::size_t size) {
    if (!refusing || size < smallest_refused || size > largest_refused) {
        return false;
    }
    errno = ENOMEM;
    return true;
}
}  // namespace

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_realloc(void* block, std::size_t size);

void* malloc(std::size_t size) { return refuse(size) ? nullptr : __libc_malloc(size); }
void* realloc(void* block, std::size_t size) {
    return refuse(size) ? nullptr : __libc_realloc(block, size);
}
}
#endif

namespace encrypt::test {

bool allocations_can_be_refused() noexcept {
#ifdef ENCRYPT_REPLACES_MALLOC
    return true;
#else
    return false;
#endif
}

refusing_allocations::refusing_allocations(std::size_t smallest, std::size_t largest) noexcept {
    smallest_refused = smallest;
    largest_refused = largest;
    refusing = true;
}

refusing_allocations::~refusing_allocations() { refusing = false; }

}  // namespace encrypt::test
