// Internal to the library: which instruction sets are built in, and which
// of them this CPU and operating system let us use.
#ifndef ENCRYPT_SRC_CPU_FEATURES_HPP
#define ENCRYPT_SRC_CPU_FEATURES_HPP

#include <cstddef>

// The widest instruction set compiled in, which the ENCRYPT_ISA_CAP build
// option lowers to measure what CPUs without the wider ones run: 0 plain C++,
// 1 AVX2, 2 AVX-512.
#ifndef ENCRYPT_ISA_LEVEL
#  define ENCRYPT_ISA_LEVEL 2
#endif

// The wide code needs GCC or Clang on x86, for target attributes and run-time
// CPU checks.
#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
#  define ENCRYPT_X86_DISPATCH 1
#else
#  define ENCRYPT_X86_DISPATCH 0
#endif
#define ENCRYPT_AVX2 (ENCRYPT_X86_DISPATCH && ENCRYPT_ISA_LEVEL >= 1)
#define ENCRYPT_AVX512 (ENCRYPT_X86_DISPATCH && ENCRYPT_ISA_LEVEL >= 2)

// glibc has asked the CPU already while starting the process, so its answers
// cost nothing. libgcc's own probe asks again with a dozen CPUID
// instructions, each of which traps to the hypervisor on a virtual machine:
// together about as long as a short run of the whole command.
#if ENCRYPT_X86_DISPATCH && defined(__GLIBC__) && defined(__has_include)
#  if __has_include(<sys/platform/x86.h>)
// The header is written for C and GNU C++: in strict C++ Clang knows no
// _Bool, C's name for bool.
#    if defined(__clang__) && !defined(_Bool)
#      define _Bool bool
#      include <sys/platform/x86.h>
#      undef _Bool
#    else
#      include <sys/platform/x86.h>
#    endif
#    define ENCRYPT_CPU_HAS(glibc_name, gcc_name) CPU_FEATURE_ACTIVE(glibc_name)
#  endif
#endif
#if ENCRYPT_X86_DISPATCH && !defined(ENCRYPT_CPU_HAS)
// __builtin_cpu_init() in case we run before libgcc's constructors.
#  define ENCRYPT_CPU_HAS(glibc_name, gcc_name) \
    (__builtin_cpu_init(), __builtin_cpu_supports(gcc_name))
#endif

// GCC 12 warns that the deliberately undefined pass-through vectors inside its
// own AVX-512 intrinsics may be used uninitialized: the code that calls
// them sits between these two.
#if defined(__GNUC__) && !defined(__clang__)
#  define ENCRYPT_AVX512_INTRINSICS_BEGIN                                                \
    _Pragma("GCC diagnostic push") _Pragma("GCC diagnostic ignored \"-Wuninitialized\"") \
        _Pragma("GCC diagnostic ignored \"-Wmaybe-uninitialized\"")
#  define ENCRYPT_AVX512_INTRINSICS_END _Pragma("GCC diagnostic pop")
#else
#  define ENCRYPT_AVX512_INTRINSICS_BEGIN
#  define ENCRYPT_AVX512_INTRINSICS_END
#endif

namespace encrypt::detail {

// The plain implementations run everywhere.
inline bool always_supported() noexcept { return true; }

// The fastest entry this CPU can run of a table of equivalent implementations
// ordered from slowest to fastest, whose first entry runs everywhere.
template <class Implementation>
const Implementation& fastest_supported(const Implementation* table, std::size_t count) noexcept {
    std::size_t best = count - 1;
    while (best > 0 && !table[best].supported()) {
        --best;
    }
    return table[best];
}

}  // namespace encrypt::detail

#endif  // ENCRYPT_SRC_CPU_FEATURES_HPP
