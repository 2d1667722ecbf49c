// The stream of lines against the reference: arbitrary input, split into
// blocks of arbitrary sizes, with each separator and carriage-return rule.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

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
    std::string out;
    encrypt::cli::line_stream stream(settings, memory.data(), block, output_size, into_string, &out);
    for (std::size_t at = 0; at < input.size(); at += block) {
        const std::size_t piece = std::min(block, input.size() - at);
        std::memcpy(stream.input_space(), input.data() + at, piece);
        check(stream.consume(piece));
    }
    check(stream.end_of_input());
    check(out == encrypt::test::reference_lines(input, static_cast<char>(settings.separator),
                                                settings.drop_carriage_return, "\n"));
    return 0;
}
