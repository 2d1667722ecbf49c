#include "result_line.hpp"

#include <cstring>

namespace encrypt::detail {

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

}  // namespace encrypt::detail
