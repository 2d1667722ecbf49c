#include "decrypt_stream.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace encrypt::cli {

using encrypt::detail::line_decrypter;

std::size_t decrypt_stream::memory_needed(std::size_t input_size,
                                          std::size_t output_size) noexcept {
    return output_size + carry_room + input_size;
}

decrypt_stream::decrypt_stream(unsigned char terminator, void* memory, std::size_t input_size,
                               std::size_t output_size, sink out, reporter report,
                               void* context) noexcept
    : decrypter_(take_text, this),
      terminator_(terminator),
      input_(static_cast<unsigned char*>(memory) + output_size),
      input_size_(input_size),
      output_(static_cast<char*>(memory)),
      output_size_(output_size),
      sink_(out),
      report_(report),
      context_(context) {}

decrypt_stream::~decrypt_stream() { std::free(held_); }

void decrypt_stream::begin(const char* file) noexcept {
    file_ = file;
    line_ = 1;
}

bool decrypt_stream::flush() noexcept {
    if (output_used_ == 0 || sink_failed_) {
        return !sink_failed_;
    }
    char* next = sink_(context_, output_, output_used_);
    if (next == nullptr) {
        sink_failed_ = true;  // the buffer stays, so that the stream holds no null
        return false;
    }
    // The text of the line under way, undecided, moves along; the writer
    // reads only what it was handed.
    std::memmove(next, output_ + output_used_, line_in_output_);
    output_used_ = 0;
    output_ = next;
    return true;
}

bool decrypt_stream::put(const void* data, std::size_t size) noexcept {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        if (output_used_ == output_size_ && !flush()) {
            return false;
        }
        const std::size_t room = output_size_ - output_used_;
        const std::size_t now = size < room ? size : room;
        std::memcpy(output_ + output_used_, bytes, now);
        output_used_ += now;
        bytes += now;
        size -= now;
    }
    return !sink_failed_;
}

// The decrypter's text as it is decided: held back, and let go once there
// is too much of it to hold.
void decrypt_stream::take_text(void* self, const unsigned char* text, std::size_t size) noexcept {
    auto& stream = *static_cast<decrypt_stream*>(self);
    if (stream.line_failed_ || stream.sink_failed_) {
        return;
    }
    // A short text waits in the output itself, after the lines before it,
    // with room for its terminator; a long one moves to a buffer of its own.
    char* waiting = stream.output_ + stream.output_used_;
    if (stream.held_size_ == 0 &&
        size < stream.output_size_ - stream.output_used_ - stream.line_in_output_) {
        std::memcpy(waiting + stream.line_in_output_, text, size);
        stream.line_in_output_ += size;
        return;
    }
    if (stream.line_in_output_ != 0) {
        const std::size_t moving = stream.line_in_output_;
        stream.line_in_output_ = 0;
        stream.hold(reinterpret_cast<const unsigned char*>(waiting), moving);
    }
    stream.hold(text, size);
}

void decrypt_stream::hold(const unsigned char* text, std::size_t size) noexcept {
    if (line_failed_ || (held_size_ + size > most_held_text && !let_held_text_go())) {
        return;
    }
    if (held_size_ + size > held_room_) {
        std::size_t room =
            held_room_ < (std::size_t{64} << 10) ? std::size_t{64} << 10 : 2 * held_room_;
        room = room < held_size_ + size ? held_size_ + size : room;
        room = room < most_held_text ? room : most_held_text;
        auto* grown = static_cast<unsigned char*>(std::realloc(held_, room));
        if (grown == nullptr) {
            line_failed_ = true;
            failure_ = "memory exhausted";
            return;
        }
        held_ = grown;
        held_room_ = room;
    }
    std::memcpy(held_ + held_size_, text, size);
    held_size_ += size;
}

// Whether the text holds the terminator, which fails its line.
bool decrypt_stream::holds_terminator(const void* text, std::size_t size) noexcept {
    if (size == 0 || std::memchr(text, terminator_, size) == nullptr) {
        return false;
    }
    line_failed_ = true;
    failure_ = terminator_ == '\n' ? "the text holds a line feed; use -z"
                                   : "the text holds a zero byte; leave out -z";
    return true;
}

// What is held goes out, unless it holds the terminator.
bool decrypt_stream::let_held_text_go() noexcept {
    if (holds_terminator(held_, held_size_)) {
        return false;
    }
    leaving_ = leaving_ || held_size_ != 0;
    const bool sent = put(held_, held_size_);
    held_size_ = 0;
    return sent;
}

bool decrypt_stream::consume(std::size_t size) noexcept {
    const unsigned char* at = input_space() - carry_;
    const unsigned char* const end = input_space() + size;
    carry_ = 0;
    while (at < end) {
        const auto* line_feed = static_cast<const unsigned char*>(
            std::memchr(at, '\n', static_cast<std::size_t>(end - at)));
        if (line_feed == nullptr) {
            // The line goes on in the next block: what the decrypter wants
            // again waits there, and so does a carriage return that a line
            // feed may follow.
            const std::size_t cr = end[-1] == '\r' ? 1 : 0;
            const auto length = static_cast<std::size_t>(end - at) - cr;
            const std::size_t held = length - decrypter_.feed(at, length) + cr;
            std::memmove(input_space() - held, end - held, held);
            carry_ = held;
            in_line_ = true;
            return !sink_failed_;
        }
        auto length = static_cast<std::size_t>(line_feed - at);
        if (length > 0 && line_feed[-1] == '\r') {
            --length;
        }
        if (!end_line(at, length)) {
            return false;
        }
        at = line_feed + 1;
    }
    return !sink_failed_;
}

bool decrypt_stream::end_line(const unsigned char* bytes, std::size_t size) noexcept {
    const line_decrypter::outcome outcome = decrypter_.finish(bytes, size);
    const std::uint64_t number = line_++;
    in_line_ = false;
    char counted[48];
    const char* failure = nullptr;
    if (outcome == line_decrypter::outcome::not_a_line) {
        failure = "not a result line";
    } else if (outcome == line_decrypter::outcome::ambiguous) {
        const std::uint32_t texts = decrypter_.texts();
        if (texts < line_decrypter::most_texts) {
            std::snprintf(counted, sizeof counted, "%u texts give this line", texts);
        } else {
            std::snprintf(counted, sizeof counted, "more than %u texts give this line",
                          line_decrypter::most_texts - 1);
        }
        failure = counted;
    } else if (outcome == line_decrypter::outcome::no_memory) {
        failure = "memory exhausted";
    } else if (!line_failed_ && held_size_ == 0 && !leaving_) {
        // The text waits in the output: it goes unless it holds the terminator.
        if (!holds_terminator(output_ + output_used_, line_in_output_)) {
            output_used_ += line_in_output_;
            line_in_output_ = 0;
            return put(&terminator_, 1);
        }
        failure = failure_;
    } else if (!line_failed_ && let_held_text_go()) {
        leaving_ = false;
        return put(&terminator_, 1);
    } else if (sink_failed_) {
        return false;
    } else {
        failure = failure_;
    }
    held_size_ = line_in_output_ = 0;
    leaving_ = line_failed_ = false;
    any_failed_ = true;
    if (!flush()) {
        return false;
    }
    char message[4096];
    std::snprintf(message, sizeof message, "%s:%llu: %s", file_,
                  static_cast<unsigned long long>(number), failure);
    report_(context_, message);
    return true;
}

bool decrypt_stream::end_of_input() noexcept {
    if (in_line_ || carry_ != 0) {
        const std::size_t held = carry_;
        carry_ = 0;
        if (!end_line(input_space() - held, held)) {
            return false;
        }
    }
    return flush();
}

bool decrypt_stream::abandon_line() noexcept {
    decrypter_.abandon();
    held_size_ = line_in_output_ = 0;
    leaving_ = line_failed_ = in_line_ = false;
    carry_ = 0;
    return flush();
}

}  // namespace encrypt::cli
