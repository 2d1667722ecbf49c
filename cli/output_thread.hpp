// Standard output written by a thread of its own, for encrypt-lines.
#ifndef ENCRYPT_CLI_OUTPUT_THREAD_HPP
#define ENCRYPT_CLI_OUTPUT_THREAD_HPP

#include <cstddef>

#include "output.hpp"

#ifndef _WIN32
#  include <pthread.h>
#endif

namespace encrypt::cli {

// Blocks handed over are written to standard output by a second thread,
// while the caller goes on making the next ones in other buffers: on a
// machine with more than one core the stream then takes about as long as
// its writes alone. Two blocks may wait besides the one being written, so
// that the writer finds the next one ready when it is done with one and
// never waits for the caller to wake up. Where no thread can be started (and
// on Windows, where the C runtime's stream keeps the text mode) the blocks
// are written in turn.
class output_thread {
public:
    // Buffers besides the caller's own, each as large as that one.
    static constexpr int spare_buffers = 2;

    // Writes through `out`; `spares` holds spare_buffers buffers, one after
    // another, each of `buffer_size` bytes.
    output_thread(standard_output& out, char* spares, std::size_t buffer_size) noexcept;
    ~output_thread() { finish(); }
    output_thread(const output_thread&) = delete;
    output_thread& operator=(const output_thread&) = delete;

    // Takes the `size` bytes at `data` to be written and returns the buffer
    // to go on in: another one, while the thread writes `data`, or `data`
    // itself, written already, without a thread. Waits only while every
    // other buffer is still to be written. Null once a write has failed:
    // nothing more is written then.
    char* put(char* data, std::size_t size) noexcept;
    // Whether a write has failed, once every block handed over is written.
    bool failed() noexcept;
    // Returns when every block handed over is written, and ends the thread.
    void finish() noexcept;

private:
    standard_output& out_;
#ifndef _WIN32
    static void* run(void* self) noexcept;
    void wait_until_written() noexcept;

    struct block {
        char* data;
        std::size_t size;
    };
    // The blocks to write, oldest first; the first is being written.
    block queue_[spare_buffers + 1] = {};
    int queued_ = 0;
    // The buffers that neither the caller nor the queue holds.
    char* free_[spare_buffers + 1] = {};
    int free_count_ = 0;
    bool stopping_ = false;
    bool started_ = false;
    pthread_t thread_{};
    pthread_mutex_t lock_ = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t changed_ = PTHREAD_COND_INITIALIZER;
#endif
};

}  // namespace encrypt::cli

#endif  // ENCRYPT_CLI_OUTPUT_THREAD_HPP
