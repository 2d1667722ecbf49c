// Internal to the library: a stream of result lines in, their texts out,
// behind encrypt_line_decoder in <encrypt/lines.h>.
#ifndef ENCRYPT_SRC_LINE_DECODER_HPP
#define ENCRYPT_SRC_LINE_DECODER_HPP

#include <cstddef>
#include <cstdint>

#include "decrypt.hpp"

namespace encrypt::detail {

// The message for a code of <encrypt/decrypt.h> or <encrypt/lines.h> that
// stands for no text, into `out` of ENCRYPT_REASON_SIZE bytes.
const char* write_reason(char* out, std::ptrdiff_t code, std::uint32_t texts) noexcept;

// Lines end at a line feed, a carriage return just before it taken as part
// of the line end; a last line needs none. Each text goes out followed by
// the terminator once its line is decided. Until then it waits: in the
// caller's output buffer while it fits there and the call lasts, else in a
// buffer of the decoder's own, up to most_held_text. Past that it goes out
// as it is decided; a line that fails then stops the stream, so that no
// text ever runs into the next one.
class line_decoder {
public:
    static constexpr std::size_t most_held_text = std::size_t{16} << 20;

    // `node_capacity` sets the decrypter's first node arena smaller than its own,
    // so that tests reach what it does once that is full.
    explicit line_decoder(unsigned char terminator,
                          std::size_t node_capacity = line_decrypter::inline_nodes) noexcept;
    ~line_decoder();
    line_decoder(const line_decoder&) = delete;
    line_decoder& operator=(const line_decoder&) = delete;

    // As encrypt_line_decoder_update(), _finish(), _abandon() and _reset():
    // update() and finish() return ENCRYPT_LINES_OK, ENCRYPT_LINES_END (only
    // finish()), a failed line's code, or ENCRYPT_STOPPED.
    int update(const unsigned char*& in, const unsigned char* in_end, char*& out,
               char* out_end) noexcept;
    int finish(char*& out, char* out_end) noexcept;
    int abandon() noexcept;
    void reset() noexcept;
    // The last failed line's number and message; "" before any failed.
    const char* failure(std::uint64_t* line) const noexcept;

private:
    // The bytes the decrypter wants again (fewer than 64), and as many more.
    static constexpr std::size_t carry_capacity = 128;
    // Bytes of a line fed at a time, so that what one feed decides at once,
    // which may have to wait for space in the output, stays small.
    static constexpr std::size_t feed_piece = std::size_t{64} << 10;

    static void take_text(void* self, const unsigned char* text, std::size_t size) noexcept;
    void send(const unsigned char* text, std::size_t size) noexcept;
    bool hold(const unsigned char* text, std::size_t size) noexcept;
    bool let_go() noexcept;
    bool holds_terminator(const void* text, std::size_t size) noexcept;
    void drain() noexcept;
    bool waiting() const noexcept {
        return (queued_ && held_at_ < held_size_) || terminator_waits_;
    }
    const unsigned char* feed(const unsigned char* in, const unsigned char* end) noexcept;
    int end_line(const unsigned char* in, std::size_t size) noexcept;
    int fail(std::uint64_t line, int code) noexcept;
    void keep_tentative() noexcept;

    line_decrypter decrypter_;
    unsigned char terminator_;
    // The caller's output during a call.
    char* out_ = nullptr;
    char* out_end_ = nullptr;
    unsigned char carry_[carry_capacity];
    std::size_t carry_size_ = 0;
    bool has_cr_ = false;   // the input so far ends in a carriage return, not yet fed
    bool in_line_ = false;  // bytes of the line under way have been read
    std::uint64_t line_ = 1;
    // The decided text of the line under way: `tentative_` bytes at out_
    // while it is short, else in held_. Once the line is decided, or its
    // text goes out as decided, held_[held_at_, held_size_) is output that
    // waits for space (queued_).
    std::size_t tentative_ = 0;
    unsigned char* held_ = nullptr;
    std::size_t held_size_ = 0;
    std::size_t held_at_ = 0;
    std::size_t held_capacity_ = 0;
    bool queued_ = false;
    bool terminator_waits_ = false;
    bool leaving_ = false;  // some of the line's text has gone out
    int line_failure_ = 0;  // what failed the line before its end, if anything
    bool stopped_ = false;
    std::uint64_t failed_line_ = 0;
    char message_[128] = "";
};

}  // namespace encrypt::detail

#endif  // ENCRYPT_SRC_LINE_DECODER_HPP
