// Internal to the library and its commands: the parts of a result line and
// the space they take, defined once for every writer of a line.
#ifndef ENCRYPT_SRC_LINE_HPP
#define ENCRYPT_SRC_LINE_HPP

#include <encrypt/encrypt.h>

#include <cstdint>
#include <string_view>

namespace encrypt::detail {

// The caption that opens every result line; it ends in one space.
inline constexpr std::string_view caption{ENCRYPT_CAPTION};

// The units of a text of `length` bytes: a unit for every two bytes begun.
constexpr std::uint64_t unit_count(std::uint64_t length) noexcept {
    return length / 2 + (length & 1u);
}

// The most digits a text of `length` bytes gives: eight a unit, which is
// also all the space any digits writer needs for it.
constexpr std::uint64_t most_digits(std::uint64_t length) noexcept {
    return 8 * unit_count(length);
}

// The most bytes of a text's result line: the caption, its digits and the
// line feed.
constexpr std::uint64_t most_line_bytes(std::uint64_t length) noexcept {
    return caption.size() + most_digits(length) + 1;
}

}  // namespace encrypt::detail

#endif  // ENCRYPT_SRC_LINE_HPP
