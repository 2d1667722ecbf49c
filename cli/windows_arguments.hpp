// Internal to the commands: the argument vector on Windows.
#ifndef ENCRYPT_CLI_WINDOWS_ARGUMENTS_HPP
#define ENCRYPT_CLI_WINDOWS_ARGUMENTS_HPP

namespace encrypt::cli {

// Builds the arguments from the process's command line the way the start-up
// code of the 32-bit Windows console runtime that the tool targets does:
// split at blanks and tabs outside double quotes, backslashes doubled before
// a quote, and every unquoted argument holding '*' or '?' replaced by the
// names of the matching files, sorted without regard to case (a pattern
// that matches nothing stays as it is). mingw-w64's start-up leaves the
// expansion to the C runtime it runs on, and wine's expands quoted patterns
// too, so the commands do it themselves. On success `argc` and `argv` hold
// the new vector, which lives until the process ends; false when the heap
// refuses the memory.
bool windows_arguments(int& argc, char**& argv) noexcept;

}  // namespace encrypt::cli

#endif  // ENCRYPT_CLI_WINDOWS_ARGUMENTS_HPP
