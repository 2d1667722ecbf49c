// The encrypt command: encrypts its one argument and prints the words in hex.
#include <encrypt/encryption.hpp>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "output.hpp"
#include "large_buffer.hpp"
#include "windows_arguments.hpp"

namespace {

constexpr const char* program_name = "encrypt";

int usage(const char* invoked_as) {
    // An empty argument vector leaves no name to show; the command's own stands in.
    const char* name = (invoked_as != nullptr && invoked_as[0] != '\0') ? invoked_as : program_name;
    encrypt::cli::standard_output out;
    out.write("Usage: ");
    out.write(name, std::strlen(name));
    out.write(" <text to encrypt>\n");
    return out.close(program_name, EXIT_FAILURE);
}

int memory_exhausted() {
    encrypt::cli::report(program_name, "memory exhausted");
    return EXIT_FAILURE;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    if (!encrypt::cli::windows_arguments(argc, argv)) {
        return memory_exhausted();
    }
#endif
    if (argc < 2) {
        return usage(argc > 0 ? argv[0] : nullptr);
    }
    const char* text = argv[1];
    const std::size_t length = std::strlen(text);
    if (length != static_cast<std::uint32_t>(length)) {
        encrypt::cli::report(program_name, "argument too long");
        return EXIT_FAILURE;
    }
    const auto n = static_cast<std::uint32_t>(length);
    std::uint32_t* words = encrypt::_encryption(text, n);
    const std::uint32_t count = n / 2 + (n & 1u);
    if (count != 0 && words == nullptr) {
        return memory_exhausted();
    }
    // The whole line leaves in one write, so that runs appending to one file
    // at once cannot cut into each other's lines.
    const std::size_t capacity = encrypt::line_capacity(n);  // 0: past the address space
    const encrypt::detail::large_buffer line(capacity);
    if (capacity == 0 || line.data() == nullptr) {
        std::free(words);
        return memory_exhausted();
    }
    constexpr std::size_t caption_size = sizeof encrypt::caption - 1;
    std::memcpy(line.data(), encrypt::caption, caption_size);
    char* end = line.data() + caption_size;
    end += encrypt::words_hex(end, words, count);
    *end++ = '\n';
    std::free(words);
    encrypt::cli::standard_output out;
    out.write(line.data(), static_cast<std::size_t>(end - line.data()));
    return out.close(program_name, EXIT_SUCCESS);
}
