// Standard output and diagnostics, shared by the commands, and the thread
// that writes standard output for encrypt-lines.
#ifndef ENCRYPT_CLI_OUTPUT_HPP
#define ENCRYPT_CLI_OUTPUT_HPP

#include <cstddef>
#include <string_view>

#include <pthread.h>

namespace encrypt::cli {

// Writes "PROGRAM: MESSAGE" to standard error, then ": " and the text of
// `error` unless it is 0, then a line feed.
void report(const char* program, const char* message, int error = 0) noexcept;

// Standard output. On POSIX systems it is written without a stdio buffer in
// between, so that a block handed to write() leaves in one system call
// wherever the system takes it whole (a file, or a pipe with space for it); a
// pipe that takes part of it gets the rest in further calls. On Windows it
// goes through the C runtime's stream, which turns line feeds into CR LF.
struct standard_output {
    // The errno of the first write that failed; every write after it is
    // skipped, since nothing after a lost block can be trusted.
    int error = 0;

    void write(const char* data, std::size_t size) noexcept;
    void write(std::string_view text) noexcept { write(text.data(), text.size()); }

    // Closes standard output, so that a failure that only the close reveals
    // (a full disk on some file systems) is seen too, the way coreutils'
    // close_stdout does. Returns `status`, or EXIT_FAILURE after reporting
    // "PROGRAM: write error: REASON" when this or any earlier write failed:
    // a result that never arrived is no success.
    int close(const char* program, int status) noexcept;
};

// Blocks handed over are written to standard output by a second thread,
// while the caller goes on making the next ones in other buffers: on a
// machine with more than one core the stream then takes about as long as
// its writes alone. The caller's buffer and two spares take turns, so that
// two blocks may wait besides the one being written and the writer never
// waits for the caller to wake up. Where no thread can be started (and on
// Windows, where the C runtime's stream keeps the text mode) the blocks are
// written in turn.
//
// From construction to finish() the output is the writer's alone: the
// caller learns of a failed write from put() and drain(), and reads the
// output's error only after finish().
class output_thread {
public:
    static constexpr int spare_buffers = 2;

    // Writes through `out`; `spares` holds spare_buffers buffers, one after
    // another, each as large as the caller's own, `buffer_size` bytes.
    output_thread(standard_output& out, char* spares, std::size_t buffer_size) noexcept;
    ~output_thread() { finish(); }
    output_thread(const output_thread&) = delete;
    output_thread& operator=(const output_thread&) = delete;

    // Takes the `size` bytes at `data` (the caller's buffer, or the last one
    // put() returned) to be written, and returns the buffer to go on in: the
    // next in turn, once it is written, or `data` itself, written already,
    // without a thread. Null once a write has failed: nothing more is
    // written then.
    char* put(char* data, std::size_t size) noexcept;
    // Returns once every block handed over is written (so that a message on
    // standard error follows the lines before it): false if a write failed.
    bool drain() noexcept;
    // Drains and ends the thread; the output is the caller's again.
    void finish() noexcept;

private:
    static constexpr int buffer_count = spare_buffers + 1;

    standard_output& out_;
    bool failed_ = false;  // under lock_ while the thread runs
    static void* run(void* self) noexcept;
    void wait_until_written(unsigned long long count) noexcept;

    char* buffers_[buffer_count] = {};  // taking turns, the caller's first
    std::size_t sizes_[buffer_count] = {};
    // Blocks handed over and blocks written so far; block k is in buffer
    // k % buffer_count.
    unsigned long long handed_ = 0;
    unsigned long long written_ = 0;
    bool stopping_ = false;
    bool started_ = false;
    pthread_t thread_{};
    pthread_mutex_t lock_ = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t changed_ = PTHREAD_COND_INITIALIZER;
};

}  // namespace encrypt::cli

#endif  // ENCRYPT_CLI_OUTPUT_HPP
