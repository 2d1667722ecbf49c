// encrypt: the streams of texts and result lines of <encrypt/lines.h> as
// C++ objects (C++11 on) that release themselves. Read there how a stream
// is driven; the calls take references where the C functions take pointers.
#ifndef ENCRYPT_LINES_HPP
#define ENCRYPT_LINES_HPP

#include <cstddef>
#include <cstdint>

#include "lines.h"

namespace encrypt {

namespace detail {
// One owner of a C stream object, released by `release`.
template <class Stream, void (*release)(Stream*)>
class stream_owner {
public:
    explicit stream_owner(Stream* stream) noexcept : stream_(stream) {}
    ~stream_owner() { release(stream_); }
    stream_owner(stream_owner&& other) noexcept : stream_(other.stream_) { other.stream_ = nullptr; }
    stream_owner& operator=(stream_owner&& other) noexcept {
        Stream* const mine = stream_;
        stream_ = other.stream_;
        other.stream_ = mine;
        return *this;
    }
    stream_owner(const stream_owner&) = delete;
    stream_owner& operator=(const stream_owner&) = delete;

    // False where the memory could not be had; no other call may be made then.
    explicit operator bool() const noexcept { return stream_ != nullptr; }
    Stream* get() const noexcept { return stream_; }

private:
    Stream* stream_;
};
}  // namespace detail

// Texts in, their result lines out. For example, a whole block of texts:
//     encrypt::line_encoder encoder;
//     std::string lines(encrypt_lines_capacity(texts, size, 0), '\0');
//     const char* in = texts;  std::size_t in_size = size;
//     char* out = &lines[0];   std::size_t space = lines.size();
//     encoder.update(in, in_size, out, space);
//     encoder.finish(out, space);
//     lines.resize(lines.size() - space);
class line_encoder : public detail::stream_owner<encrypt_line_encoder, encrypt_line_encoder_free> {
public:
    explicit line_encoder(unsigned options = 0) noexcept
        : stream_owner(encrypt_line_encoder_new(options)) {}

    int update(const char*& next_in, std::size_t& avail_in, char*& next_out,
               std::size_t& avail_out) noexcept {
        return encrypt_line_encoder_update(get(), &next_in, &avail_in, &next_out, &avail_out);
    }
    int finish(char*& next_out, std::size_t& avail_out) noexcept {
        return encrypt_line_encoder_finish(get(), &next_out, &avail_out);
    }
    void reset() noexcept { encrypt_line_encoder_reset(get()); }
};

// Result lines in, their texts out, and each failed line's number and reason.
class line_decoder : public detail::stream_owner<encrypt_line_decoder, encrypt_line_decoder_free> {
public:
    explicit line_decoder(unsigned options = 0) noexcept
        : stream_owner(encrypt_line_decoder_new(options)) {}

    int update(const char*& next_in, std::size_t& avail_in, char*& next_out,
               std::size_t& avail_out) noexcept {
        return encrypt_line_decoder_update(get(), &next_in, &avail_in, &next_out, &avail_out);
    }
    int finish(char*& next_out, std::size_t& avail_out) noexcept {
        return encrypt_line_decoder_finish(get(), &next_out, &avail_out);
    }
    int abandon() noexcept { return encrypt_line_decoder_abandon(get()); }
    void reset() noexcept { encrypt_line_decoder_reset(get()); }
    const char* failure(std::uint64_t* line = nullptr) const noexcept {
        return encrypt_line_decoder_failure(get(), line);
    }
};

}  // namespace encrypt

#endif  // ENCRYPT_LINES_HPP
