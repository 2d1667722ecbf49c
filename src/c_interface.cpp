// The C interface: the routines under C names, and the result line written
// into the caller's buffer.
#include <encrypt/encrypt.h>
#include <encrypt/encryption.hpp>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "result_line.hpp"

namespace {

// Eight digits a word, and `extra` bytes more, or 0 past size_t.
std::size_t capacity_for(std::uint32_t length, std::size_t extra) noexcept {
    const std::uint64_t words = length / 2 + (length & 1u);
    const std::uint64_t bytes = words * encrypt::detail::max_digits + extra;
    return bytes > SIZE_MAX ? 0 : static_cast<std::size_t>(bytes);
}

char* write_digits(char* out, const char* text, std::uint32_t length) noexcept {
    return encrypt::detail::best_digits_writer().write_text(
        out, reinterpret_cast<const unsigned char*>(text), length);
}

constexpr std::size_t caption_size = encrypt::detail::caption_text.size();

}  // namespace

extern "C" {

std::uint32_t* encrypt_words(std::uint32_t* words, std::uint32_t count) {
    return encrypt::encryption(words, count);
}

std::uint32_t* encrypt_text(const char* text, std::uint32_t length) {
    return encrypt::_encryption(text, length);
}

void encrypt_free(std::uint32_t* words) { std::free(words); }

std::size_t encrypt_hex_capacity(std::uint32_t length) { return capacity_for(length, 1); }

std::size_t encrypt_hex(char* out, const char* text, std::uint32_t length) {
    char* end = write_digits(out, text, length);
    *end = '\0';
    return static_cast<std::size_t>(end - out);
}

std::size_t encrypt_line_capacity(std::uint32_t length) {
    // The caption, the digits, the line feed and the terminating zero.
    return capacity_for(length, caption_size + 2);
}

std::size_t encrypt_line(char* out, const char* text, std::uint32_t length) {
    std::memcpy(out, encrypt::caption, caption_size);
    char* end = write_digits(out + caption_size, text, length);
    *end++ = '\n';
    *end = '\0';
    return static_cast<std::size_t>(end - out);
}

}  // extern "C"
