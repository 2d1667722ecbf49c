// Runs the encrypt command as a child process and collects what it did.
#ifndef ENCRYPT_TESTS_RUN_TOOL_HPP
#define ENCRYPT_TESTS_RUN_TOOL_HPP

#include <optional>
#include <string>
#include <vector>

namespace encrypt::test {

enum class output_to {
    capture,      // a file the test reads back
    full_device,  // a device on which every write fails for lack of space
    closed,       // no standard output at all
    broken_pipe,  // a pipe whose reading end is already closed
    // A non-blocking pipe that nobody reads until the program has ended:
    // writes past its capacity fail with EAGAIN (POSIX only).
    nonblocking_pipe,
    append_file,  // the file named by invocation::append_to, opened to append (POSIX only)
};

struct invocation {
    // The program to run; the encrypt command when empty.
    std::string program;
    // Argument 0; the program's path when empty.
    std::string argv0;
    std::vector<std::string> args;
    // Start the tool with an argument vector holding nothing at all.
    bool empty_argument_vector = false;
    output_to stdout_to = output_to::capture;
    // NAME=VALUE pairs added to the tool's environment.
    std::vector<std::string> environment;
    // Where the tool starts; the test's own directory when empty.
    std::string working_directory;
    // What the program reads on standard input (from a file).
    std::string input;
    // The file for output_to::append_file.
    std::string append_to;
    // Windows: put every argument in double quotes on the command line, which
    // keeps a wildcard from being expanded (POSIX passes arguments as they are).
    bool quote_arguments = false;
    // Windows: the command line after the program, as it is, instead of args.
    std::string raw_arguments;
};

struct outcome {
    std::optional<int> exit_status;  // set when the tool exited
    std::optional<int> signal;       // set when a signal ended it
    std::string out;
    std::string err;
};

outcome run_tool(const invocation& call);

// The argument 0 the tool really sees for `call`: a launcher such as
// valgrind may put the tool's path there instead.
std::string delivered_argv0(const invocation& call);

// Why the tool cannot be started with an empty argument vector here, or
// nothing when it can.
std::optional<std::string> empty_argv_unsupported();

// Something in front of the tool (an emulator, valgrind) that the tests
// must allow for; empty when the tool runs directly.
std::vector<std::string> launcher();

// The path of the encrypt command under test.
std::string tool_path();

// The path of the program that `call` runs.
std::string program_path(const invocation& call);

}  // namespace encrypt::test

#endif  // ENCRYPT_TESTS_RUN_TOOL_HPP
