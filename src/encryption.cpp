// The library's routines, and all of it under C names, with the digits and
// the result line written into the caller's buffer.
#include <encrypt/encrypt.h>
#include <encrypt/encryption.hpp>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "digits.hpp"
#include "kernels.hpp"
#include "line.hpp"

namespace {

// `bytes`, or 0 where size_t cannot hold it.
std::size_t size_or_zero(std::uint64_t bytes) noexcept {
    return bytes > SIZE_MAX ? 0 : static_cast<std::size_t>(bytes);
}

char* write_digits(char* out, const char* text, std::uint32_t length) noexcept {
    return encrypt::detail::write_text_digits(out, reinterpret_cast<const unsigned char*>(text),
                                              length);
}

}  // namespace

namespace encrypt {

std::uint32_t* encryption(std::uint32_t* words, std::uint32_t count) {
    detail::best_kernel().transform(words, count);
    return words;
}

std::uint32_t* _encryption(const char* text, std::uint32_t length) {
    const std::uint64_t count = detail::unit_count(length);
    if (count == 0) {
        return nullptr;
    }
    const std::uint64_t bytes = count * sizeof(std::uint32_t);
    if (bytes > SIZE_MAX) {
        return nullptr;  // more than a 32-bit address space can hold
    }
    auto* words = static_cast<std::uint32_t*>(std::malloc(static_cast<std::size_t>(bytes)));
    if (words == nullptr) {
        return nullptr;
    }
    detail::best_kernel().pack_transform(words, reinterpret_cast<const unsigned char*>(text),
                                         length);
    return words;
}

}  // namespace encrypt

extern "C" {

std::uint32_t* encrypt_words(std::uint32_t* words, std::uint32_t count) {
    return encrypt::encryption(words, count);
}

std::uint32_t* encrypt_text(const char* text, std::uint32_t length) {
    return encrypt::_encryption(text, length);
}

void encrypt_free(std::uint32_t* words) { std::free(words); }

std::size_t encrypt_hex_capacity(std::uint32_t length) {
    // The digits and the terminating zero.
    return size_or_zero(encrypt::detail::most_digits(length) + 1);
}

std::size_t encrypt_hex(char* out, const char* text, std::uint32_t length) {
    char* end = write_digits(out, text, length);
    *end = '\0';
    return static_cast<std::size_t>(end - out);
}

std::size_t encrypt_words_hex(char* out, const std::uint32_t* words, std::uint32_t count) {
    char* end = out;
    for (std::uint32_t i = 0; i < count; ++i) {
        end = encrypt::detail::format_hex(end, words[i]);
    }
    *end = '\0';
    return static_cast<std::size_t>(end - out);
}

std::size_t encrypt_line_capacity(std::uint32_t length) {
    // The line and the terminating zero.
    return size_or_zero(encrypt::detail::most_line_bytes(length) + 1);
}

std::size_t encrypt_line(char* out, const char* text, std::uint32_t length) {
    constexpr auto caption = encrypt::detail::caption;
    std::memcpy(out, caption.data(), caption.size());
    char* end = write_digits(out + caption.size(), text, length);
    *end++ = '\n';
    *end = '\0';
    return static_cast<std::size_t>(end - out);
}

}  // extern "C"
