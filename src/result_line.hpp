// Internal to the library and its commands: the result line, the caption and
// the digits of every word, made from words or straight from a text.
#ifndef ENCRYPT_SRC_RESULT_LINE_HPP
#define ENCRYPT_SRC_RESULT_LINE_HPP

#include <encrypt/encryption.hpp>

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "digits.hpp"

namespace encrypt::detail {

inline constexpr std::string_view caption_text{caption, sizeof caption - 1};

// Bytes a buffer needs for the result line of `count` words with its line
// feed (eight digits allowed for each), or 0 if that is more than size_t holds.
std::size_t result_line_capacity(std::uint32_t count) noexcept;

// Writes the result line of `count` words, line feed included, to `out`,
// which has at least result_line_capacity(count) bytes, and returns its
// length. The words may lie in that same buffer, each word k no lower than
// out + caption_text.size() + 8 * k (see digits_writer), so that a line can
// be made in the words' own block.
std::size_t format_result_line(char* out, const std::uint32_t* words, std::uint32_t count) noexcept;

}  // namespace encrypt::detail

#endif  // ENCRYPT_SRC_RESULT_LINE_HPP
