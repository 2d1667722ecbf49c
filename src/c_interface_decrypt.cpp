// The C interface to decrypting a result line to its text.
#include <encrypt/encrypt.h>

#include <cstdint>
#include <cstring>

#include "decrypt.hpp"

extern "C" {

std::size_t encrypt_decrypt_capacity(std::size_t length) {
    // Every unit takes two digits at least and gives two bytes at most.
    return length == SIZE_MAX ? 0 : length + 1;
}

std::ptrdiff_t encrypt_decrypt(char* out, const char* line, std::size_t length,
                               std::uint32_t* texts) {
    length = encrypt::detail::without_line_end(line, length);
    char* end = out;
    encrypt::detail::line_decrypter decrypter(
        [](void* context, const unsigned char* text, std::size_t size) {
            auto& at = *static_cast<char**>(context);
            std::memcpy(at, text, size);
            at += size;
        },
        &end);
    const auto* bytes = reinterpret_cast<const unsigned char*>(line);
    const std::size_t used = decrypter.feed(bytes, length);
    using outcome = encrypt::detail::line_decrypter::outcome;
    switch (decrypter.finish(bytes + used, length - used)) {
        case outcome::text:
            *end = '\0';
            return end - out;
        case outcome::ambiguous:
            if (texts != nullptr) {
                *texts = decrypter.texts();
            }
            return ENCRYPT_AMBIGUOUS;
        case outcome::no_memory:
            return ENCRYPT_NO_MEMORY;
        case outcome::not_a_line:
            break;
    }
    return ENCRYPT_NOT_A_LINE;
}

}  // extern "C"
