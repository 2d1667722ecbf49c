#include "result_line.hpp"

#include <cstring>

namespace encrypt::detail {
namespace {

// Words packed at a time: enough to keep the vector loops busy, few enough
// to stay in the first-level cache between packing and writing.
constexpr std::size_t text_batch_words = 2048;

}  // namespace

std::size_t result_line_capacity(std::uint32_t count) noexcept {
    // Every writer stores at most eight bytes per word it has reached, so no
    // word can write past the room its longest form takes.
    const std::uint64_t bytes = caption_text.size() + 1 + std::uint64_t{count} * max_digits;
    return bytes > SIZE_MAX ? 0 : static_cast<std::size_t>(bytes);
}

std::size_t format_result_line(char* out, const std::uint32_t* words,
                               std::uint32_t count) noexcept {
    std::memcpy(out, caption_text.data(), caption_text.size());
    char* end = best_digits_writer().write(out + caption_text.size(), words, count);
    *end++ = '\n';
    return static_cast<std::size_t>(end - out);
}

char* write_text_digits(char* out, const unsigned char* text, std::size_t length,
                        const kernel& kernel, const digits_writer& writer) noexcept {
    // Aligned, so that the kernels' vector loops cover the batch from its start.
    alignas(64) std::uint32_t words[text_batch_words];
    while (length > 0) {
        const std::size_t bytes = length < 2 * text_batch_words ? length : 2 * text_batch_words;
        const auto count = static_cast<std::uint32_t>(bytes / 2 + (bytes & 1u));
        kernel.pack_transform(words, text, bytes);
        out = writer.write(out, words, count);
        text += bytes;
        length -= bytes;
    }
    return out;
}

}  // namespace encrypt::detail
