#include "large_buffer.hpp"

#include <cstdlib>

#if defined(__linux__)
#  include <sys/mman.h>
#  ifndef MADV_POPULATE_WRITE
#    define MADV_POPULATE_WRITE 23  // Linux 5.14; older kernels answer EINVAL
#  endif
#endif

namespace encrypt::detail {

large_buffer::large_buffer(std::size_t size) noexcept : size_(size) {
#if defined(__linux__)
    // From 64 KiB on: below that, a call to the kernel costs more than the
    // faults it saves. The advice is only a hint; where it is refused, the
    // pages fault in as they are written.
    if (size >= (std::size_t{64} << 10)) {
        void* mapped =
            mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED) {
            return;  // the heap would map it too, and be refused alike
        }
#  ifdef MADV_HUGEPAGE
        if (size >= (std::size_t{2} << 20)) {
            // First, so that populating maps huge pages.
            (void)madvise(mapped, size, MADV_HUGEPAGE);
        }
#  endif
        (void)madvise(mapped, size, MADV_POPULATE_WRITE);
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
