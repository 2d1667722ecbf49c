// The library's streams against the reference: arbitrary input, cut into
// blocks of arbitrary sizes and written into buffers of arbitrary sizes,
// with each separator and carriage-return rule. Then decrypting: those
// lines read back in the same blocks give each text, or where several texts
// give a line, one without a zero byte or the report that the line is
// ambiguous (the text is among them by its making).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <encrypt/lines.hpp>

#include "reference.hpp"

namespace {

void check(bool ok) {
    if (!ok) {
        __builtin_trap();
    }
}

std::vector<std::pair<std::uint64_t, std::string>> reports;

// Passes `input` through a stream in blocks of `block` bytes, with output
// buffers of `space` bytes, noting each failed line.
template <class Stream>
std::string stream_blocks(Stream& stream, const std::string& input, std::size_t block,
                          std::size_t space) {
    std::string out;
    std::vector<char> buffer(space);
    const auto step = [&](int result, char* next) {
        out.append(buffer.data(), next);
        if constexpr (requires { stream.failure(); }) {
            std::uint64_t line = 0;
            const char* reason = stream.failure(&line);
            check(result != ENCRYPT_STOPPED);
            if (result < 0) {
                reports.emplace_back(line, reason);
            }
        }
        return result;
    };
    for (std::size_t at = 0; at < input.size(); at += block) {
        const std::vector<char> piece(input.begin() + static_cast<std::ptrdiff_t>(at),
                                      input.begin() + static_cast<std::ptrdiff_t>(std::min(at + block, input.size())));
        const char* in = piece.data();
        std::size_t left = piece.size();
        while (left > 0) {
            char* next = buffer.data();
            std::size_t free = space;
            step(stream.update(in, left, next, free), next);
        }
    }
    for (;;) {
        char* next = buffer.data();
        std::size_t free = space;
        if (step(stream.finish(next, free), next) == ENCRYPT_LINES_END) {
            return out;
        }
    }
}

}  // namespace

// The first byte picks the rules and the block size, the second the size of
// the output buffers, the rest is the input.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const unsigned options = ((data[0] & 1) != 0 ? ENCRYPT_LINES_NUL : 0u) |
                             ((data[0] & 2) != 0 ? ENCRYPT_LINES_CRLF : 0u);
    const char separator = (data[0] & 1) != 0 ? '\0' : '\n';
    const bool drop_carriage_return = (data[0] & 2) != 0 && separator == '\n';
    const std::size_t block = 1 + (data[0] >> 2);  // 1 to 64 bytes
    const std::size_t space = 1 + data[1];          // 1 to 256 bytes
    const std::string input(reinterpret_cast<const char*>(data) + 2, size - 2);

    encrypt::line_encoder encoder(options);
    const std::string lines = stream_blocks(encoder, input, block, space);
    check(lines == encrypt::test::reference_lines(input, separator, drop_carriage_return, "\n"));

    reports.clear();
    encrypt::line_decoder back(options & ENCRYPT_LINES_NUL);
    const std::string texts = stream_blocks(back, lines, block, space);
    std::size_t report = 0;
    std::size_t got = 0;
    std::uint64_t number = 1;
    for (std::size_t start = 0; start < input.size();
         start = input.find(separator, start) + 1, ++number) {
        const std::size_t stop = std::min(input.find(separator, start), input.size());
        std::string text = input.substr(start, stop - start);
        if (drop_carriage_return && stop < input.size() && !text.empty() &&
            text.back() == '\r') {
            text.pop_back();
        }
        if (report < reports.size() && reports[report].first == number) {
            check(reports[report++].second.find("give this line") != std::string::npos);
            if (stop == input.size()) {
                break;
            }
            continue;
        }
        const std::size_t end = texts.find(separator, got);
        check(end != std::string::npos);
        const std::string back_text = texts.substr(got, end - got);
        got = end + 1;
        const std::string odd = text.size() % 2 == 0 && !text.empty() && text.back() == '\0'
                                    ? text.substr(0, text.size() - 1)
                                    : text;
        check(back_text == odd ||
              (text.find('\0') != std::string::npos && back_text.find('\0') == std::string::npos));
        if (stop == input.size()) {
            break;
        }
    }
    check(report == reports.size() && got == texts.size());
    return 0;
}
