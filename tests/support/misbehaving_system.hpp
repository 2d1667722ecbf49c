// Running a command whose system calls misbehave on request: a preloaded
// library (misbehave.cpp) shortens or interrupts writes to standard output,
// fails its close, or fails a read of a file, and reports at exit what it did.
#ifndef ENCRYPT_TESTS_MISBEHAVING_SYSTEM_HPP
#define ENCRYPT_TESTS_MISBEHAVING_SYSTEM_HPP

#include <optional>
#include <string>

#include "run_tool.hpp"

namespace encrypt::test {

// Why the system calls cannot be made to misbehave here, or nothing when they can.
inline std::optional<std::string> misbehaviour_unsupported() {
#if defined(ENCRYPT_MISBEHAVE_LIBRARY)
    return std::nullopt;
#else
    return "no preloading here: the system calls cannot be made to misbehave";
#endif
}

// Runs `call` with the misbehaviour `setting` (see misbehave.cpp), and takes
// the library's report off the end of standard error into `report`.
inline outcome run_misbehaving(invocation call, const std::string& setting, std::string& report) {
#if defined(ENCRYPT_MISBEHAVE_LIBRARY)
    call.environment = {"LD_PRELOAD=" ENCRYPT_MISBEHAVE_LIBRARY,
                        "ENCRYPT_TEST_MISBEHAVE=" + setting};
#else
    (void)setting;
#endif
    outcome got = run_tool(call);
    const std::size_t at = got.err.rfind("misbehave: ");
    report = at == std::string::npos ? "" : got.err.substr(at);
    got.err.erase(at == std::string::npos ? got.err.size() : at);
    return got;
}

}  // namespace encrypt::test

#endif  // ENCRYPT_TESTS_MISBEHAVING_SYSTEM_HPP
