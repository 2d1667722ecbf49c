// Internal to encrypt-lines: result lines arriving in blocks, split
// anywhere, turned back into their texts as they come.
#ifndef ENCRYPT_CLI_DECRYPT_STREAM_HPP
#define ENCRYPT_CLI_DECRYPT_STREAM_HPP

#include <cstddef>
#include <cstdint>

#include "decrypt.hpp"

namespace encrypt::cli {

// Lines end at a line feed, a carriage return just before it dropped; a
// last line needs none. Each line's text goes out followed by the
// terminator, or, where the line has none, a message names the file and
// the line. A text is held back until its line is decided, up to
// most_held_text; past that it goes out as it is decided, and a line that
// fails after that gets no terminator.
class decrypt_stream {
public:
    static constexpr std::size_t most_held_text = std::size_t{16} << 20;

    // As line_stream's sink: takes `size` bytes at `data` and returns the
    // buffer to go on in, or null once it failed.
    using sink = char* (*)(void* context, char* data, std::size_t size);
    // Says a line's message, "FILE:LINE: WHAT", once what went before it is out.
    using reporter = void (*)(void* context, const char* message);

    // Bytes of memory the stream needs for blocks of `input_size` bytes and
    // output pieces of `output_size`; its output buffer comes first.
    static std::size_t memory_needed(std::size_t input_size, std::size_t output_size) noexcept;

    decrypt_stream(unsigned char terminator, void* memory, std::size_t input_size,
                   std::size_t output_size, sink out, reporter report, void* context) noexcept;
    ~decrypt_stream();
    decrypt_stream(const decrypt_stream&) = delete;
    decrypt_stream& operator=(const decrypt_stream&) = delete;

    // A new input, named `file` in messages, its lines counted from 1.
    void begin(const char* file) noexcept;
    unsigned char* input_space() const noexcept { return input_ + carry_room; }
    std::size_t input_room() const noexcept { return input_size_; }
    // Takes the `size` bytes just placed at input_space(). False once the
    // sink failed.
    bool consume(std::size_t size) noexcept;
    // The input ends: a last line without a line feed is read too.
    bool end_of_input() noexcept;
    // The input failed: the line in progress is dropped undecided.
    bool abandon_line() noexcept;
    // Hands every byte ready so far to the sink.
    bool flush() noexcept;
    // Whether some line had no text to write.
    bool any_failed() const noexcept { return any_failed_; }

private:
    // The bytes the decrypter wants again, and a carriage return.
    static constexpr std::size_t carry_room = 64;

    static void take_text(void* self, const unsigned char* text, std::size_t size) noexcept;
    void hold(const unsigned char* text, std::size_t size) noexcept;
    bool end_line(const unsigned char* bytes, std::size_t size) noexcept;
    bool holds_terminator(const void* text, std::size_t size) noexcept;
    bool let_held_text_go() noexcept;
    bool put(const void* data, std::size_t size) noexcept;

    encrypt::detail::line_decrypter decrypter_;
    unsigned char terminator_;
    unsigned char* input_;
    std::size_t input_size_;
    char* output_;
    std::size_t output_size_;
    std::size_t output_used_ = 0;
    sink sink_;
    reporter report_;
    void* context_;
    const char* file_ = "-";
    std::uint64_t line_ = 1;
    std::size_t carry_ = 0;  // bytes held in front of input_space()
    bool in_line_ = false;   // bytes of the line under way have been read
    // The decided text of the line under way, held back while it may fail:
    // in the output after output_used_ while it is short, else in held_.
    std::size_t line_in_output_ = 0;
    unsigned char* held_ = nullptr;
    std::size_t held_size_ = 0;
    std::size_t held_room_ = 0;
    bool leaving_ = false;           // some of the text has gone out
    bool line_failed_ = false;       // the text holds the terminator, or memory ran short
    const char* failure_ = nullptr;  // what went wrong then
    bool sink_failed_ = false;
    bool any_failed_ = false;
};

}  // namespace encrypt::cli

#endif  // ENCRYPT_CLI_DECRYPT_STREAM_HPP
