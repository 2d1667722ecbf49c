// Internal to the library: a stream of texts in, their result lines out,
// behind encrypt_line_encoder in <encrypt/lines.h>.
#ifndef ENCRYPT_SRC_LINE_ENCODER_HPP
#define ENCRYPT_SRC_LINE_ENCODER_HPP

#include <cstddef>

#include "digits.hpp"

namespace encrypt::detail {

// Takes input in pieces cut anywhere and writes output into buffers of any
// size. A unit never spans two texts, so no text is held whole: only an odd
// last byte, and a carriage return that a line feed may follow, wait for
// the next piece. A line goes straight into the caller's buffer where it
// fits there with the space a digits writer may store past it, and where
// its text has as many readable bytes after it; otherwise it goes a bit at
// a time through a buffer of the encoder's own.
class line_encoder {
public:
    // `separator` ends a text; with `crlf`, a carriage return just before a
    // line feed ends it too. `writer` is the digits writer to use, null for
    // the fastest this CPU runs.
    line_encoder(unsigned char separator, bool crlf,
                 const digits_writer* writer = nullptr) noexcept;

    // Takes what it can of [in, in_end) and writes what it can to
    // [out, out_end), moving `in` and `out` on. Returns once all the input
    // is taken or the output is full.
    void update(const unsigned char*& in, const unsigned char* in_end, char*& out,
                char* out_end) noexcept;
    // Ends the input: a text under way gets the rest of its line. True once
    // everything is written; the encoder is then ready for a new input.
    bool finish(char*& out, char* out_end) noexcept;
    // Drops whatever is under way.
    void reset() noexcept;

private:
    // Units a step through the encoder's own buffer takes.
    static constexpr std::size_t step_units = 512;

    bool put(const char* data, std::size_t size, char*& out, char* out_end) noexcept;
    void drain(char*& out, char* out_end) noexcept;
    bool waiting() const noexcept { return waiting_end_ != waiting_at_; }
    std::size_t put_units(const unsigned char* text, std::size_t length,
                          const unsigned char* readable_end, char*& out, char* out_end) noexcept;
    bool put_byte(unsigned char byte, char*& out, char* out_end) noexcept;
    bool end_text(char*& out, char* out_end) noexcept;

    unsigned char separator_;
    bool crlf_;
    // Chosen once: asking the CPU for each text would cost as much as a short text.
    const digits_writer& writer_;
    bool in_text_ = false;     // the caption of the text under way is written
    bool has_odd_ = false;     // odd_ is the first byte of a unit whose second is to come
    unsigned char odd_ = 0;
    bool has_cr_ = false;      // a carriage return waits for what follows it
    // Output made that found no space yet: waiting_[waiting_at_, waiting_end_).
    std::size_t waiting_at_ = 0;
    std::size_t waiting_end_ = 0;
    char waiting_[8 * step_units + text_padding];
    unsigned char text_[2 * step_units + text_padding];
};

}  // namespace encrypt::detail

#endif  // ENCRYPT_SRC_LINE_ENCODER_HPP
