// A program outside the project that uses the installed library. Kept to
// C++11, the oldest standard the header promises to work with.
#include <encrypt/encryption.hpp>
#include <encrypt/lines.hpp>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main() {
    std::uint32_t* words = encrypt::_encryption("abc", 3);
    if (words == nullptr || words[0] != 0x25da76d8u || words[1] != 0x32c8u) {
        std::puts("consumer: _encryption gave the wrong words for \"abc\"");
        return 1;
    }
    std::free(words);
    std::uint32_t unit = 0x6261;  // "ab"
    if (encrypt::encryption(&unit, 1) != &unit || unit != 0x25da76d8u) {
        std::puts("consumer: encryption gave the wrong word for 0x6261");
        return 1;
    }
    char line[64];
    if (encrypt::line_capacity(3) > sizeof line || encrypt::line(line, "abc", 3) != 51 ||
        std::strcmp(line, "Encrypted data in hexadecimal format: 25da76d832c8\n") != 0) {
        std::puts("consumer: line gave the wrong line for \"abc\"");
        return 1;
    }
    // The streams' C++ objects: a line back to its text.
    encrypt::line_decoder decoder;
    const char* in = line;
    std::size_t left = std::strlen(line);
    char text[8];
    char* out = text;
    std::size_t space = sizeof text;
    if (!decoder || decoder.update(in, left, out, space) != ENCRYPT_LINES_OK ||
        decoder.finish(out, space) != ENCRYPT_LINES_END || out - text != 4 ||
        std::memcmp(text, "abc\n", 4) != 0) {
        std::puts("consumer: line_decoder gave the wrong text for the line of \"abc\"");
        return 1;
    }
    std::puts("consumer: ok");
    return 0;
}
