#include "large_buffer.hpp"

#include <cstdint>
#include <cstdlib>

#if defined(__linux__)
#  include <sys/mman.h>
#  include <unistd.h>
#  ifndef MADV_POPULATE_WRITE
#    define MADV_POPULATE_WRITE 23  // Linux 5.14; older kernels answer EINVAL
#  endif
#endif

namespace encrypt::detail {

namespace {

// Below this a call to the kernel costs more than the faults it saves.
constexpr std::size_t worth_mapping = std::size_t{64} << 10;

#if defined(__linux__)
// Maps the pages of [data, data + size), page-aligned, in one call, on huge
// pages from 2 MiB on where the kernel has them. Only hints: where they are
// refused, the pages fault in as they are written.
void map_now(void* data, std::size_t size) noexcept {
#  ifdef MADV_HUGEPAGE
    if (size >= (std::size_t{2} << 20)) {
        // First, so that populating maps huge pages.
        (void)madvise(data, size, MADV_HUGEPAGE);
    }
#  endif
    (void)madvise(data, size, MADV_POPULATE_WRITE);
}
#endif

}  // namespace

void map_pages_now(void* data, std::size_t size) noexcept {
#if defined(__linux__)
    // Only the whole pages inside the range: those around it may be in use.
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto begin = (reinterpret_cast<std::uintptr_t>(data) + page - 1) & ~(page - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + size) & ~(page - 1);
    if (end > begin && end - begin >= worth_mapping) {
        map_now(reinterpret_cast<void*>(begin), end - begin);
    }
#else
    (void)data;
    (void)size;
#endif
}

large_buffer::large_buffer(std::size_t size) noexcept : size_(size) {
#if defined(__linux__)
    if (size >= worth_mapping) {
        void* mapped =
            mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED) {
            return;  // the heap would map it too, and be refused alike
        }
        map_now(mapped, size);
        data_ = static_cast<char*>(mapped);
        mapped_ = true;
        return;
    }
#endif
    data_ = static_cast<char*>(std::malloc(size));
}

large_buffer::~large_buffer() {
#if defined(__linux__)
    if (mapped_) {
        munmap(data_, size_);
        return;
    }
#endif
    std::free(data_);
}

}  // namespace encrypt::detail
