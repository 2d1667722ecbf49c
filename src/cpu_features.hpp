// Internal to the library and the command: which wide instructions this CPU
// and operating system let us use.
#ifndef ENCRYPT_SRC_CPU_FEATURES_HPP
#define ENCRYPT_SRC_CPU_FEATURES_HPP

#include <cstddef>

#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
#  define ENCRYPT_X86_DISPATCH 1
#  if defined(__GLIBC__) && defined(__has_include)
#    if __has_include(<sys/platform/x86.h>)
#      include <sys/platform/x86.h>
#      define ENCRYPT_GLIBC_CPU_FEATURES 1
#    endif
#  endif
#else
#  define ENCRYPT_X86_DISPATCH 0
#endif

// The widest instruction set compiled in, which the ENCRYPT_ISA_CAP build
// option lowers to measure what CPUs without the wider ones run: 0 plain C++,
// 1 SSE2, 2 AVX2, 3 AVX-512.
#ifndef ENCRYPT_ISA_LEVEL
#  define ENCRYPT_ISA_LEVEL 3
#endif

namespace encrypt::detail {

enum class cpu_feature { avx2, avx512f, avx512bw, avx512vl, avx512cd, avx512vbmi, avx512vbmi2 };

// glibc has asked the CPU already while starting the process, so its answers
// cost nothing. libgcc's own probe asks again with a dozen CPUID
// instructions, each of which traps to the hypervisor on a virtual machine:
// together about as long as a short run of the whole command.
#if defined(ENCRYPT_GLIBC_CPU_FEATURES)
#  define ENCRYPT_CPU_HAS(glibc_name, gcc_name) CPU_FEATURE_ACTIVE(glibc_name)
#elif ENCRYPT_X86_DISPATCH
#  define ENCRYPT_CPU_HAS(glibc_name, gcc_name) __builtin_cpu_supports(gcc_name)
#endif

inline bool cpu_has(cpu_feature feature) noexcept {
#if ENCRYPT_X86_DISPATCH
#  if !defined(ENCRYPT_GLIBC_CPU_FEATURES)
    __builtin_cpu_init();  // in case we run before libgcc's constructors
#  endif
    switch (feature) {
        case cpu_feature::avx2:
            return ENCRYPT_CPU_HAS(AVX2, "avx2");
        case cpu_feature::avx512f:
            return ENCRYPT_CPU_HAS(AVX512F, "avx512f");
        case cpu_feature::avx512bw:
            return ENCRYPT_CPU_HAS(AVX512BW, "avx512bw");
        case cpu_feature::avx512vl:
            return ENCRYPT_CPU_HAS(AVX512VL, "avx512vl");
        case cpu_feature::avx512cd:
            return ENCRYPT_CPU_HAS(AVX512CD, "avx512cd");
        case cpu_feature::avx512vbmi:
            return ENCRYPT_CPU_HAS(AVX512_VBMI, "avx512vbmi");
        case cpu_feature::avx512vbmi2:
            return ENCRYPT_CPU_HAS(AVX512_VBMI2, "avx512vbmi2");
    }
#endif
    (void)feature;
    return false;
}

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
