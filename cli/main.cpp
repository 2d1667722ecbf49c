// The encrypt command: encrypts its one argument and prints the words in hex.
#include <encrypt/encryption.hpp>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "prefault.hpp"
#include "result_line.hpp"

#ifdef _WIN32
// Expand unquoted wildcards in the arguments at start-up, as the runtime the
// tool was written for does; the mingw-w64 runtime reads this flag.
extern "C" {
int _dowildcard = -1;
}
#endif

namespace {

constexpr const char* program_name = "encrypt";

void report(const char* message, int error) {
    if (error != 0) {
        std::fprintf(stderr, "%s: %s: %s\n", program_name, message, std::strerror(error));
    } else {
        std::fprintf(stderr, "%s: %s\n", program_name, message);
    }
}

// Closes standard output so that a failure of the last flush (a full disk, a
// closed descriptor) is seen as well as any earlier one. Returns the exit
// status to end with: a result that never arrived is no success.
int close_stdout(int status) {
    const bool failed_before = std::ferror(stdout) != 0;
    const int error_before = errno;
    if (std::fclose(stdout) != 0 || failed_before) {
        report("write error", failed_before ? error_before : errno);
        return EXIT_FAILURE;
    }
    return status;
}

int usage(const char* invoked_as) {
    // An empty argument vector leaves no name to show; the command's own stands in.
    const char* name = (invoked_as != nullptr && invoked_as[0] != '\0') ? invoked_as : program_name;
    errno = 0;
    std::fputs("Usage: ", stdout);
    std::fputs(name, stdout);
    std::fputs(" <text to encrypt>\n", stdout);
    return close_stdout(EXIT_FAILURE);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return usage(argc > 0 ? argv[0] : nullptr);
    }
    const char* text = argv[1];
    const std::size_t length = std::strlen(text);
    if (length != static_cast<std::uint32_t>(length)) {
        report("argument too long", 0);
        return EXIT_FAILURE;
    }
    const auto n = static_cast<std::uint32_t>(length);
    const std::uint32_t count = n / 2 + (n & 1u);

    std::uint32_t* words = encrypt::_encryption(text, n);
    const std::size_t capacity = encrypt::cli::result_line_capacity(count);
    char* line = capacity != 0 ? static_cast<char*>(std::malloc(capacity)) : nullptr;
    if ((count != 0 && words == nullptr) || line == nullptr) {
        std::free(line);
        std::free(words);
        report("memory exhausted", 0);
        return EXIT_FAILURE;
    }
    encrypt::detail::prefault_for_writing(line, capacity);
    const std::size_t size = encrypt::cli::format_result_line(line, words, count);
    std::free(words);
    errno = 0;
    std::fwrite(line, 1, size, stdout);
    const int status = close_stdout(EXIT_SUCCESS);
    std::free(line);
    return status;
}
