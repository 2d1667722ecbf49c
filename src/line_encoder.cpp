#include "line_encoder.hpp"

#include <cstring>

#include "line.hpp"

namespace encrypt::detail {

line_encoder::line_encoder(unsigned char separator, bool crlf, const digits_writer* writer) noexcept
    : separator_(separator),
      crlf_(crlf && separator == '\n'),
      writer_(writer != nullptr ? *writer : best_digits_writer()) {
    // What a writer reads past a text here is never used, but it is defined all the same.
    std::memset(text_, 0, sizeof text_);
}

void line_encoder::reset() noexcept {
    in_text_ = has_odd_ = has_cr_ = false;
    waiting_at_ = waiting_end_ = 0;
}

void line_encoder::drain(char*& out, char* out_end) noexcept {
    const auto space = static_cast<std::size_t>(out_end - out);
    const std::size_t size = waiting_end_ - waiting_at_;
    const std::size_t now = size < space ? size : space;
    std::memcpy(out, waiting_ + waiting_at_, now);
    out += now;
    waiting_at_ += now;
    if (waiting_at_ == waiting_end_) {
        waiting_at_ = waiting_end_ = 0;
    }
}

// Bytes after what waits, or what does not fit, wait too: the output keeps
// its order. True when nothing waits.
bool line_encoder::put(const char* data, std::size_t size, char*& out, char* out_end) noexcept {
    if (!waiting()) {
        const auto space = static_cast<std::size_t>(out_end - out);
        const std::size_t now = size < space ? size : space;
        std::memcpy(out, data, now);
        out += now;
        data += now;
        size -= now;
    }
    std::memcpy(waiting_ + waiting_end_, data, size);
    waiting_end_ += size;
    return !waiting();
}

// The digits of the units of `length` bytes of a text, even unless the text
// ends with them (its last unit then takes a zero high byte). Returns how
// many bytes it took: fewer once the output is full and something waits.
// Nothing may wait when it is called.
std::size_t line_encoder::put_units(const unsigned char* text, std::size_t length,
                                    const unsigned char* readable_end, char*& out,
                                    char* out_end) noexcept {
    std::size_t done = 0;
    while (done < length && !waiting()) {
        const std::size_t left = length - done;
        // Straight into the caller's buffer, as many units as have space
        // there and readable bytes after them for what the writer stores
        // and reads past them.
        const auto space = static_cast<std::size_t>(out_end - out);
        const auto readable = static_cast<std::size_t>(readable_end - (text + done));
        std::size_t bytes = space > text_padding ? 2 * ((space - text_padding) / max_digits) : 0;
        bytes = bytes < left ? bytes : left;
        bytes = readable >= bytes + text_padding ? bytes
                : readable > text_padding        ? readable - text_padding
                                                 : 0;
        if (bytes < left) {
            bytes &= ~std::size_t{1};  // a unit's two bytes stay together
        }
        if (bytes != 0) {
            out = writer_.write(out, text + done, bytes);
            done += bytes;
            continue;
        }
        // A step through the encoder's own buffers.
        bytes = left < 2 * step_units ? left : 2 * step_units;
        std::memcpy(text_, text + done, bytes);
        waiting_end_ = static_cast<std::size_t>(writer_.write(waiting_, text_, bytes) - waiting_);
        done += bytes;
        drain(out, out_end);
    }
    return done;
}

// A byte of the text under way, where the units before it are written:
// the first of a unit waits for its partner. True when nothing waits.
bool line_encoder::put_byte(unsigned char byte, char*& out, char* out_end) noexcept {
    if (!has_odd_) {
        odd_ = byte;
        has_odd_ = true;
        return true;
    }
    has_odd_ = false;
    text_[0] = odd_;
    text_[1] = byte;
    const auto end = static_cast<std::size_t>(writer_.write(waiting_ + waiting_end_, text_, 2) - waiting_);
    waiting_end_ = end;
    drain(out, out_end);
    return !waiting();
}

// The text under way ends: an odd last byte takes a zero high byte, and
// the line its line feed.
bool line_encoder::end_text(char*& out, char* out_end) noexcept {
    if (has_odd_) {
        has_odd_ = false;
        text_[0] = odd_;
        const auto end =
            static_cast<std::size_t>(writer_.write(waiting_ + waiting_end_, text_, 1) - waiting_);
        waiting_end_ = end;
        drain(out, out_end);
    }
    in_text_ = false;
    return put("\n", 1, out, out_end);
}

void line_encoder::update(const unsigned char*& in, const unsigned char* in_end, char*& out,
                          char* out_end) noexcept {
    drain(out, out_end);
    while (in < in_end && !waiting()) {
        if (!in_text_) {
            // Whole lines straight into the caller's buffer, as most short
            // texts go, while they fit there with the writer's padding.
            for (;;) {
                const auto* stop = static_cast<const unsigned char*>(
                    std::memchr(in, separator_, static_cast<std::size_t>(in_end - in)));
                if (stop == nullptr) {
                    break;
                }
                auto length = static_cast<std::size_t>(stop - in);
                length -= crlf_ && length > 0 && stop[-1] == '\r' ? 1 : 0;
                if (static_cast<std::size_t>(out_end - out) < most_line_bytes(length) + text_padding ||
                    static_cast<std::size_t>(in_end - in) < length + text_padding) {
                    break;
                }
                std::memcpy(out, caption.data(), caption.size());
                out = writer_.write(out + caption.size(), in, length);
                *out++ = '\n';
                in = stop + 1;
                if (in == in_end) {
                    return;
                }
            }
            in_text_ = true;
            if (!put(caption.data(), caption.size(), out, out_end)) {
                return;
            }
        }
        if (has_cr_) {
            has_cr_ = false;
            if (*in == '\n') {
                ++in;  // CR LF: the text ends with what came before the CR
                end_text(out, out_end);
                continue;
            }
            if (!put_byte('\r', out, out_end)) {
                continue;
            }
        }
        const auto* stop = static_cast<const unsigned char*>(
            std::memchr(in, separator_, static_cast<std::size_t>(in_end - in)));
        const unsigned char* text_end = stop != nullptr ? stop : in_end;
        // A carriage return before the separator is no part of the text;
        // one at the end of the input waits to see what follows it.
        const bool cr = crlf_ && text_end > in && text_end[-1] == '\r';
        text_end -= cr ? 1 : 0;
        if (has_odd_ && in < text_end && !put_byte(*in++, out, out_end)) {
            continue;
        }
        const auto length = static_cast<std::size_t>(text_end - in);
        if (stop != nullptr) {
            const std::size_t taken = put_units(in, length, in_end, out, out_end);
            in += taken;
            if (taken == length) {
                in = stop + 1;
                end_text(out, out_end);
            }
            continue;
        }
        const std::size_t even = length & ~std::size_t{1};
        const std::size_t taken = put_units(in, even, in_end, out, out_end);
        in += taken;
        if (taken == even) {
            if (length != even) {
                put_byte(*in++, out, out_end);
            }
            has_cr_ = cr;
            in += cr ? 1 : 0;
        }
    }
}

bool line_encoder::finish(char*& out, char* out_end) noexcept {
    drain(out, out_end);
    if (waiting()) {
        return false;
    }
    if (has_cr_) {
        // No line feed followed: the carriage return belongs to the text.
        has_cr_ = false;
        put_byte('\r', out, out_end);
    }
    if (in_text_) {
        end_text(out, out_end);
    }
    if (waiting()) {
        return false;
    }
    reset();
    return true;
}

}  // namespace encrypt::detail
