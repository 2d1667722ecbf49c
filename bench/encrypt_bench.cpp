// Throughput of the two routines beside memcpy of the same number of bytes,
// all counted in bytes of word array.
#include <encrypt/encryption.hpp>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#if defined(__GLIBC__)
#  include <malloc.h>
#endif

namespace {

constexpr std::int64_t in_cache = 262144;     // 256 KiB: in L2
constexpr std::int64_t in_memory = 67108864;  // 64 MiB: well past the caches

std::size_t bytes_of(const benchmark::State& state) {
    return static_cast<std::size_t>(state.range(0));
}

void report(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void bm_memcpy(benchmark::State& state) {
    std::vector<char> from(bytes_of(state), 'a'), to(bytes_of(state), 'b');
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    report(state);
}

void bm_encryption(benchmark::State& state) {
    std::vector<std::uint32_t> words(bytes_of(state) / sizeof(std::uint32_t), 0x6261);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            encrypt::encryption(words.data(), static_cast<std::uint32_t>(words.size())));
        benchmark::ClobberMemory();
    }
    report(state);
}

void bm_underscore_encryption(benchmark::State& state) {
    // Two text bytes make one four-byte word.
    const std::vector<char> text(bytes_of(state) / 2, 'q');
    const auto length = static_cast<std::uint32_t>(text.size());
    for (auto _ : state) {
        std::uint32_t* words = encrypt::_encryption(text.data(), length);
        benchmark::DoNotOptimize(words);
        std::free(words);
    }
    report(state);
}

BENCHMARK(bm_memcpy)->Name("memcpy")->Arg(in_cache)->Arg(in_memory);
BENCHMARK(bm_encryption)->Name("encryption")->Arg(in_cache)->Arg(in_memory);
BENCHMARK(bm_underscore_encryption)->Name("_encryption")->Arg(in_cache)->Arg(in_memory);

}  // namespace

int main(int argc, char** argv) {
#if defined(__GLIBC__)
    // glibc hands blocks above 32 MiB straight back to the kernel, so that
    // every 64 MiB _encryption would measure the kernel mapping and zeroing
    // 16,384 fresh pages rather than the routine. Keep freed memory in the
    // heap, as a program that calls the routine repeatedly would see it.
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
#endif
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
