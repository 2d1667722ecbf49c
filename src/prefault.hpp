// Internal to the library and the command.
//
// A fresh large block from the heap is mapped lazily: the first write to each
// page traps into the kernel. For blocks we are about to fill completely it is
// several times cheaper to have the kernel map all their pages in one call.
#ifndef ENCRYPT_SRC_PREFAULT_HPP
#define ENCRYPT_SRC_PREFAULT_HPP

#include <cstddef>
#include <cstdint>

#if defined(__linux__)
#  include <sys/mman.h>
#  include <unistd.h>
#endif

namespace encrypt::detail {

// Below this a block most likely comes from memory the heap already has.
inline constexpr std::size_t prefault_threshold = std::size_t{128} * 1024;

// Maps the whole pages inside [block, block + size) ahead of writing them.
// Only a hint: where the system cannot, the pages fault in as they are written.
inline void prefault_for_writing(void* block, std::size_t size) noexcept {
#if defined(__linux__)
#  ifndef MADV_POPULATE_WRITE
#    define MADV_POPULATE_WRITE 23  // Linux 5.14; older kernels answer EINVAL
#  endif
    if (size < prefault_threshold) {
        return;
    }
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t first = (start + page - 1) & ~(page - 1);
    const std::uintptr_t last = (start + size) & ~(page - 1);
    if (last > first) {
        (void)madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE);
    }
#else
    (void)block;
    (void)size;
#endif
}

}  // namespace encrypt::detail

#endif  // ENCRYPT_SRC_PREFAULT_HPP
