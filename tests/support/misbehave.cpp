// Preloaded into a command under test: system calls that misbehave on
// request, as a loaded system, a signal or a failing disk makes them.
//   ENCRYPT_TEST_MISBEHAVE=one-byte-writes   write() to standard output takes one byte
//   ENCRYPT_TEST_MISBEHAVE=half-writes       ... takes half of what was asked (at least one)
//   ENCRYPT_TEST_MISBEHAVE=interrupted-writes  every write() to it first fails with EINTR
//   ENCRYPT_TEST_MISBEHAVE=failing-close     close() of standard output fails with EIO
//   ENCRYPT_TEST_MISBEHAVE=failing-read:N    a read() of a file (not standard input)
//                                            fails with EIO, once, after N bytes
// Only a program whose name starts with "encrypt" misbehaves, so that a
// launcher in front of it (valgrind) runs undisturbed. At exit it writes
// "misbehave: WHAT DONE" to standard error, so that a test can tell it was
// active.
#include <errno.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>

extern "C" {

extern char* program_invocation_short_name;

namespace {

enum class fault {
    none,
    one_byte_writes,
    half_writes,
    interrupted_writes,
    failing_close,
    failing_read
};

fault chosen = fault::none;
std::size_t read_budget = 0;  // bytes a file gives before its read fails
bool read_failed = false;
bool just_interrupted = false;  // the write being retried failed once already
unsigned long short_writes = 0;
unsigned long interrupted = 0;
bool close_failed = false;

long real_write(int fd, const void* data, std::size_t size) {
    return syscall(SYS_write, fd, data, size);
}

// Counting without the C library's formatting, which may allocate or write.
void append_number(char* text, unsigned long n) {
    char digits[24];
    int length = 0;
    do {
        digits[length++] = static_cast<char>('0' + n % 10);
        n /= 10;
    } while (n > 0);
    text += std::strlen(text);
    while (length > 0) {
        *text++ = digits[--length];
    }
    *text = '\0';
}

__attribute__((constructor)) void choose() {
    const char* setting = std::getenv("ENCRYPT_TEST_MISBEHAVE");
    if (setting == nullptr || std::strncmp(program_invocation_short_name, "encrypt", 7) != 0) {
        return;
    }
    const struct {
        const char* name;
        fault which;
    } names[] = {
        {"one-byte-writes", fault::one_byte_writes},
        {"half-writes", fault::half_writes},
        {"interrupted-writes", fault::interrupted_writes},
        {"failing-close", fault::failing_close},
        {"failing-read:", fault::failing_read},
    };
    for (const auto& name : names) {
        const std::size_t length = std::strlen(name.name);
        if (std::strncmp(setting, name.name, length) == 0) {
            chosen = name.which;
            for (const char* digit = setting + length; *digit >= '0' && *digit <= '9'; ++digit) {
                read_budget = read_budget * 10 + static_cast<std::size_t>(*digit - '0');
            }
        }
    }
}

__attribute__((destructor)) void report() {
    char message[160] = "misbehave: ";
    switch (chosen) {
        case fault::none:
            return;
        case fault::one_byte_writes:
        case fault::half_writes:
            append_number(message, short_writes);
            std::strcat(message, " short writes");
            break;
        case fault::interrupted_writes:
            append_number(message, interrupted);
            std::strcat(message, " interrupted writes");
            break;
        case fault::failing_close:
            std::strcat(message, close_failed ? "close failed" : "no close");
            break;
        case fault::failing_read:
            std::strcat(message, read_failed ? "read failed" : "no read failed");
            break;
    }
    std::strcat(message, "\n");
    (void)real_write(STDERR_FILENO, message, std::strlen(message));
}

}  // namespace

__attribute__((visibility("default"))) ssize_t write(int fd, const void* data, std::size_t size) {
    if (fd == STDOUT_FILENO && size > 0) {
        if (chosen == fault::interrupted_writes) {
            just_interrupted = !just_interrupted;
            if (just_interrupted) {
                ++interrupted;
                errno = EINTR;
                return -1;
            }
        } else if (chosen == fault::one_byte_writes || chosen == fault::half_writes) {
            const std::size_t taken = chosen == fault::one_byte_writes || size < 2 ? 1 : size / 2;
            if (taken < size) {
                ++short_writes;
            }
            size = taken;
        }
    }
    return real_write(fd, data, size);
}

__attribute__((visibility("default"))) int close(int fd) {
    const int result = static_cast<int>(syscall(SYS_close, fd));
    if (fd == STDOUT_FILENO && chosen == fault::failing_close && result == 0) {
        close_failed = true;
        errno = EIO;
        return -1;
    }
    return result;
}

__attribute__((visibility("default"))) ssize_t read(int fd, void* data, std::size_t size) {
    if (fd > STDERR_FILENO && chosen == fault::failing_read && !read_failed) {
        if (read_budget == 0) {
            read_failed = true;
            errno = EIO;
            return -1;
        }
        size = size < read_budget ? size : read_budget;
        const long got = syscall(SYS_read, fd, data, size);
        if (got > 0) {
            read_budget -= static_cast<std::size_t>(got);
        }
        return got;
    }
    return syscall(SYS_read, fd, data, size);
}

}  // extern "C"
