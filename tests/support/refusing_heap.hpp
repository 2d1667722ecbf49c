// Running a command under a heap that refuses on demand: a preloaded malloc
// (refuse_malloc.cpp) refuses requests by size or by turn, and reports at
// exit any block that never came back.
#ifndef ENCRYPT_TESTS_REFUSING_HEAP_HPP
#define ENCRYPT_TESTS_REFUSING_HEAP_HPP

#include <cstdlib>
#include <optional>
#include <string>

#include "run_tool.hpp"

namespace encrypt::test {

// Why the heap cannot be made to refuse here, or nothing when it can.
inline std::optional<std::string> heap_refusal_unsupported() {
#if !defined(ENCRYPT_REFUSE_MALLOC_LIBRARY)
    return "no way to interpose the heap on this platform";
#elif defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return "the sanitizer runtime owns malloc and cannot be interposed";
#else
#  if defined(__has_feature)
#    if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
    return "the sanitizer runtime owns malloc and cannot be interposed";
#    endif
#  endif
    if (std::getenv("ENCRYPT_TEST_WRAPPER") != nullptr) {
        return "the wrapper would start under the refusing heap and replaces malloc itself";
    }
    return std::nullopt;
#endif
}

// Runs `call` with the refusing heap set by `setting` (NAME=VALUE).
inline outcome run_with_heap(invocation call, const std::string& setting) {
#if defined(ENCRYPT_REFUSE_MALLOC_LIBRARY)
    call.environment = {"LD_PRELOAD=" ENCRYPT_REFUSE_MALLOC_LIBRARY, setting};
#else
    (void)setting;
#endif
    return run_tool(call);
}

}  // namespace encrypt::test

#endif  // ENCRYPT_TESTS_REFUSING_HEAP_HPP
