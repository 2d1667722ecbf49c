#include "line_stream.hpp"

#include <cstdint>
#include <cstring>
#include <string_view>

namespace encrypt::cli {
namespace {

// Output gathered before it goes to the sink, when the input does not end
// first: large writes, so that no text costs a system call of its own.
constexpr std::size_t output_size = std::size_t{1} << 20;

constexpr std::string_view caption = encrypt::detail::caption_text;

}  // namespace

std::size_t line_stream::memory_needed(std::size_t input_size) noexcept {
    return output_size + carry_room + input_size;
}

line_stream::line_stream(line_stream_settings settings, void* memory, std::size_t input_size,
                         sink out, void* context) noexcept
    : settings_(settings),
      kernel_(encrypt::detail::best_kernel()),
      writer_(encrypt::detail::best_digits_writer()),
      input_(static_cast<unsigned char*>(memory) + output_size),
      input_size_(input_size),
      output_(static_cast<char*>(memory)),
      sink_(out),
      context_(context) {}

bool line_stream::flush() noexcept {
    if (output_used_ == 0) {
        return true;
    }
    const std::size_t size = output_used_;
    output_used_ = 0;
    return sink_(context_, output_, size);
}

bool line_stream::reserve(std::size_t bytes) noexcept {
    return output_size - output_used_ >= bytes || flush();
}

// The digits of the units of `length` bytes, which is even unless the text
// ends with them (the last unit then takes a zero high byte).
bool line_stream::put_units(const unsigned char* text, std::size_t length) noexcept {
    while (length > 0) {
        // A writer needs room for eight digits a word, whatever it writes.
        const std::size_t units = (output_size - output_used_) / 8;
        if (units == 0) {
            if (!flush()) {
                return false;
            }
            continue;
        }
        const std::size_t bytes = length < 2 * units ? length : 2 * units;
        char* end = encrypt::detail::write_text_digits(output_ + output_used_, text, bytes, kernel_,
                                                       writer_);
        output_used_ = static_cast<std::size_t>(end - output_);
        text += bytes;
        length -= bytes;
    }
    return true;
}

bool line_stream::end_text(const unsigned char* text, std::size_t length) noexcept {
    if (!put_units(text, length) || !reserve(1)) {
        return false;
    }
    output_[output_used_++] = '\n';
    in_text_ = false;
    return true;
}

bool line_stream::consume(std::size_t size) noexcept {
    const unsigned char* at = input_space() - carry_;
    const unsigned char* const end = input_space() + size;
    carry_ = 0;
    while (at < end) {
        if (!in_text_) {
            if (!reserve(caption.size())) {
                return false;
            }
            std::memcpy(output_ + output_used_, caption.data(), caption.size());
            output_used_ += caption.size();
            in_text_ = true;
        }
        const auto* stop = static_cast<const unsigned char*>(
            std::memchr(at, settings_.separator, static_cast<std::size_t>(end - at)));
        if (stop == nullptr) {
            // The text goes on in the next block: an odd last byte waits
            // for its partner, and a carriage return for what follows it.
            const auto length = static_cast<std::size_t>(end - at);
            std::size_t held = settings_.drop_carriage_return && end[-1] == '\r' ? 1 : 0;
            held += (length - held) % 2;
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
        if (!end_text(at, length)) {
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
