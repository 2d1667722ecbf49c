#include "line_stream.hpp"

#include <cstdint>
#include <cstring>

#include "line.hpp"

namespace encrypt::cli {

using encrypt::detail::caption;

std::size_t line_stream::memory_needed(std::size_t input_size, std::size_t output_size) noexcept {
    return output_size + padding + carry_room + input_size + padding;
}

line_stream::line_stream(line_stream_settings settings, void* memory, std::size_t input_size,
                         std::size_t output_size, sink out, void* context) noexcept
    : settings_(settings),
      writer_(settings.writer != nullptr ? *settings.writer
                                         : encrypt::detail::best_digits_writer()),
      input_(static_cast<unsigned char*>(memory) + output_size + padding),
      input_size_(input_size),
      output_(static_cast<char*>(memory)),
      output_size_(output_size),
      sink_(out),
      context_(context) {
    // What is read past the input is never used, but it is defined all the same.
    std::memset(input_ + carry_room + input_size_, 0, padding);
}

bool line_stream::flush() noexcept {
    if (output_used_ == 0) {
        return true;
    }
    const std::size_t size = output_used_;
    output_used_ = 0;
    char* next = sink_(context_, output_, size);
    if (next == nullptr) {
        return false;  // the buffer stays, so that the stream holds no null
    }
    output_ = next;
    return true;
}

bool line_stream::put(const char* data, std::size_t size) noexcept {
    if (output_size_ - output_used_ < size && !flush()) {
        return false;
    }
    std::memcpy(output_ + output_used_, data, size);
    output_used_ += size;
    return true;
}

// The digits of the units of `length` bytes, which is even unless the text
// ends with them (the last unit then takes a zero high byte). The padding
// past the input and past the output's room takes what the writer reads and
// stores beyond them.
bool line_stream::put_units(const unsigned char* text, std::size_t length) noexcept {
    while (length > 0) {
        // A writer needs room for eight digits a unit, whatever it writes.
        const std::size_t units = (output_size_ - output_used_) / encrypt::detail::max_digits;
        if (units == 0) {
            if (!flush()) {
                return false;
            }
            continue;
        }
        const std::size_t bytes = length < 2 * units ? length : 2 * units;
        char* end = writer_.write(output_ + output_used_, text, bytes);
        output_used_ = static_cast<std::size_t>(end - output_);
        text += bytes;
        length -= bytes;
    }
    return true;
}

bool line_stream::end_text(const unsigned char* text, std::size_t length) noexcept {
    if ((!in_text_ && !put(caption.data(), caption.size())) || !put_units(text, length) ||
        !put("\n", 1)) {
        return false;
    }
    in_text_ = false;
    return true;
}

bool line_stream::consume(std::size_t size) noexcept {
    const unsigned char* at = input_space() - carry_;
    const unsigned char* const end = input_space() + size;
    carry_ = 0;
    while (at < end) {
        const auto* stop = static_cast<const unsigned char*>(
            std::memchr(at, settings_.separator, static_cast<std::size_t>(end - at)));
        if (stop == nullptr) {
            // The text goes on in the next block: an odd last byte waits
            // for its partner, and a carriage return for what follows it.
            const auto length = static_cast<std::size_t>(end - at);
            std::size_t held = settings_.drop_carriage_return && end[-1] == '\r' ? 1 : 0;
            held += (length - held) % 2;
            if (!in_text_) {
                if (!put(caption.data(), caption.size())) {
                    return false;
                }
                in_text_ = true;
            }
            if (!put_units(at, length - held)) {
                return false;
            }
            std::memmove(input_space() - held, end - held, held);
            carry_ = held;
            return true;
        }
        auto length = static_cast<std::size_t>(stop - at);
        if (settings_.drop_carriage_return && length > 0 && stop[-1] == '\r') {
            --length;
        }
        if (!in_text_ && output_size_ - output_used_ >= encrypt::detail::most_line_bytes(length)) {
            // The whole line fits: one step, as most short texts take it.
            char* out = output_ + output_used_;
            std::memcpy(out, caption.data(), caption.size());
            out = writer_.write(out + caption.size(), at, length);
            *out++ = '\n';
            output_used_ = static_cast<std::size_t>(out - output_);
        } else if (!end_text(at, length)) {
            return false;
        }
        at = stop + 1;
    }
    return true;
}

bool line_stream::end_of_input() noexcept {
    if (in_text_) {
        // What was held back belongs to the last text, a carriage return too.
        const std::size_t held = carry_;
        carry_ = 0;
        if (!end_text(input_space() - held, held)) {
            return false;
        }
    }
    return flush();
}

}  // namespace encrypt::cli
