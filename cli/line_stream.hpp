// Internal to the commands: texts arriving in blocks, split anywhere, turned
// into result lines as they come, in fixed buffers whatever their length.
#ifndef ENCRYPT_CLI_LINE_STREAM_HPP
#define ENCRYPT_CLI_LINE_STREAM_HPP

#include <cstddef>

#include "digits.hpp"

namespace encrypt::cli {

struct line_stream_settings {
    // What ends a text: a line feed, or with -z a zero byte.
    unsigned char separator = '\n';
    // Whether a carriage return just before the separator ends the text with
    // it, as in Windows text files.
    bool drop_carriage_return = false;
    // The digits writer to use; null for the fastest this CPU runs.
    const encrypt::detail::digits_writer* writer = nullptr;
};

// Takes the blocks of input in order and hands the finished output, in
// pieces of at most a set size, to a sink. Units never span texts, so a text
// is never held whole: only an odd last byte (and a carriage return that a
// line feed may follow) waits for the next block.
class line_stream {
public:
    // Bytes the digits writers may read past the input and store past the
    // output's room; every buffer has them besides its own size.
    static constexpr std::size_t padding = encrypt::detail::text_padding;

    // Where the output goes: takes `size` bytes at `data`, and returns the
    // buffer to go on in (`data` again, or another of the same size while
    // `data` is still being written), or null when it failed, which ends the
    // work.
    using sink = char* (*)(void* context, char* data, std::size_t size);

    // Bytes of memory the stream needs for blocks of `input_size` bytes and
    // output pieces of `output_size`; the caller provides them to the
    // constructor. Its output buffer comes first and has output_size +
    // padding bytes.
    static std::size_t memory_needed(std::size_t input_size, std::size_t output_size) noexcept;

    line_stream(line_stream_settings settings, void* memory, std::size_t input_size,
                std::size_t output_size, sink out, void* context) noexcept;

    // Where the next block goes, and how long it may be.
    unsigned char* input_space() const noexcept { return input_ + carry_room; }
    std::size_t input_room() const noexcept { return input_size_; }

    // Takes the `size` bytes just placed at input_space(). False once the sink
    // failed.
    bool consume(std::size_t size) noexcept;
    // An input begins; its name is of no concern here.
    void begin(const char*) noexcept {}
    // The input ends: a last text without a separator gets its line too.
    bool end_of_input() noexcept;
    // The input failed: its last text ends where it did.
    bool abandon_line() noexcept { return end_of_input(); }
    // Hands every byte ready so far to the sink.
    bool flush() noexcept;

private:
    // An odd last byte and a carriage return, at most.
    static constexpr std::size_t carry_room = 2;

    bool put(const char* data, std::size_t size) noexcept;
    bool put_units(const unsigned char* text, std::size_t length) noexcept;
    bool end_text(const unsigned char* text, std::size_t length) noexcept;

    line_stream_settings settings_;
    // Chosen once: asking the CPU for each text would cost as much as a short text.
    const encrypt::detail::digits_writer& writer_;
    unsigned char* input_;
    std::size_t input_size_;
    char* output_;
    std::size_t output_size_;
    std::size_t output_used_ = 0;
    std::size_t carry_ = 0;  // bytes held in front of input_space()
    bool in_text_ = false;   // the caption of the text under way is out
    sink sink_;
    void* context_;
};

}  // namespace encrypt::cli

#endif  // ENCRYPT_CLI_LINE_STREAM_HPP
