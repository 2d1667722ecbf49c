// The C interface to the streams of texts and lines.
#include <encrypt/lines.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "line.hpp"
#include "line_decoder.hpp"
#include "line_encoder.hpp"

struct encrypt_line_encoder : encrypt::detail::line_encoder {
    using line_encoder::line_encoder;
};
struct encrypt_line_decoder : encrypt::detail::line_decoder {
    using line_decoder::line_decoder;
};

namespace {

unsigned char separator_of(unsigned options) { return (options & ENCRYPT_LINES_NUL) != 0 ? '\0' : '\n'; }

// Made in the library's own heap, and released there: the caller may use
// another C runtime.
template <class Object, class... Arguments>
Object* make(Arguments... arguments) {
    void* memory = std::malloc(sizeof(Object));
    return memory == nullptr ? nullptr : new (memory) Object(arguments...);
}

template <class Object>
void release(Object* object) {
    if (object != nullptr) {
        object->~Object();
        std::free(object);
    }
}

template <class Call>
int decoder_call(char** next_out, std::size_t* avail_out, Call call) {
    char* out = *next_out;
    char* const out_end = out + *avail_out;
    const int result = call(out, out_end);
    *next_out = out;
    *avail_out = static_cast<std::size_t>(out_end - out);
    return result;
}

}  // namespace

extern "C" {

encrypt_line_encoder* encrypt_line_encoder_new(unsigned options) {
    return make<encrypt_line_encoder>(separator_of(options), (options & ENCRYPT_LINES_CRLF) != 0);
}

int encrypt_line_encoder_update(encrypt_line_encoder* encoder, const char** next_in,
                                std::size_t* avail_in, char** next_out, std::size_t* avail_out) {
    if (*avail_out == 0) {
        return ENCRYPT_LINES_OK;
    }
    const auto* in = reinterpret_cast<const unsigned char*>(*next_in);
    const unsigned char* const in_end = in + *avail_in;
    char* out = *next_out;
    char* const out_end = out + *avail_out;
    encoder->update(in, in_end, out, out_end);
    *next_in = reinterpret_cast<const char*>(in);
    *avail_in = static_cast<std::size_t>(in_end - in);
    *next_out = out;
    *avail_out = static_cast<std::size_t>(out_end - out);
    return ENCRYPT_LINES_OK;
}

int encrypt_line_encoder_finish(encrypt_line_encoder* encoder, char** next_out,
                                std::size_t* avail_out) {
    char* out = *next_out;
    char* const out_end = out + *avail_out;
    const bool done = encoder->finish(out, out_end);
    *next_out = out;
    *avail_out = static_cast<std::size_t>(out_end - out);
    return done ? ENCRYPT_LINES_END : ENCRYPT_LINES_OK;
}

void encrypt_line_encoder_reset(encrypt_line_encoder* encoder) { encoder->reset(); }

void encrypt_line_encoder_free(encrypt_line_encoder* encoder) { release(encoder); }

std::size_t encrypt_lines_capacity(const char* texts, std::size_t size, unsigned options) {
    // A text of n bytes has a line of the caption, 8 digits for every two
    // bytes begun (4 n + 4 at most) and a line feed.
    std::size_t count = 0;
    const char separator = static_cast<char>(separator_of(options));
    for (const char* at = texts; size != 0 && at != texts + size; ++count) {
        const void* stop = std::memchr(at, separator, static_cast<std::size_t>(texts + size - at));
        at = stop == nullptr ? texts + size : static_cast<const char*>(stop) + 1;
    }
    constexpr std::size_t per_text = encrypt::detail::caption.size() + 4 + 1;
    if (size > SIZE_MAX / 4 || count > (SIZE_MAX - 4 * size) / per_text) {
        return 0;
    }
    return 4 * size + per_text * count;
}

encrypt_line_decoder* encrypt_line_decoder_new(unsigned options) {
    return make<encrypt_line_decoder>(separator_of(options));
}


int encrypt_line_decoder_update(encrypt_line_decoder* decoder, const char** next_in,
                                std::size_t* avail_in, char** next_out, std::size_t* avail_out) {
    if (*avail_out == 0) {
        return ENCRYPT_LINES_OK;
    }
    const auto* in = reinterpret_cast<const unsigned char*>(*next_in);
    const unsigned char* const in_end = in + *avail_in;
    const int result = decoder_call(next_out, avail_out, [&](char*& out, char* out_end) {
        return decoder->update(in, in_end, out, out_end);
    });
    *next_in = reinterpret_cast<const char*>(in);
    *avail_in = static_cast<std::size_t>(in_end - in);
    return result;
}

int encrypt_line_decoder_finish(encrypt_line_decoder* decoder, char** next_out,
                                std::size_t* avail_out) {
    return decoder_call(next_out, avail_out, [&](char*& out, char* out_end) {
        return decoder->finish(out, out_end);
    });
}

int encrypt_line_decoder_abandon(encrypt_line_decoder* decoder) { return decoder->abandon(); }

void encrypt_line_decoder_reset(encrypt_line_decoder* decoder) { decoder->reset(); }

const char* encrypt_line_decoder_failure(const encrypt_line_decoder* decoder, std::uint64_t* line) {
    return decoder->failure(line);
}

void encrypt_line_decoder_free(encrypt_line_decoder* decoder) { release(decoder); }

const char* encrypt_reason(char* out, std::ptrdiff_t code, std::uint32_t texts) {
    return encrypt::detail::write_reason(out, code, texts);
}

}  // extern "C"
