#include "line_decoder.hpp"

#include <encrypt/lines.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace encrypt::detail {

const char* write_reason(char* out, std::ptrdiff_t code, std::uint32_t texts) noexcept {
    const char* reason = "not a result line";
    switch (code) {
        case ENCRYPT_AMBIGUOUS:
            if (texts < line_decrypter::most_texts) {
                std::snprintf(out, ENCRYPT_REASON_SIZE, "%u texts give this line",
                              static_cast<unsigned>(texts));
            } else {
                std::snprintf(out, ENCRYPT_REASON_SIZE, "more than %u texts give this line",
                              static_cast<unsigned>(line_decrypter::most_texts - 1));
            }
            return out;
        case ENCRYPT_NO_MEMORY:
            reason = "memory exhausted";
            break;
        case ENCRYPT_HOLDS_LINE_FEED:
            reason = "the text holds a line feed: separate texts by zero bytes";
            break;
        case ENCRYPT_HOLDS_ZERO:
            reason = "the text holds a zero byte: separate texts by line feeds";
            break;
        case ENCRYPT_STOPPED:
            reason = "the stream stopped at an earlier line";
            break;
        default:
            break;
    }
    std::snprintf(out, ENCRYPT_REASON_SIZE, "%s", reason);
    return out;
}

line_decoder::line_decoder(unsigned char terminator, std::size_t node_capacity) noexcept
    : decrypter_(take_text, this, node_capacity), terminator_(terminator) {}

line_decoder::~line_decoder() { std::free(held_); }

void line_decoder::reset() noexcept {
    decrypter_.abandon();
    carry_size_ = 0;
    has_cr_ = in_line_ = false;
    line_ = 1;
    tentative_ = held_size_ = held_at_ = 0;
    queued_ = terminator_waits_ = leaving_ = stopped_ = false;
    line_failure_ = 0;
    failed_line_ = 0;
    message_[0] = '\0';
}

const char* line_decoder::failure(std::uint64_t* line) const noexcept {
    if (line != nullptr) {
        *line = failed_line_;
    }
    return message_;
}

// Output that waits for space goes first, the terminator after its text.
void line_decoder::drain() noexcept {
    if (queued_) {
        const auto space = static_cast<std::size_t>(out_end_ - out_);
        const std::size_t size = held_size_ - held_at_;
        const std::size_t now = size < space ? size : space;
        std::memcpy(out_, held_ + held_at_, now);
        out_ += now;
        held_at_ += now;
        if (held_at_ == held_size_) {
            held_at_ = held_size_ = 0;
            queued_ = leaving_;  // while text goes out as decided, it queues here
        }
    }
    // Text still queued has filled the output.
    if (terminator_waits_ && out_ < out_end_) {
        *out_++ = static_cast<char>(terminator_);
        terminator_waits_ = false;
    }
}

// Appends to held_, growing it as needed: up to most_held_text while text
// is held back, and as much again for what a line may decide at once while
// its text goes out. False when the memory cannot be had, which fails the
// line.
bool line_decoder::hold(const unsigned char* text, std::size_t size) noexcept {
    if (held_at_ != 0) {
        std::memmove(held_, held_ + held_at_, held_size_ - held_at_);
        held_size_ -= held_at_;
        held_at_ = 0;
    }
    if (held_size_ + size > held_capacity_) {
        // Doubling up to the hold-back limit; past it, while text goes out,
        // only as much as a feed adds.
        constexpr std::size_t first = std::size_t{64} << 10;
        constexpr std::size_t most = 2 * most_held_text + feed_piece;
        std::size_t space = held_capacity_ < first ? first : 2 * held_capacity_;
        if (space > most_held_text) {
            space = held_capacity_ < most_held_text ? most_held_text : held_size_ + size + feed_piece;
        }
        space = space < held_size_ + size ? held_size_ + size : space;
        space = space < most ? space : most;
        auto* grown = held_size_ + size > space
                          ? nullptr
                          : static_cast<unsigned char*>(std::realloc(held_, space));
        if (grown == nullptr) {
            line_failure_ = ENCRYPT_NO_MEMORY;
            return false;
        }
        held_ = grown;
        held_capacity_ = space;
    }
    std::memcpy(held_ + held_size_, text, size);
    held_size_ += size;
    return true;
}

// Whether the text holds the terminator, which fails its line: it would
// split into two records.
bool line_decoder::holds_terminator(const void* text, std::size_t size) noexcept {
    if (size == 0 || std::memchr(text, terminator_, size) == nullptr) {
        return false;
    }
    line_failure_ = terminator_ == '\n' ? ENCRYPT_HOLDS_LINE_FEED : ENCRYPT_HOLDS_ZERO;
    return true;
}

// Text of a line that is going out: into the caller's buffer while nothing
// waits and it has space, else into the queue. A text that holds the
// terminator would split into two records: it fails the line instead.
void line_decoder::send(const unsigned char* text, std::size_t size) noexcept {
    if (holds_terminator(text, size)) {
        return;
    }
    if (!waiting()) {
        const auto space = static_cast<std::size_t>(out_end_ - out_);
        const std::size_t now = size < space ? size : space;
        std::memcpy(out_, text, now);
        out_ += now;
        text += now;
        size -= now;
    }
    if (size != 0 && hold(text, size)) {
        queued_ = true;
    }
}

// The text held back goes out from now on, unless it holds the terminator.
bool line_decoder::let_go() noexcept {
    if (holds_terminator(held_, held_size_)) {
        return false;
    }
    leaving_ = queued_ = true;
    drain();
    return true;
}

// The decrypter's text as it is decided.
void line_decoder::take_text(void* self, const unsigned char* text, std::size_t size) noexcept {
    auto& decoder = *static_cast<line_decoder*>(self);
    if (decoder.line_failure_ != 0) {
        return;
    }
    if (decoder.leaving_) {
        decoder.send(text, size);
        return;
    }
    const auto space = static_cast<std::size_t>(decoder.out_end_ - decoder.out_);
    const bool past_limit = decoder.held_size_ + decoder.tentative_ + size > most_held_text;
    if (decoder.held_size_ == 0 && past_limit) {
        // What waits in the caller's buffer goes out where it is.
        if (decoder.holds_terminator(decoder.out_, decoder.tentative_)) {
            return;
        }
        decoder.out_ += decoder.tentative_;
        decoder.tentative_ = 0;
        decoder.leaving_ = true;
        decoder.send(text, size);
        return;
    }
    if (decoder.held_size_ == 0 && size <= space - decoder.tentative_) {
        std::memcpy(decoder.out_ + decoder.tentative_, text, size);
        decoder.tentative_ += size;
        return;
    }
    decoder.keep_tentative();
    if (decoder.held_size_ + size > most_held_text) {
        if (decoder.line_failure_ == 0 && decoder.let_go()) {
            decoder.send(text, size);
        }
        return;
    }
    decoder.hold(text, size);
}

// The text waiting in the caller's buffer moves to held_: more comes than
// fits there, or the call ends and the buffer is the caller's again.
void line_decoder::keep_tentative() noexcept {
    if (tentative_ != 0) {
        const std::size_t size = tentative_;
        tentative_ = 0;
        hold(reinterpret_cast<const unsigned char*>(out_), size);
    }
}

// Feeds the line's bytes [in, end), which do not end it, and returns how
// far it took them: to `end` (what the decrypter wants again waits in
// carry_), or less while text goes out as decided and waits for space.
const unsigned char* line_decoder::feed(const unsigned char* in, const unsigned char* end) noexcept {
    in_line_ = true;
    while (in < end) {
        if (leaving_ && waiting()) {
            return in;
        }
        if (carry_size_ != 0) {
            // What was wanted again, joined with the bytes that follow it.
            const std::size_t added = static_cast<std::size_t>(end - in) < carry_capacity - carry_size_
                                          ? static_cast<std::size_t>(end - in)
                                          : carry_capacity - carry_size_;
            std::memcpy(carry_ + carry_size_, in, added);
            const std::size_t size = carry_size_ + added;
            const std::size_t used = decrypter_.feed(carry_, size);
            if (used >= carry_size_) {
                in += used - carry_size_;
                carry_size_ = 0;
            } else {
                std::memmove(carry_, carry_ + used, size - used);
                carry_size_ = size - used;
                in += added;
            }
            continue;
        }
        std::size_t size = static_cast<std::size_t>(end - in);
        size = size < feed_piece ? size : feed_piece;
        const std::size_t used = decrypter_.feed(in, size);
        in += used;
        if (in + (size - used) == end) {
            std::memcpy(carry_, in, size - used);
            carry_size_ = size - used;
            in = end;
        }
    }
    return in;
}

// The line's last bytes, `size` at `in`, or where the decrypter wants some
// again, those in carry_ (the rest of the line fed already): the line is
// decided, and its text goes out or it fails.
int line_decoder::end_line(const unsigned char* in, std::size_t size) noexcept {
    if (carry_size_ != 0) {
        in = carry_;
        size = carry_size_;
        carry_size_ = 0;
    }
    const line_decrypter::outcome outcome = decrypter_.finish(in, size);
    const std::uint64_t number = line_++;
    in_line_ = false;
    int code = line_failure_;
    if (outcome == line_decrypter::outcome::not_a_line) {
        code = ENCRYPT_NOT_A_LINE;
    } else if (outcome == line_decrypter::outcome::ambiguous) {
        code = ENCRYPT_AMBIGUOUS;
    } else if (outcome == line_decrypter::outcome::no_memory) {
        code = ENCRYPT_NO_MEMORY;
    } else if (code == 0 && leaving_) {
        leaving_ = false;
        queued_ = held_at_ < held_size_;
        terminator_waits_ = true;
        drain();
        return ENCRYPT_LINES_OK;
    } else if (code == 0 && held_size_ == 0 && !holds_terminator(out_, tentative_)) {
        out_ += tentative_;
        tentative_ = 0;
        terminator_waits_ = true;
        drain();
        return ENCRYPT_LINES_OK;
    } else if (code == 0 && held_size_ != 0 && !holds_terminator(held_, held_size_)) {
        queued_ = terminator_waits_ = true;
        drain();
        return ENCRYPT_LINES_OK;
    }
    code = code != 0 ? code : line_failure_;
    return fail(number, code);
}

// Line `line` gives no text: what it decided so far is dropped, and where
// some of it went out already, the stream stops.
int line_decoder::fail(std::uint64_t line, int code) noexcept {
    stopped_ = leaving_;
    tentative_ = held_size_ = held_at_ = 0;
    queued_ = leaving_ = false;
    line_failure_ = 0;
    failed_line_ = line;
    char reason[ENCRYPT_REASON_SIZE];
    write_reason(reason, code, decrypter_.texts());
    std::snprintf(message_, sizeof message_, "%s%s", reason,
                  stopped_ ? "; the output stops after part of its text" : "");
    return stopped_ ? ENCRYPT_STOPPED : code;
}

int line_decoder::update(const unsigned char*& in, const unsigned char* in_end, char*& out,
                         char* out_end) noexcept {
    if (stopped_) {
        return ENCRYPT_STOPPED;
    }
    out_ = out;
    out_end_ = out_end;
    drain();
    int result = ENCRYPT_LINES_OK;
    while (in < in_end && !waiting()) {
        if (has_cr_) {
            has_cr_ = false;
            if (*in == '\n') {
                ++in;  // CR LF: the line ended at the carriage return
                result = end_line(carry_, 0);
                if (result != ENCRYPT_LINES_OK) {
                    break;
                }
                continue;
            }
            carry_[carry_size_++] = '\r';  // a byte of the line after all
        }
        const auto* line_feed = static_cast<const unsigned char*>(
            std::memchr(in, '\n', static_cast<std::size_t>(in_end - in)));
        const unsigned char* end = line_feed != nullptr ? line_feed : in_end;
        const bool cr = end > in && end[-1] == '\r';
        end -= cr ? 1 : 0;
        if (line_feed == nullptr) {
            in = feed(in, end);
            if (in == end) {
                has_cr_ = cr;
                in = in_end;
            }
            continue;
        }
        if (leaving_ || carry_size_ != 0) {
            in = feed(in, end);
            if (in != end) {
                break;  // its text waits for space
            }
        }
        result = end_line(in, static_cast<std::size_t>(end - in));
        in = line_feed + 1;
        if (result != ENCRYPT_LINES_OK) {
            break;
        }
    }
    keep_tentative();
    out = out_;
    return result;
}

int line_decoder::finish(char*& out, char* out_end) noexcept {
    if (stopped_) {
        return ENCRYPT_STOPPED;
    }
    out_ = out;
    out_end_ = out_end;
    drain();
    int result = ENCRYPT_LINES_OK;
    if (!waiting() && (in_line_ || has_cr_)) {
        // A last line without a line feed; a carriage return at its end is its own.
        if (has_cr_) {
            has_cr_ = false;
            carry_[carry_size_++] = '\r';
        }
        result = end_line(carry_, 0);
    }
    if (result == ENCRYPT_LINES_OK && !waiting()) {
        line_ = 1;
        result = ENCRYPT_LINES_END;
    }
    keep_tentative();
    out = out_;
    return result;
}

int line_decoder::abandon() noexcept {
    decrypter_.abandon();
    carry_size_ = 0;
    has_cr_ = in_line_ = false;
    line_failure_ = 0;
    tentative_ = 0;
    if (!leaving_) {
        if (!queued_) {
            held_size_ = held_at_ = 0;
        }
        return stopped_ ? ENCRYPT_STOPPED : ENCRYPT_LINES_OK;
    }
    // Part of the line's text went out: anything after it would run on
    // from there.
    fail(line_, ENCRYPT_NOT_A_LINE);
    std::snprintf(message_, sizeof message_, "the line is cut short; the output stops after part of its text");
    return ENCRYPT_STOPPED;
}

}  // namespace encrypt::detail
