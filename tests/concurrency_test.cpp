// The routines keep no state, so callers may run them on several threads at
// once; run under ThreadSanitizer (the tsan preset) this also shows races.
#include <encrypt/encryption.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "reference.hpp"

namespace {

TEST(concurrency, threads_encrypt_distinct_texts_at_once) {
    constexpr int thread_count = 8;
    constexpr int rounds = 200;
    std::vector<std::string> texts;
    std::vector<std::vector<std::uint32_t>> expected;
    for (int t = 0; t < thread_count; ++t) {
        // Lengths on both sides of the vector widths, odd and even.
        std::string text(1000 + 37 * static_cast<std::size_t>(t), '\0');
        for (std::size_t i = 0; i < text.size(); ++i) {
            text[i] = static_cast<char>((i * 131 + static_cast<std::size_t>(t) * 7) % 256);
        }
        expected.push_back(encrypt::test::reference_encryption(text));
        texts.push_back(std::move(text));
    }

    std::atomic<int> ready{0};
    std::vector<int> mismatches(thread_count, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < thread_count; ++t) {
        threads.emplace_back([&, t] {
            // Start together, so that the calls really overlap.
            ready.fetch_add(1);
            while (ready.load() < thread_count) {
                std::this_thread::yield();
            }
            const auto& text = texts[static_cast<std::size_t>(t)];
            const auto& want = expected[static_cast<std::size_t>(t)];
            for (int round = 0; round < rounds; ++round) {
                std::uint32_t* words =
                    encrypt::_encryption(text.data(), static_cast<std::uint32_t>(text.size()));
                if (words == nullptr || !std::equal(want.begin(), want.end(), words)) {
                    ++mismatches[static_cast<std::size_t>(t)];
                }
                std::free(words);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (int t = 0; t < thread_count; ++t) {
        EXPECT_EQ(mismatches[static_cast<std::size_t>(t)], 0) << "thread " << t;
    }
}

}  // namespace
