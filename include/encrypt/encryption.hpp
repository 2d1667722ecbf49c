// encrypt: the C++ interface, from C++11 on, over the C interface
// <encrypt/encrypt.h> (read there what the transform is, and that it is NOT
// encryption in the security sense). No routine keeps state, so all may run
// on several threads at once on distinct buffers.
#ifndef ENCRYPT_ENCRYPTION_HPP
#define ENCRYPT_ENCRYPTION_HPP

#include <cstddef>
#include <cstdint>

#include "encrypt.h"

namespace encrypt {

// Replaces each of the first `count` words by its transformed value and
// returns `words`. Each word depends on itself alone. With v a word and all
// arithmetic modulo 2^32:
//     p = (v + 26) * (v + 5);   new word = p ^ (p >> 16)
// Allocates nothing and cannot fail. A count of 0 touches nothing.
// `words` must point to `count` readable and writable words.
ENCRYPT_API std::uint32_t* encryption(std::uint32_t* words, std::uint32_t count);

// Packs the `length` bytes at `text` two at a time into 16-bit units (the
// first byte of each pair low, bytes taken as unsigned), widens each unit to
// a word in a new array and applies encryption() to it. An odd length ends in
// a unit whose high byte is zero, as the text's terminating zero would give;
// exactly `length` bytes are read, so `text` need not be zero-terminated.
//
// Returns an array of length / 2 + (length & 1) words allocated with
// std::malloc, which the caller owns and releases. encrypt_free() releases
// it from any caller. std::free does only where caller and library share
// one C runtime: with the static library, or with encrypt.dll where the
// caller too uses msvcrt.dll; from a caller on another C runtime it
// corrupts that runtime's heap.
// Returns a null pointer when the heap refuses the array (or its size in
// bytes does not fit in std::size_t). For length 0 nothing is allocated and
// the result is a null pointer, which is then no error.
ENCRYPT_API std::uint32_t* _encryption(const char* text, std::uint32_t length);

// The caption that opens every result line; it ends in one space.
constexpr char caption[] = ENCRYPT_CAPTION;

// The digits and the line of a text, as encrypt_hex_capacity(),
// encrypt_hex(), encrypt_line_capacity() and encrypt_line() in encrypt.h
// write them into the caller's buffer, with a terminating zero. For example:
//     std::string digits(encrypt::hex_capacity(n), '\0');
//     digits.resize(encrypt::hex(&digits[0], text, n));
inline std::size_t hex_capacity(std::uint32_t length) noexcept {
    return encrypt_hex_capacity(length);
}
inline std::size_t hex(char* out, const char* text, std::uint32_t length) noexcept {
    return encrypt_hex(out, text, length);
}
// The digits of `count` words from _encryption(), as encrypt_words_hex()
// writes them: `out` has 8 * count + 1 bytes at least.
inline std::size_t words_hex(char* out, const std::uint32_t* words, std::uint32_t count) noexcept {
    return encrypt_words_hex(out, words, count);
}
inline std::size_t line_capacity(std::uint32_t length) noexcept {
    return encrypt_line_capacity(length);
}
inline std::size_t line(char* out, const char* text, std::uint32_t length) noexcept {
    return encrypt_line(out, text, length);
}

}  // namespace encrypt

#endif  // ENCRYPT_ENCRYPTION_HPP
