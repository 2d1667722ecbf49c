// The decoder against brute force: short lines made of the words of units
// from a small alphabet (mostly units whose words have two to four digits,
// which run into each other), sometimes with a digit changed, read back
// through a decoder whose first node arena is as small as two nodes and in
// blocks of arbitrary sizes; every split of the line counted by plain
// dynamic programming says what the decoder must write.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

#include <encrypt/encrypt.h>

#include "line_decoder.hpp"
#include "reference.hpp"

namespace {

void check(bool ok) {
    if (!ok) {
        __builtin_trap();
    }
}

constexpr std::uint32_t most_texts = 1000;

std::string digits_of(std::uint32_t unit) {
    return encrypt::test::printf_hex(encrypt::test::reference_mix(unit));
}


struct brute_force {
    bool gives_text = false;
    std::string text;
    std::uint32_t texts = 0;  // splits, up to most_texts
};

// Every split of `digits` into words, counted position by position: all of
// them, and those whose text has no zero byte (counted to two), with the
// last unit allowed a zero high byte, which its odd text drops.
brute_force splits_of(const std::string& digits) {
    static const std::unordered_map<std::uint32_t, std::uint16_t> unit_of_word = [] {
        std::unordered_map<std::uint32_t, std::uint16_t> all;
        for (std::uint32_t unit = 0; unit <= 0xffff; ++unit) {
            all.emplace(encrypt::test::reference_mix(unit), static_cast<std::uint16_t>(unit));
        }
        return all;
    }();
    // The unit of the word of `length` digits that ends before `end`, or -1:
    // printf's "%lx" writes no leading zero.
    const auto unit_of = [&](std::size_t end, std::size_t length) -> int {
        if (digits[end - length] == '0') {
            return -1;
        }
        const auto found =
            unit_of_word.find(static_cast<std::uint32_t>(std::stoul(digits.substr(end - length, length), nullptr, 16)));
        return found == unit_of_word.end() ? -1 : found->second;
    };
    const std::size_t n = digits.size();
    std::vector<std::uint32_t> all(n + 1, 0);
    std::vector<std::uint32_t> zero_free(n + 1, 0);
    all[0] = zero_free[0] = 1;
    std::uint32_t ending_zero_free = 0;
    for (std::size_t end = 1; end <= n; ++end) {
        for (std::size_t length = 2; length <= 8 && length <= end; ++length) {
            const int unit = unit_of(end, length);
            if (unit < 0) {
                continue;
            }
            const std::size_t start = end - length;
            all[end] = std::min(most_texts, all[end] + all[start]);
            if ((unit & 0xff) != 0 && (unit >> 8) != 0) {
                zero_free[end] = std::min(2u, zero_free[end] + zero_free[start]);
            }
            if (end == n && (unit & 0xff) != 0) {
                ending_zero_free = std::min(2u, ending_zero_free + zero_free[start]);
            }
        }
    }
    brute_force result;
    result.texts = all[n];
    if (all[n] == 0 || (all[n] > 1 && ending_zero_free != 1)) {
        return result;
    }
    // The one split, or the one without a zero byte, from its end back.
    const bool only = all[n] == 1;
    std::vector<std::uint16_t> units;
    for (std::size_t end = n; end > 0;) {
        for (std::size_t length = 2; length <= 8 && length <= end; ++length) {
            const int unit = unit_of(end, length);
            const std::size_t start = end - length;
            const bool last = end == n;
            const bool fits = only ? all[start] == 1
                                   : zero_free[start] == 1 && unit >= 0 && (unit & 0xff) != 0 &&
                                         ((unit >> 8) != 0 || last);
            if (unit >= 0 && fits) {
                units.push_back(static_cast<std::uint16_t>(unit));
                end = start;
                break;
            }
        }
    }
    std::reverse(units.begin(), units.end());
    for (std::size_t i = 0; i < units.size(); ++i) {
        result.text.push_back(static_cast<char>(units[i] & 0xff));
        if (i + 1 < units.size() || (units[i] >> 8) != 0) {
            result.text.push_back(static_cast<char>(units[i] >> 8));
        }
    }
    result.gives_text = true;
    return result;
}

}  // namespace

// Byte 0: the first node arena (2 to 33 nodes) and whether the line has
// the caption; byte 1: the block size; then a byte a unit: below 200 a unit
// of that value (words of two to four digits), else one of a few units with
// longer words; a byte 0xff changes the next digit instead.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::size_t node_capacity = 2 + (data[0] & 31);
    const bool caption = (data[0] & 32) != 0;
    const std::size_t block = 1 + data[1];
    std::string digits;
    for (std::size_t i = 2; i < size && digits.size() < 200; ++i) {
        if (data[i] == 0xff && !digits.empty()) {
            digits.back() = "0123456789abcdef"[(digits.back() + 1) % 16];
        } else {
            const std::uint32_t unit = data[i] < 200 ? data[i] : 0x0101u * data[i] + 0x2000u * (data[i] & 7);
            digits += digits_of(unit & 0xffff);
        }
    }
    const brute_force want = splits_of(digits);

    encrypt::detail::line_decoder decoder('\n', node_capacity);
    const std::string input = (caption ? ENCRYPT_CAPTION : "") + digits + "\n";
    std::string out(input.size() + 1, '#');
    char* next = out.data();
    char* const out_end = next + out.size();
    int result = ENCRYPT_LINES_OK;
    for (std::size_t at = 0; at < input.size() && result == ENCRYPT_LINES_OK; at += block) {
        const auto* in = reinterpret_cast<const unsigned char*>(input.data()) + at;
        const unsigned char* const end = in + std::min(block, input.size() - at);
        result = decoder.update(in, end, next, out_end);
        check(result != ENCRYPT_LINES_OK || in == end);
    }
    if (want.gives_text && want.text.find('\n') == std::string::npos) {
        check(result == ENCRYPT_LINES_OK);
        check(std::string(out.data(), next) == want.text + '\n');
        return 0;
    }
    std::uint64_t line = 0;
    const std::string message = decoder.failure(&line);
    check(line == 1 && next == out.data());
    if (want.gives_text) {
        check(result == ENCRYPT_HOLDS_LINE_FEED);
    } else if (want.texts < 2) {
        check(result == ENCRYPT_NOT_A_LINE);
    } else {
        char expected[ENCRYPT_REASON_SIZE];
        std::snprintf(expected, sizeof expected,
                      want.texts < most_texts ? "%u texts give this line" : "more than 999 texts give this line",
                      want.texts);
        check(result == ENCRYPT_AMBIGUOUS && message == expected);
    }
    return 0;
}
