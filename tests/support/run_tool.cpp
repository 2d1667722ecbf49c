// What running a command means on every platform; the rest is in
// run_tool_posix.cpp and run_tool_windows.cpp.
#include "run_tool.hpp"

namespace encrypt::test {

std::string tool_path() { return ENCRYPT_TOOL_PATH; }

std::string program_path(const invocation& call) {
    return call.program.empty() ? tool_path() : call.program;
}

}  // namespace encrypt::test
