// Internal to the commands and the Python module: a buffer for a result
// that is about to be written whole, and encrypt-lines' buffers.
#ifndef ENCRYPT_SRC_LARGE_BUFFER_HPP
#define ENCRYPT_SRC_LARGE_BUFFER_HPP

#include <cstddef>

namespace encrypt::detail {

// A fresh block is mapped lazily: the first store to each of its pages traps
// into the kernel, which on a virtual machine can take longer than writing
// the page. A large buffer is a mapping of its own, which the kernel maps in
// one call (on huge pages from 2 MiB on, where it has them), and returns to
// the system when the buffer goes; a small one comes from the heap, which
// most likely has its pages mapped already.
class large_buffer {
public:
    explicit large_buffer(std::size_t size) noexcept;
    ~large_buffer();
    large_buffer(const large_buffer&) = delete;
    large_buffer& operator=(const large_buffer&) = delete;

    // Null when the memory cannot be had.
    char* data() const noexcept { return data_; }

private:
    char* data_ = nullptr;
    std::size_t size_;
    bool mapped_ = false;
};

// Maps the whole pages of memory the caller has just been given (a Python
// bytes object's, say) in one call, as a large_buffer is, before it is
// written whole.
void map_pages_now(void* data, std::size_t size) noexcept;

}  // namespace encrypt::detail

#endif  // ENCRYPT_SRC_LARGE_BUFFER_HPP
