#include "output.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#  include <io.h>
#else
#  include <unistd.h>
#endif

namespace encrypt::cli {

void report(const char* program, const char* message, int error) noexcept {
    if (error != 0) {
        std::fprintf(stderr, "%s: %s: %s\n", program, message, std::strerror(error));
    } else {
        std::fprintf(stderr, "%s: %s\n", program, message);
    }
}

#ifdef _WIN32
// Standard output is in text mode there, and the C runtime's stream turns
// each line feed into CR LF on the way out; writing around it would lose that.
void standard_output::write(const char* data, std::size_t size) noexcept {
    if (error != 0) {
        return;
    }
    errno = 0;
    if (std::fwrite(data, 1, size, stdout) != size || std::fflush(stdout) != 0) {
        error = errno != 0 ? errno : EIO;
    }
}

#else
void standard_output::write(const char* data, std::size_t size) noexcept {
    while (error == 0 && size > 0) {
        const ssize_t written = ::write(STDOUT_FILENO, data, size);
        if (written < 0) {
            if (errno != EINTR) {
                error = errno;
            }
        } else {
            data += written;
            size -= static_cast<std::size_t>(written);
        }
    }
}

#endif

int standard_output::close(const char* program, int status) noexcept {
    errno = 0;
#ifdef _WIN32
    const bool closed = std::fclose(stdout) == 0;
#else
    const bool closed = ::close(STDOUT_FILENO) == 0 || errno == EINTR;
#endif
    if (!closed && error == 0) {
        error = errno != 0 ? errno : EIO;
    }
    if (error != 0) {
        report(program, "write error", error);
        return EXIT_FAILURE;
    }
    return status;
}

output_thread::output_thread(standard_output& out, char* spares, std::size_t buffer_size) noexcept
    : out_(out) {
    for (int i = 0; i < spare_buffers; ++i) {
        buffers_[1 + i] = spares + static_cast<std::size_t>(i) * buffer_size;
    }
// Where the C runtime's stream, in text mode, takes the blocks in turn, and
// in the build that measures what the thread gives (bench/writer_thread.sh),
// no thread is started.
#if !defined(_WIN32) && !defined(ENCRYPT_NO_WRITER_THREAD)
    // The writer needs little stack: a small one keeps the process within
    // the few megabytes it is known for.
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) == 0) {
        (void)pthread_attr_setstacksize(&attributes, std::size_t{256} << 10);
        started_ = pthread_create(&thread_, &attributes, run, this) == 0;
        pthread_attr_destroy(&attributes);
    }
#endif
}

void* output_thread::run(void* self) noexcept {
    auto& writer = *static_cast<output_thread*>(self);
    pthread_mutex_lock(&writer.lock_);
    for (;;) {
        while (writer.written_ == writer.handed_ && !writer.stopping_) {
            pthread_cond_wait(&writer.changed_, &writer.lock_);
        }
        if (writer.written_ == writer.handed_) {
            break;  // stopping, with everything written
        }
        // The block, like the output, is the writer's alone until it counts
        // as written, so it is written without the lock.
        const auto turn = static_cast<int>(writer.written_ % buffer_count);
        pthread_mutex_unlock(&writer.lock_);
        writer.out_.write(writer.buffers_[turn], writer.sizes_[turn]);
        const bool failed = writer.out_.error != 0;
        pthread_mutex_lock(&writer.lock_);
        writer.failed_ = failed;
        ++writer.written_;
        pthread_cond_broadcast(&writer.changed_);
    }
    pthread_mutex_unlock(&writer.lock_);
    return nullptr;
}

void output_thread::wait_until_written(unsigned long long count) noexcept {
    while (written_ < count) {
        pthread_cond_wait(&changed_, &lock_);
    }
}

char* output_thread::put(char* data, std::size_t size) noexcept {
    if (!started_) {
        out_.write(data, size);
        failed_ = out_.error != 0;
        return failed_ ? nullptr : data;
    }
    pthread_mutex_lock(&lock_);
    char* next = nullptr;
    // A failure shows once its block is written; one still being written
    // shows at the next put(), or at drain().
    if (!failed_) {
        const auto turn = static_cast<int>(handed_ % buffer_count);
        buffers_[turn] = data;
        sizes_[turn] = size;
        ++handed_;
        pthread_cond_broadcast(&changed_);
        // The next buffer in turn held the block handed over three turns ago.
        wait_until_written(handed_ + 1 > buffer_count ? handed_ + 1 - buffer_count : 0);
        next = failed_ ? nullptr : buffers_[handed_ % buffer_count];
    }
    pthread_mutex_unlock(&lock_);
    return next;
}

bool output_thread::drain() noexcept {
    if (!started_) {
        return !failed_;
    }
    pthread_mutex_lock(&lock_);
    wait_until_written(handed_);
    const bool written = !failed_;
    pthread_mutex_unlock(&lock_);
    return written;
}

void output_thread::finish() noexcept {
    if (!started_) {
        return;
    }
    pthread_mutex_lock(&lock_);
    wait_until_written(handed_);
    stopping_ = true;
    pthread_cond_broadcast(&changed_);
    pthread_mutex_unlock(&lock_);
    pthread_join(thread_, nullptr);
    started_ = false;
}

}  // namespace encrypt::cli
