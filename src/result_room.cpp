#include "result_room.hpp"

#include <cstdlib>

#if defined(__linux__)
#  include <sys/mman.h>
#endif

namespace encrypt::detail {
namespace {

#if defined(__linux__)
// From here on a room is mapped on its own: below it, a call to the kernel
// costs more than the faults it saves.
constexpr std::size_t own_mapping_from = std::size_t{64} << 10;
constexpr std::size_t huge_page = std::size_t{2} << 20;
#  ifdef MADV_POPULATE_WRITE
constexpr int populate_write = MADV_POPULATE_WRITE;
#  else
constexpr int populate_write = 23;  // Linux 5.14; older kernels answer EINVAL
#  endif

// A mapping of `size` bytes with every page mapped, or null. The advice is
// only a hint: where it is refused, the pages fault in as they are written.
char* mapped_room(std::size_t size) noexcept {
    void* mapped = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) {
        return nullptr;
    }
#  ifdef MADV_HUGEPAGE
    if (size >= huge_page) {
        (void)madvise(mapped, size, MADV_HUGEPAGE);  // first, so that populating maps huge pages
    }
#  endif
    (void)madvise(mapped, size, populate_write);
    return static_cast<char*>(mapped);
}
#endif

}  // namespace

result_room::result_room(std::size_t size) noexcept : size_(size) {
    if (size <= sizeof inline_) {
        data_ = inline_;
        return;
    }
#if defined(__linux__)
    if (size >= own_mapping_from) {
        data_ = mapped_room(size);
        mapped_ = data_ != nullptr;
        if (mapped_) {
            return;
        }
    }
#endif
    data_ = static_cast<char*>(std::malloc(size));
}

result_room::~result_room() {
#if defined(__linux__)
    if (mapped_) {
        munmap(data_, size_);
        return;
    }
#endif
    if (data_ != inline_) {
        std::free(data_);
    }
}

}  // namespace encrypt::detail
