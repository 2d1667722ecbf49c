#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "run_tool.hpp"

namespace encrypt::test {
namespace {

// Quotes one argument so that the C runtime's command-line parser gives it
// back unchanged: backslashes double only where a quote follows them.
std::string quoted(const std::string& argument, bool always = false) {
    if (!always && !argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) {
        return argument;
    }
    std::string result = "\"";
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
        } else if (c == '"') {
            result.append(2 * backslashes + 1, '\\');
            result.push_back('"');
            backslashes = 0;
        } else {
            result.append(backslashes, '\\');
            result.push_back(c);
            backslashes = 0;
        }
    }
    result.append(2 * backslashes, '\\');
    result.push_back('"');
    return result;
}

HANDLE inheritable_temp_file() {
    char directory[MAX_PATH];
    char path[MAX_PATH];
    if (GetTempPathA(MAX_PATH, directory) == 0 ||
        GetTempFileNameA(directory, "enc", 0, path) == 0) {
        throw std::runtime_error("cannot name a capture file");
    }
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        throw std::runtime_error("cannot create a capture file");
    }
    return file;
}

std::string read_all(HANDLE file) {
    std::string text;
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) {
        text.append(chunk, got);
    }
    return text;
}

}  // namespace

std::vector<std::string> launcher() { return {}; }

std::string delivered_argv0(const invocation& call) {
    return call.argv0.empty() ? program_path(call) : call.argv0;
}

std::optional<std::string> empty_argv_unsupported() {
    return "a Windows program builds its arguments from a command line, whose first word "
           "the C runtime always takes as argument 0";
}

outcome run_tool(const invocation& call) {
    if (call.empty_argument_vector) {
        throw std::logic_error("an empty argument vector cannot be made on Windows");
    }
    std::string command_line = quoted(call.argv0.empty() ? program_path(call) : call.argv0);
    for (const auto& argument : call.args) {
        command_line.push_back(' ');
        command_line.append(quoted(argument, call.quote_arguments));
    }
    if (!call.raw_arguments.empty()) {
        command_line += " " + call.raw_arguments;
    }

    // The tool's environment: ours plus the requested variables.
    std::string environment;
    if (!call.environment.empty()) {
        char* block = GetEnvironmentStringsA();
        for (const char* entry = block; *entry != '\0'; entry += std::strlen(entry) + 1) {
            environment.append(entry).push_back('\0');
        }
        FreeEnvironmentStringsA(block);
        for (const auto& entry : call.environment) {
            environment.append(entry).push_back('\0');
        }
        environment.push_back('\0');
    }

    HANDLE in = inheritable_temp_file();
    DWORD put = 0;
    if (!call.input.empty() &&
        (!WriteFile(in, call.input.data(), static_cast<DWORD>(call.input.size()), &put, nullptr) ||
         put != call.input.size())) {
        throw std::runtime_error("cannot write the input file");
    }
    SetFilePointer(in, 0, nullptr, FILE_BEGIN);
    HANDLE out = inheritable_temp_file();
    HANDLE err = inheritable_temp_file();
    HANDLE pipe_read = nullptr;
    HANDLE pipe_write = nullptr;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdError = err;
    switch (call.stdout_to) {
        case output_to::capture:
            startup.hStdOutput = out;
            break;
        case output_to::closed:
            startup.hStdOutput = nullptr;
            break;
        case output_to::broken_pipe: {
            SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
            if (!CreatePipe(&pipe_read, &pipe_write, &inherit, 0)) {
                throw std::runtime_error("CreatePipe failed");
            }
            CloseHandle(pipe_read);
            startup.hStdOutput = pipe_write;
            break;
        }
        case output_to::full_device:
            throw std::logic_error("Windows has no device that is always full");
        case output_to::nonblocking_pipe:
        case output_to::append_file:
            throw std::logic_error("not made on Windows here");
    }

    PROCESS_INFORMATION process = {};
    const std::string application = program_path(call);
    const BOOL started =
        CreateProcessA(application.c_str(), command_line.data(), nullptr, nullptr, TRUE, 0,
                       environment.empty() ? nullptr : environment.data(),
                       call.working_directory.empty() ? nullptr : call.working_directory.c_str(),
                       &startup, &process);
    if (pipe_write != nullptr) {
        CloseHandle(pipe_write);
    }
    if (!started) {
        throw std::runtime_error("CreateProcess failed with error " +
                                 std::to_string(GetLastError()));
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    outcome result;
    result.exit_status = static_cast<int>(status);
    result.out = read_all(out);
    result.err = read_all(err);
    CloseHandle(in);
    CloseHandle(out);
    CloseHandle(err);
    return result;
}

}  // namespace encrypt::test
