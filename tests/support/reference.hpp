// An independent statement of what the tool computes, written from its
// definition and sharing no code with it, for the tests to compare against.
#ifndef ENCRYPT_TESTS_REFERENCE_HPP
#define ENCRYPT_TESTS_REFERENCE_HPP

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "reference.h"

namespace encrypt::test {

inline std::uint32_t reference_mix(std::uint32_t v) { return encrypt_reference_mix(v); }

// Units from an explicitly zero-padded copy of the text.
inline std::vector<std::uint32_t> reference_encryption(const std::string& text) {
    std::string padded = text;
    if (padded.size() % 2 != 0) {
        padded.push_back('\0');
    }
    std::vector<std::uint32_t> words;
    for (std::size_t i = 0; i < padded.size(); i += 2) {
        const auto lo = static_cast<unsigned char>(padded[i]);
        const auto hi = static_cast<unsigned char>(padded[i + 1]);
        words.push_back(reference_mix(static_cast<std::uint32_t>(lo + 256 * hi)));
    }
    return words;
}

// What printf's "%lx" makes of a word.
inline std::string printf_hex(std::uint32_t word) {
    char digits[32];
    std::snprintf(digits, sizeof digits, "%lx", static_cast<unsigned long>(word));
    return digits;
}

// The tool's whole result line for a text, ending in `line_end`.
inline std::string reference_result_line(const std::string& text, const std::string& line_end) {
    std::string line = "Encrypted data in hexadecimal format: ";
    for (const std::uint32_t word : reference_encryption(text)) {
        line += printf_hex(word);
    }
    return line + line_end;
}

// What encrypt-lines writes for `input`: a result line for every text, the
// texts ending at `separator` (a last one without it still counts), with a
// carriage return just before a line feed dropped where `drop_cr` says.
inline std::string reference_lines(const std::string& input, char separator, bool drop_cr,
                                   const std::string& line_end) {
    std::string lines;
    for (std::size_t start = 0; start < input.size();) {
        std::size_t stop = input.find(separator, start);
        const bool ended = stop != std::string::npos;
        stop = ended ? stop : input.size();
        std::string text = input.substr(start, stop - start);
        if (ended && drop_cr && !text.empty() && text.back() == '\r') {
            text.pop_back();
        }
        lines += reference_result_line(text, line_end);
        start = stop + 1;
    }
    return lines;
}

}  // namespace encrypt::test

#endif  // ENCRYPT_TESTS_REFERENCE_HPP
