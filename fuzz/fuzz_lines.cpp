// The stream of lines against the reference: arbitrary input, split into
// blocks of arbitrary sizes, with each separator and carriage-return rule.
// Then the way back: those lines read back in the same blocks give each
// text, or where several texts give a line, one without a zero byte or the
// report that the line is ambiguous (the text is among them by its making).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "decrypt_stream.hpp"
#include "line_stream.hpp"
#include "reference.hpp"

namespace {

void check(bool ok) {
    if (!ok) {
        __builtin_trap();
    }
}

char* into_string(void* context, char* data, std::size_t size) {
    static_cast<std::string*>(context)->append(data, size);
    return data;
}

std::vector<std::pair<std::uint64_t, std::string>> reports;

// "-:N: WHAT", kept as N and WHAT.
void note_report(void*, const char* message) {
    const std::string said = message;
    reports.emplace_back(std::stoull(said.substr(2)), said.substr(said.find(": ") + 2));
}

// Feeds `input` to a stream in blocks of `block` bytes.
template <class Stream>
void stream_blocks(Stream& stream, const std::string& input, std::size_t block) {
    for (std::size_t at = 0; at < input.size(); at += block) {
        const std::size_t piece = std::min(block, input.size() - at);
        std::memcpy(stream.input_space(), input.data() + at, piece);
        check(stream.consume(piece));
    }
    check(stream.end_of_input());
}

}  // namespace

// The first byte picks the rules and the block size, the second the size of
// the output's pieces, the rest is the input.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    encrypt::cli::line_stream_settings settings;
    settings.separator = (data[0] & 1) != 0 ? '\0' : '\n';
    settings.drop_carriage_return = (data[0] & 2) != 0;
    const std::size_t block = 1 + (data[0] >> 2);  // 1 to 64 bytes
    const std::size_t output_size = 40 + data[1];  // the caption and two bytes, or more
    const std::string input(reinterpret_cast<const char*>(data) + 2, size - 2);

    static std::vector<std::uint64_t> memory(
        encrypt::cli::line_stream::memory_needed(64, 40 + 255) / sizeof(std::uint64_t) + 1);
    std::string lines;
    encrypt::cli::line_stream stream(settings, memory.data(), block, output_size, into_string,
                                     &lines);
    stream_blocks(stream, input, block);
    const char separator = static_cast<char>(settings.separator);
    check(lines ==
          encrypt::test::reference_lines(input, separator, settings.drop_carriage_return, "\n"));

    std::string texts;
    reports.clear();
    encrypt::cli::decrypt_stream back(settings.separator, memory.data(), block, output_size,
                                      into_string, note_report, &texts);
    stream_blocks(back, lines, block);
    std::size_t report = 0;
    std::size_t got = 0;
    std::uint64_t number = 1;
    for (std::size_t start = 0; start < input.size();
         start = input.find(separator, start) + 1, ++number) {
        const std::size_t stop = std::min(input.find(separator, start), input.size());
        std::string text = input.substr(start, stop - start);
        if (settings.drop_carriage_return && stop < input.size() && !text.empty() &&
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
