// A fresh large block from the heap is mapped lazily: the first write to each
// page traps into the kernel. For blocks about to be filled completely it is
// several times cheaper to have the kernel map all their pages in one call,
// and cheaper again to map their 2 MiB stretches as huge pages: one fault and
// one table entry per 512 pages. Both cover only memory written at once, so
// neither makes the process hold more than it would anyway.
//
// Memory the heap has mapped already is left alone: asking the kernel about
// every page of it again costs more than the whole fill of a block that fits
// in the caches.
#include "prefault.hpp"

#include <cstdint>

#if defined(__linux__)
#  include <sys/mman.h>
#  include <unistd.h>
#endif

namespace encrypt::detail {
namespace {

// Below this a block most likely comes from memory the heap already has.
constexpr std::size_t prefault_threshold = std::size_t{128} * 1024;

#if defined(__linux__)
#  ifdef MADV_POPULATE_WRITE
constexpr int populate_write = MADV_POPULATE_WRITE;
#  else
constexpr int populate_write = 23;  // Linux 5.14; older kernels answer EINVAL
#  endif

// glibc's malloc gives every block from this size on a mapping of its own,
// which free() returns to the system, so advice given to it ends with the
// block. A smaller block may lie in the heap, whose pages keep any advice for
// whatever the heap places there next.
constexpr std::size_t own_mapping_size = std::size_t{32} << 20;

// The huge page size of x86 and of most 64-bit Linux targets; on others the
// kernel simply finds no whole huge page in the range.
constexpr std::uintptr_t huge_page = std::uintptr_t{2} << 20;

// Advice for the whole pages of `alignment` inside [start, end); failures are
// ignored, because the pages fault in as they are written all the same.
void advise_inside(std::uintptr_t start, std::uintptr_t end, std::uintptr_t alignment,
                   int advice) noexcept {
    const std::uintptr_t first = (start + alignment - 1) & ~(alignment - 1);
    const std::uintptr_t last = end & ~(alignment - 1);
    if (last > first) {
        (void)madvise(reinterpret_cast<void*>(first), last - first, advice);
    }
}

// Whether the page in the middle of the block has never been touched: the
// heap hands out either fresh pages or pages it has used before, and a fresh
// block has no page mapped yet.
bool untouched(std::uintptr_t start, std::size_t size, std::uintptr_t page) noexcept {
    unsigned char resident = 0;
    const std::uintptr_t middle = (start + size / 2) & ~(page - 1);
    return mincore(reinterpret_cast<void*>(middle), page, &resident) == 0 && (resident & 1) == 0;
}
#endif

}  // namespace

void prefault_for_writing(void* block, std::size_t size) noexcept {
#if defined(__linux__)
    if (size < prefault_threshold) {
        return;
    }
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<std::uintptr_t>(block);
    if (!untouched(start, size, page)) {
        return;
    }
    const std::uintptr_t end = start + size;
#  if defined(MADV_HUGEPAGE)
    if (size >= own_mapping_size) {
        // Asked first, so that populating maps the huge pages directly.
        advise_inside(start, end, huge_page, MADV_HUGEPAGE);
    }
#  endif
    advise_inside(start, end, page, populate_write);
#else
    (void)block;
    (void)size;
#endif
}

}  // namespace encrypt::detail
