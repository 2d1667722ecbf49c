// Internal to the library and the command: which wide instructions this CPU
// and operating system let us use.
#ifndef ENCRYPT_SRC_CPU_FEATURES_HPP
#define ENCRYPT_SRC_CPU_FEATURES_HPP

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

namespace encrypt::detail {

enum class cpu_feature { avx2, avx512f, avx512bw, avx512vl, avx512cd, avx512vbmi, avx512vbmi2 };

// glibc has asked the CPU already while starting the process, so its answers
// cost nothing. libgcc's own probe asks again with a dozen CPUID
// instructions, each of which traps to the hypervisor on a virtual machine:
// together about as long as a short run of the whole command.
inline bool cpu_has(cpu_feature feature) noexcept {
#if defined(ENCRYPT_GLIBC_CPU_FEATURES)
    switch (feature) {
        case cpu_feature::avx2:
            return CPU_FEATURE_ACTIVE(AVX2);
        case cpu_feature::avx512f:
            return CPU_FEATURE_ACTIVE(AVX512F);
        case cpu_feature::avx512bw:
            return CPU_FEATURE_ACTIVE(AVX512BW);
        case cpu_feature::avx512vl:
            return CPU_FEATURE_ACTIVE(AVX512VL);
        case cpu_feature::avx512cd:
            return CPU_FEATURE_ACTIVE(AVX512CD);
        case cpu_feature::avx512vbmi:
            return CPU_FEATURE_ACTIVE(AVX512_VBMI);
        case cpu_feature::avx512vbmi2:
            return CPU_FEATURE_ACTIVE(AVX512_VBMI2);
    }
    return false;
#elif ENCRYPT_X86_DISPATCH
    __builtin_cpu_init();  // in case we run before libgcc's constructors
    switch (feature) {
        case cpu_feature::avx2:
            return __builtin_cpu_supports("avx2");
        case cpu_feature::avx512f:
            return __builtin_cpu_supports("avx512f");
        case cpu_feature::avx512bw:
            return __builtin_cpu_supports("avx512bw");
        case cpu_feature::avx512vl:
            return __builtin_cpu_supports("avx512vl");
        case cpu_feature::avx512cd:
            return __builtin_cpu_supports("avx512cd");
        case cpu_feature::avx512vbmi:
            return __builtin_cpu_supports("avx512vbmi");
        case cpu_feature::avx512vbmi2:
            return __builtin_cpu_supports("avx512vbmi2");
    }
    return false;
#else
    (void)feature;
    return false;
#endif
}

}  // namespace encrypt::detail

#endif  // ENCRYPT_SRC_CPU_FEATURES_HPP
