// The command's result line: the caption, every word in lowercase hex without
// leading zeros (what printf's "%lx" prints for it), and a line feed.
#ifndef ENCRYPT_CLI_RESULT_LINE_HPP
#define ENCRYPT_CLI_RESULT_LINE_HPP

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace encrypt::cli {

inline constexpr std::string_view caption = "Encrypted data in hexadecimal format: ";

// Bytes a buffer needs for the result line of `count` words (eight digits
// allowed for each), or 0 if that is more than size_t holds.
std::size_t result_line_capacity(std::uint32_t count) noexcept;

// Writes the result line of `count` words to `out`, which has at least
// result_line_capacity(count) bytes, and returns its length. The words may
// lie in that same buffer, each word k no lower than out + caption.size() +
// 8 * k (see digits_writer), so that a line can be made in the words' block.
std::size_t format_result_line(char* out, const std::uint32_t* words, std::uint32_t count) noexcept;

// Writes the digits of `word` at `out` and returns the end of them. It always
// stores eight bytes, so `out` needs room for eight whatever the word.
char* format_hex(char* out, std::uint32_t word) noexcept;

// Ways of writing the digits of many words one after another, each giving
// exactly what format_hex() gives word by word: the plain one first, then
// faster ones, which supported() says this CPU can run. write() returns the
// end of the digits. It may store bytes past that end (a wide writer stores
// whole vectors), but never past out + 8 * count: room for eight digits a
// word is all it needs. Nor does it store at or past out + 8 * k before it
// has read word k, so the words may lie in the output's own buffer.
struct digits_writer {
    const char* name;
    char* (*write)(char* out, const std::uint32_t* words, std::uint32_t count) noexcept;
    bool (*supported)() noexcept;
};
extern const digits_writer digits_writers[];
extern const std::size_t digits_writer_count;

// The fastest writer this CPU supports; format_result_line() uses it.
const digits_writer& best_digits_writer() noexcept;

}  // namespace encrypt::cli

#endif  // ENCRYPT_CLI_RESULT_LINE_HPP
