// The command's result line against printf's "%lx" for every word, through
// every digits writer this CPU can run; and the C interface's digits and line
// of the input taken as a text, in buffers of exactly their capacity.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <encrypt/encrypt.h>

#include "reference.hpp"
#include "result_line.hpp"

namespace {

constexpr std::size_t caption_size = sizeof ENCRYPT_CAPTION - 1;

void check(bool ok) {
    if (!ok) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint32_t> words(size / 4);
    if (!words.empty()) {
        std::memcpy(words.data(), data, words.size() * sizeof(std::uint32_t));
    }
    const auto count = static_cast<std::uint32_t>(words.size());

    std::string expected_digits;
    for (const std::uint32_t word : words) {
        expected_digits += encrypt::test::printf_hex(word);
    }
    const std::string expected = "Encrypted data in hexadecimal format: " + expected_digits + '\n';

    // Exactly the capacity the command allocates, so any overrun is caught.
    const std::size_t capacity = encrypt::detail::result_line_capacity(count);
    std::unique_ptr<char[]> line(new char[capacity]);
    const std::size_t length = encrypt::detail::format_result_line(line.get(), words.data(), count);
    check(length <= capacity);
    check(std::string(line.get(), length) == expected);

    for (std::size_t w = 0; w < encrypt::detail::digits_writer_count; ++w) {
        const auto& writer = encrypt::detail::digits_writers[w];
        if (!writer.supported()) {
            continue;
        }
        std::unique_ptr<char[]> digits(new char[std::size_t{count} * 8 + 1]);
        const char* end = writer.write(digits.get(), words.data(), count);
        check(std::string(digits.get(), static_cast<std::size_t>(end - digits.get())) ==
              expected_digits);
    }

    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto text_length = static_cast<std::uint32_t>(size);
    const std::string line_wanted = encrypt::test::reference_result_line(text, "\n");
    std::unique_ptr<char[]> hex(new char[encrypt_hex_capacity(text_length)]);
    const std::size_t digits = encrypt_hex(hex.get(), text.data(), text_length);
    check(std::string(hex.get(), digits + 1) ==
          line_wanted.substr(caption_size, line_wanted.size() - caption_size - 1) + '\0');
    std::unique_ptr<char[]> text_line(new char[encrypt_line_capacity(text_length)]);
    const std::size_t line_size = encrypt_line(text_line.get(), text.data(), text_length);
    check(std::string(text_line.get(), line_size + 1) == line_wanted + '\0');
    return 0;
}
