// The digits of arbitrary words against printf's "%lx"; every digits writer
// this CPU can run on the input taken as a text, with its padding; and the C
// interface's digits and line in buffers of exactly their capacity.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <encrypt/encrypt.h>

#include "digits.hpp"
#include "reference.hpp"

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
    std::string expected_words;
    for (const std::uint32_t word : words) {
        expected_words += encrypt::test::printf_hex(word);
    }
    std::unique_ptr<char[]> formatted(new char[words.size() * 8 + 1]);
    char* end = formatted.get();
    for (const std::uint32_t word : words) {
        end = encrypt::detail::format_hex(end, word);
    }
    check(std::string(formatted.get(), static_cast<std::size_t>(end - formatted.get())) == expected_words);

    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto length = static_cast<std::uint32_t>(size);
    const std::string line_wanted = encrypt::test::reference_result_line(text, "\n");
    const std::string digits_wanted =
        line_wanted.substr(caption_size, line_wanted.size() - caption_size - 1);
    const std::size_t digits_room = (size / 2 + size % 2) * 8;
    std::vector<unsigned char> padded(size + encrypt::detail::text_padding, 0xa5);
    std::memcpy(padded.data(), data, size);
    for (std::size_t w = 0; w < encrypt::detail::digits_writer_count; ++w) {
        const auto& writer = encrypt::detail::digits_writers[w];
        if (!writer.supported()) {
            continue;
        }
        std::vector<char> with_padding(digits_room + encrypt::detail::text_padding);
        end = writer.write(with_padding.data(), padded.data(), size);
        check(std::string(with_padding.data(),
                          static_cast<std::size_t>(end - with_padding.data())) == digits_wanted);
    }

    std::unique_ptr<char[]> hex(new char[encrypt_hex_capacity(length)]);
    const std::size_t digits = encrypt_hex(hex.get(), text.data(), length);
    check(std::string(hex.get(), digits + 1) == digits_wanted + '\0');
    std::unique_ptr<char[]> text_line(new char[encrypt_line_capacity(length)]);
    const std::size_t line_size = encrypt_line(text_line.get(), text.data(), length);
    check(std::string(text_line.get(), line_size + 1) == line_wanted + '\0');
    return 0;
}
