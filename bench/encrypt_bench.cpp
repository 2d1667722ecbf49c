// Throughput of the routines as users call them, of every kernel and digits
// writer this CPU can run, and of memcpy as the yardstick, all counted in
// bytes of word array.
//
//   encrypt_bench [--fresh-heap] [Google Benchmark flags]
// --fresh-heap leaves glibc's heap as a program finds it, so that a large
// _encryption measures a fresh mapping each time (see main()).
#include <encrypt/encryption.hpp>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "digits.hpp"
#include "kernels.hpp"

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

// A page-aligned block of its own, filled so that its pages are mapped.
struct page_aligned_deleter {
    void operator()(void* block) const { std::free(block); }
};
std::unique_ptr<char, page_aligned_deleter> page_aligned(std::size_t size, char fill) {
    constexpr std::size_t page = 4096;
    auto* block = static_cast<char*>(std::aligned_alloc(page, (size + page - 1) / page * page));
    if (block == nullptr) {
        std::abort();
    }
    std::memset(block, fill, size);
    return std::unique_ptr<char, page_aligned_deleter>(block);
}

// The yardstick. Source and destination are separate page-aligned blocks, so
// that they lie a whole number of pages apart. Blocks that sit closer in a
// page than the copy's stride (two neighbouring heap blocks, 16 bytes apart
// modulo 4096) make every load look as if it depended on the store just
// before it to CPUs that compare only the low 12 address bits, and memcpy
// then runs many times slower on some of them (17x on AMD Zen 3): a figure
// of the CPU's address aliasing, not of copying.
void bm_memcpy(benchmark::State& state) {
    const auto from = page_aligned(bytes_of(state), 'a');
    const auto to = page_aligned(bytes_of(state), 'b');
    for (auto _ : state) {
        std::memcpy(to.get(), from.get(), bytes_of(state));
        benchmark::DoNotOptimize(to.get());
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

// One kernel on its own, in place and packing into an array that is mapped.
void bm_kernel_transform(benchmark::State& state, const encrypt::detail::kernel* kernel) {
    std::vector<std::uint32_t> words(bytes_of(state) / sizeof(std::uint32_t), 0x6261);
    for (auto _ : state) {
        kernel->transform(words.data(), words.size());
        benchmark::ClobberMemory();
    }
    report(state);
}

void bm_kernel_pack(benchmark::State& state, const encrypt::detail::kernel* kernel) {
    const std::vector<unsigned char> text(bytes_of(state) / 2, 'q');
    std::vector<std::uint32_t> words(bytes_of(state) / sizeof(std::uint32_t));
    for (auto _ : state) {
        kernel->pack_transform(words.data(), text.data(), text.size());
        benchmark::ClobberMemory();
    }
    report(state);
}

// A digits writer on a text of random bytes, whose words have the spread of
// lengths a user's text gives. Counted in bytes of words, as above.
void bm_digits(benchmark::State& state, const encrypt::detail::digits_writer* writer) {
    // With the padding a writer may read past the text.
    std::vector<unsigned char> text(bytes_of(state) / 2 + encrypt::detail::text_padding);
    std::uint32_t seed = 2463534242u;
    for (auto& byte : text) {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        byte = static_cast<unsigned char>(seed);
    }
    std::vector<char> out(text.size() * 4 + encrypt::detail::text_padding);
    for (auto _ : state) {
        benchmark::DoNotOptimize(writer->write(out.data(), text.data(), bytes_of(state) / 2));
        benchmark::ClobberMemory();
    }
    report(state);
}

void register_benchmarks() {
    for (const std::int64_t size : {in_cache, in_memory}) {
        benchmark::RegisterBenchmark("memcpy", bm_memcpy)->Arg(size);
        benchmark::RegisterBenchmark("encryption", bm_encryption)->Arg(size);
        benchmark::RegisterBenchmark("_encryption", bm_underscore_encryption)->Arg(size);
    }
    for (std::size_t k = 0; k < encrypt::detail::kernel_count; ++k) {
        const auto* kernel = &encrypt::detail::kernels[k];
        if (!kernel->supported()) {
            continue;
        }
        const std::string name = kernel->name;
        benchmark::RegisterBenchmark(("encryption/" + name).c_str(), bm_kernel_transform, kernel)
            ->Arg(in_cache)
            ->Arg(in_memory);
        benchmark::RegisterBenchmark(("pack/" + name).c_str(), bm_kernel_pack, kernel)
            ->Arg(in_cache)
            ->Arg(in_memory);
    }
    for (std::size_t w = 0; w < encrypt::detail::digits_writer_count; ++w) {
        const auto* writer = &encrypt::detail::digits_writers[w];
        if (writer->supported()) {
            benchmark::RegisterBenchmark((std::string("digits/") + writer->name).c_str(),
                                         bm_digits, writer)
                ->Arg(in_cache);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    bool fresh_heap = false;
    if (argc > 1 && std::strcmp(argv[1], "--fresh-heap") == 0) {
        fresh_heap = true;
        argv[1] = argv[0];
        --argc;
        ++argv;
    }
#if defined(__GLIBC__)
    // glibc hands blocks above 32 MiB straight back to the kernel, so that
    // every 64 MiB _encryption would measure the kernel mapping and zeroing
    // 16,384 fresh pages rather than the routine. Unless asked for that,
    // keep freed memory in the heap, as a program that calls the routine
    // repeatedly would see it.
    if (!fresh_heap) {
        mallopt(M_MMAP_THRESHOLD, 1 << 30);
        mallopt(M_TRIM_THRESHOLD, 1 << 30);
    }
#endif
    (void)fresh_heap;
    register_benchmarks();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
