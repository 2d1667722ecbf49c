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

}  // namespace encrypt::cli
