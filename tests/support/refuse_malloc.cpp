// Preloaded into the tool to make the heap refuse every request larger than
// ENCRYPT_TEST_MALLOC_LIMIT bytes, as a heap that has run out would.
#include <cerrno>
#include <cstddef>
#include <cstdlib>

extern "C" {

void* __libc_malloc(std::size_t size);

namespace {

std::size_t limit() {
    // No strtoul here: nothing that might allocate may run inside malloc.
    const char* text = std::getenv("ENCRYPT_TEST_MALLOC_LIMIT");
    if (text == nullptr) {
        return static_cast<std::size_t>(-1);
    }
    std::size_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + static_cast<std::size_t>(*text - '0');
    }
    return value;
}

}  // namespace

__attribute__((visibility("default"))) void* malloc(std::size_t size) {
    if (size > limit()) {
        errno = ENOMEM;
        return nullptr;
    }
    return __libc_malloc(size);
}

}  // extern "C"
