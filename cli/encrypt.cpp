// The encrypt command: encrypts its one argument and prints the words in hex.
#include <encrypt/encryption.hpp>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "output.hpp"
#include "prefault.hpp"
#include "result_line.hpp"
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
    const std::uint32_t count = n / 2 + (n & 1u);

    std::uint32_t* words = encrypt::_encryption(text, n);
    if (count != 0 && words == nullptr) {
        return memory_exhausted();
    }
    // The line is made in the words' own block, grown to the line's size: the
    // pages the words already fill need no mapping again, which for a long
    // text costs more than all the arithmetic. The words move to the end of
    // the block first, out of the way of the line written from its start.
    const std::size_t capacity = encrypt::detail::result_line_capacity(count);
    const std::size_t word_bytes = std::size_t{count} * sizeof(std::uint32_t);
    char* line = capacity != 0 ? static_cast<char*>(std::realloc(words, capacity)) : nullptr;
    if (line == nullptr) {
        std::free(words);
        return memory_exhausted();
    }
    encrypt::detail::prefault_for_writing(line + word_bytes, capacity - word_bytes);
    auto* moved = reinterpret_cast<std::uint32_t*>(
        line + ((capacity - word_bytes) & ~(alignof(std::uint32_t) - 1)));
    std::memmove(moved, line, word_bytes);
    const std::size_t size = encrypt::detail::format_result_line(line, moved, count);
    encrypt::cli::standard_output out;
    out.write(line, size);
    std::free(line);
    return out.close(program_name, EXIT_SUCCESS);
}
