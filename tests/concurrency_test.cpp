// The routines keep no state and the stream objects only their own, so
// callers may run them on several threads at once; run under
// ThreadSanitizer (the tsan preset) this also shows races.
#include <encrypt/encryption.hpp>
#include <encrypt/lines.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "reference.hpp"

namespace {

// Runs mismatches(t) on `thread_count` threads started together, so that
// the calls really overlap, and expects each to find none.
template <class Work>
void expect_none_on_threads_at_once(int thread_count, Work mismatches) {
    std::atomic<int> ready{0};
    std::vector<int> found(static_cast<std::size_t>(thread_count), 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < thread_count; ++t) {
        threads.emplace_back([&, t] {
            ready.fetch_add(1);
            while (ready.load() < thread_count) {
                std::this_thread::yield();
            }
            found[static_cast<std::size_t>(t)] = mismatches(t);
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (int t = 0; t < thread_count; ++t) {
        EXPECT_EQ(found[static_cast<std::size_t>(t)], 0) << "thread " << t;
    }
}

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

    expect_none_on_threads_at_once(thread_count, [&](int t) {
        const auto& text = texts[static_cast<std::size_t>(t)];
        const auto& want = expected[static_cast<std::size_t>(t)];
        int mismatches = 0;
        for (int round = 0; round < rounds; ++round) {
            std::uint32_t* words =
                encrypt::_encryption(text.data(), static_cast<std::uint32_t>(text.size()));
            if (words == nullptr || !std::equal(want.begin(), want.end(), words)) {
                ++mismatches;
            }
            std::free(words);
        }
        return mismatches;
    });
}

// Each thread its own encoder and decoder, all at once: texts to lines and
// back, where CPU detection and the decrypter's tables are first used.
TEST(concurrency, threads_run_streams_of_their_own_at_once) {
    constexpr int thread_count = 4;
    std::string texts;
    for (int i = 0; i < 3000; ++i) {
        texts += std::to_string(i * 7919) + " and a text of some length\n";
    }
    expect_none_on_threads_at_once(thread_count, [&](int) {
        std::string lines(encrypt_lines_capacity(texts.data(), texts.size(), 0), '\0');
        encrypt::line_encoder encoder;
        const char* in = texts.data();
        std::size_t left = texts.size();
        char* out = &lines[0];
        std::size_t space = lines.size();
        encoder.update(in, left, out, space);
        encoder.finish(out, space);
        lines.resize(lines.size() - space);
        std::string back(lines.size() + 1, '\0');
        encrypt::line_decoder decoder;
        in = lines.data();
        left = lines.size();
        out = &back[0];
        space = back.size();
        const bool decoded = decoder.update(in, left, out, space) == ENCRYPT_LINES_OK &&
                             decoder.finish(out, space) == ENCRYPT_LINES_END;
        back.resize(back.size() - space);
        return decoded && back == texts ? 0 : 1;
    });
}

}  // namespace
