// Internal to the library and the command.
//
// A fresh large block from the heap is mapped lazily: the first write to each
// page traps into the kernel. For blocks we are about to fill completely it is
// several times cheaper to have the kernel map all their pages in one call,
// and cheaper again to map the 2 MiB stretches inside them as huge pages: one
// fault and one table entry per 512 pages. Both only cover memory we write at
// once, so neither makes the process hold more than it would anyway.
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

// The huge page size of x86 and of most 64-bit Linux targets; on others the
// kernel simply finds no whole huge page in the range.
inline constexpr std::uintptr_t huge_page = std::uintptr_t{2} * 1024 * 1024;

#if defined(__linux__)
// Advice for the whole pages of `alignment` inside [start, end); failures are
// ignored, because the pages fault in as they are written all the same.
inline void advise_inside(std::uintptr_t start, std::uintptr_t end, std::uintptr_t alignment,
                          int advice) noexcept {
    const std::uintptr_t first = (start + alignment - 1) & ~(alignment - 1);
    const std::uintptr_t last = end & ~(alignment - 1);
    if (last > first) {
        (void)madvise(reinterpret_cast<void*>(first), last - first, advice);
    }
}
#endif

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
    const std::uintptr_t end = start + size;
#  if defined(MADV_HUGEPAGE)
    // Asked first, so that populating maps the huge pages directly.
    advise_inside(start, end, huge_page, MADV_HUGEPAGE);
#  endif
    advise_inside(start, end, page, MADV_POPULATE_WRITE);
#else
    (void)block;
    (void)size;
#endif
}

}  // namespace encrypt::detail

#endif  // ENCRYPT_SRC_PREFAULT_HPP
