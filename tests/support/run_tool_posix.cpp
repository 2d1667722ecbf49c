#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>

#include "run_tool.hpp"

extern char** environ;

namespace encrypt::test {
namespace {

std::vector<std::string> words_of(const char* text) {
    std::vector<std::string> words;
    std::istringstream in(text != nullptr ? text : "");
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    return words;
}

// The emulator the build says the tool needs (qemu-i386 for a 32-bit build).
std::vector<std::string> emulator() { return words_of(ENCRYPT_TOOL_EMULATOR); }

bool is_qemu(const std::vector<std::string>& command) {
    return !command.empty() && command.front().find("qemu-") != std::string::npos;
}

// A wrapper for this run, such as valgrind, named by the environment.
std::vector<std::string> wrapper() { return words_of(std::getenv("ENCRYPT_TEST_WRAPPER")); }

void check(int result, const char* what) {
    if (result != 0) {
        throw std::runtime_error(std::string(what) + ": " + std::strerror(result));
    }
}

std::string read_all(std::FILE* file) {
    std::string text;
    std::rewind(file);
    char chunk[65536];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
        text.append(chunk, got);
    }
    return text;
}

}  // namespace

std::vector<std::string> launcher() {
    auto command = emulator();
    for (auto& word : wrapper()) {
        command.push_back(word);
    }
    return command;
}

std::string delivered_argv0(const invocation& call) {
    if (call.argv0.empty() || !wrapper().empty()) {
        return program_path(call);
    }
    return call.argv0;
}

std::optional<std::string> empty_argv_unsupported() {
    if (!launcher().empty()) {
        return "the tool runs behind " + launcher().front() +
               ", which always hands it an argument 0";
    }
    return std::nullopt;
}

outcome run_tool(const invocation& call) {
    // The tool's command line: launchers first, then the tool and its arguments.
    std::vector<std::string> command = emulator();
    std::vector<std::string> tool_env = call.environment;
    const bool qemu = is_qemu(command);
    if (qemu && !call.argv0.empty()) {
        command.insert(command.end(), {"-0", call.argv0});
    }
    if (qemu && !tool_env.empty()) {
        // Variables for the emulated program, not for qemu itself.
        std::string list;
        for (const auto& entry : tool_env) {
            list += (list.empty() ? "" : ",") + entry;
        }
        tool_env = {"QEMU_SET_ENV=" + list};
    }
    for (auto& word : wrapper()) {
        command.push_back(word);
    }
    const bool launched = !command.empty();
    const std::string path = launched ? command.front() : program_path(call);
    if (launched) {
        command.push_back(program_path(call));
    } else if (!call.empty_argument_vector) {
        command.push_back(call.argv0.empty() ? program_path(call) : call.argv0);
    }
    if (call.empty_argument_vector && launched) {
        throw std::logic_error("an empty argument vector cannot pass a launcher");
    }
    if (!call.empty_argument_vector) {
        command.insert(command.end(), call.args.begin(), call.args.end());
    }

    std::vector<char*> argv;
    for (auto& word : command) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    std::vector<std::string> env_storage;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        env_storage.emplace_back(*entry);
    }
    env_storage.insert(env_storage.end(), tool_env.begin(), tool_env.end());
    std::vector<char*> envp;
    for (auto& entry : env_storage) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);

    std::FILE* in = std::tmpfile();
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    if (in == nullptr || out == nullptr || err == nullptr) {
        throw std::runtime_error("cannot create capture files");
    }
    if (std::fwrite(call.input.data(), 1, call.input.size(), in) != call.input.size() ||
        std::fflush(in) != 0) {
        throw std::runtime_error("cannot write the input file");
    }
    std::rewind(in);
    int pipe_ends[2] = {-1, -1};

    posix_spawn_file_actions_t actions;
    check(posix_spawn_file_actions_init(&actions), "posix_spawn_file_actions_init");
    check(posix_spawn_file_actions_adddup2(&actions, fileno(in), 0), "stdin");
    switch (call.stdout_to) {
        case output_to::capture:
            check(posix_spawn_file_actions_adddup2(&actions, fileno(out), 1), "stdout");
            break;
        case output_to::full_device:
            check(posix_spawn_file_actions_addopen(&actions, 1, "/dev/full", O_WRONLY, 0),
                  "stdout");
            break;
        case output_to::closed:
            check(posix_spawn_file_actions_addclose(&actions, 1), "stdout");
            break;
        case output_to::broken_pipe:
            if (pipe(pipe_ends) != 0) {
                throw std::runtime_error("pipe failed");
            }
            close(pipe_ends[0]);
            pipe_ends[0] = -1;
            check(posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], 1), "stdout");
            break;
        case output_to::append_file:
            check(posix_spawn_file_actions_addopen(&actions, 1, call.append_to.c_str(),
                                                   O_WRONLY | O_APPEND, 0),
                  "stdout");
            break;
        case output_to::nonblocking_pipe:
            if (pipe(pipe_ends) != 0 ||
                fcntl(pipe_ends[1], F_SETFL, fcntl(pipe_ends[1], F_GETFL) | O_NONBLOCK) != 0) {
                throw std::runtime_error("cannot make a non-blocking pipe");
            }
            check(posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], 1), "stdout");
            check(posix_spawn_file_actions_addclose(&actions, pipe_ends[0]), "pipe");
            break;
    }
    check(posix_spawn_file_actions_adddup2(&actions, fileno(err), 2), "stderr");
    if (!call.working_directory.empty()) {
        check(posix_spawn_file_actions_addchdir_np(&actions, call.working_directory.c_str()),
              "chdir");
    }

    // The tool must meet SIGPIPE at its default action, whatever ours is.
    posix_spawnattr_t attributes;
    check(posix_spawnattr_init(&attributes), "posix_spawnattr_init");
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    check(posix_spawnattr_setsigdefault(&attributes, &defaults), "setsigdefault");
    check(posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF), "setflags");

    pid_t child = 0;
    const int spawned =
        posix_spawnp(&child, path.c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (pipe_ends[1] >= 0) {
        close(pipe_ends[1]);
    }
    check(spawned, "posix_spawn");

    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            throw std::runtime_error("waitpid failed");
        }
    }
    outcome result;
    if (WIFEXITED(status)) {
        result.exit_status = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    if (pipe_ends[0] >= 0) {
        char chunk[65536];
        for (ssize_t got; (got = read(pipe_ends[0], chunk, sizeof chunk)) > 0;) {
            result.out.append(chunk, static_cast<std::size_t>(got));
        }
        close(pipe_ends[0]);
    } else {
        result.out = read_all(out);
    }
    result.err = read_all(err);
    std::fclose(in);
    std::fclose(out);
    std::fclose(err);
    return result;
}

}  // namespace encrypt::test
