#include "line_stream.hpp"

#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#  include <emmintrin.h>
#endif

namespace encrypt::cli {
namespace {

constexpr std::string_view caption = encrypt::detail::caption_text;

// The separators of a block, in order. Most texts are short, and memchr's
// set-up would cost as much as a short text's scan: the block is compared 64
// bytes a step instead, each step giving a bit for every separator, which
// may read up to 63 bytes past the block (its padding holds them), and
// masks off what it finds there.
class separators {
public:
    separators(const unsigned char* from, const unsigned char* end,
               unsigned char separator) noexcept
        : chunk_(from), end_(end), separator_(separator), found_(found_in(from)) {}

    // The next separator, or null when the block has no more.
    const unsigned char* next() noexcept {
        while (found_ == 0) {
            chunk_ += 64;
            if (chunk_ >= end_) {
                return nullptr;
            }
            found_ = found_in(chunk_);
        }
        const unsigned char* at = chunk_ + std::countr_zero(found_);
        found_ &= found_ - 1;
        return at;
    }

private:
    // The separators of the 64 bytes at `chunk` that lie before the end:
    // what lies past it is never looked at, not even by a branch.
    std::uint64_t found_in(const unsigned char* chunk) const noexcept {
        const auto before_end = static_cast<std::size_t>(end_ - chunk);
        const std::uint64_t found = all_found_in(chunk);
        return before_end >= 64 ? found : found & ((std::uint64_t{1} << before_end) - 1);
    }

    std::uint64_t all_found_in(const unsigned char* chunk) const noexcept {
#if defined(__SSE2__)
        const __m128i wanted = _mm_set1_epi8(static_cast<char>(separator_));
        std::uint64_t found = 0;
        for (int part = 0; part < 4; ++part) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(chunk) + part);
            found |= static_cast<std::uint64_t>(
                         static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, wanted))))
                     << (16 * part);
        }
        return found;
#else
        std::uint64_t found = 0;
        for (int i = 0; i < 64; ++i) {
            found |= static_cast<std::uint64_t>(chunk[i] == separator_) << i;
        }
        return found;
#endif
    }

    const unsigned char* chunk_;
    const unsigned char* end_;
    unsigned char separator_;
    std::uint64_t found_;
};

}  // namespace

// The writers may read and write this far past a text and its room, and
// the search for a separator as far past the input.
constexpr std::size_t padding = encrypt::detail::text_padding;
static_assert(padding >= 63, "the separators' last step");

std::size_t line_stream::memory_needed(std::size_t input_size) noexcept {
    return output_buffer_size + carry_room + input_size + padding;
}

line_stream::line_stream(line_stream_settings settings, void* memory, std::size_t input_size,
                         sink out, void* context) noexcept
    : settings_(settings),
      writer_(encrypt::detail::best_digits_writer()),
      input_(static_cast<unsigned char*>(memory) + output_buffer_size),
      input_size_(input_size),
      output_(static_cast<char*>(memory)),
      sink_(out),
      context_(context) {
    // What a writer reads past the input is cleared before use, but the
    // padding holds defined bytes all the same.
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
        char* end = writer_.write_text(output_ + output_used_, text, bytes);
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

bool line_stream::begin_text() noexcept {
    if (!reserve(caption.size())) {
        return false;
    }
    std::memcpy(output_ + output_used_, caption.data(), caption.size());
    output_used_ += caption.size();
    in_text_ = true;
    return true;
}

bool line_stream::consume(std::size_t size) noexcept {
    const unsigned char* at = input_space() - carry_;
    const unsigned char* const end = input_space() + size;
    carry_ = 0;
    separators ahead(at, end, settings_.separator);
    while (at < end) {
        const unsigned char* stop = ahead.next();
        if (stop == nullptr) {
            // The text goes on in the next block: an odd last byte waits
            // for its partner, and a carriage return for what follows it.
            const auto length = static_cast<std::size_t>(end - at);
            std::size_t held = settings_.drop_carriage_return && end[-1] == '\r' ? 1 : 0;
            held += (length - held) % 2;
            if ((!in_text_ && !begin_text()) || !put_units(at, length - held)) {
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
        if (!in_text_ && output_size - output_used_ >= caption.size() + 4 * length + 9) {
            // The whole line fits: one step, as most short texts take it
            // (room for eight digits a unit, a unit for two bytes begun).
            // The padding past the input block and past the output's room
            // takes what the writer reads and writes beyond them.
            char* out = output_ + output_used_;
            std::memcpy(out, caption.data(), caption.size());
            out = writer_.write_padded_text(out + caption.size(), at, length);
            *out++ = '\n';
            output_used_ = static_cast<std::size_t>(out - output_);
        } else if ((!in_text_ && !begin_text()) || !end_text(at, length)) {
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
