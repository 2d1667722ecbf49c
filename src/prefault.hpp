// Internal to the library and the commands.
#ifndef ENCRYPT_SRC_PREFAULT_HPP
#define ENCRYPT_SRC_PREFAULT_HPP

#include <cstddef>

namespace encrypt::detail {

// Has the system map the whole pages of [block, block + size) ahead of
// writing all of them, where that pays: for a block of fresh, untouched pages
// of at least 128 KiB. Only a hint: where the system cannot, the pages fault
// in as they are written.
void prefault_for_writing(void* block, std::size_t size) noexcept;

}  // namespace encrypt::detail

#endif  // ENCRYPT_SRC_PREFAULT_HPP
