// Standard output and diagnostics, shared by the commands.
#ifndef ENCRYPT_CLI_OUTPUT_HPP
#define ENCRYPT_CLI_OUTPUT_HPP

#include <cstddef>
#include <string_view>

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

}  // namespace encrypt::cli

#endif  // ENCRYPT_CLI_OUTPUT_HPP
