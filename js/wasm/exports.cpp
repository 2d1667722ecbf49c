// The WebAssembly entry layer of the npm package encrypt-wasm: the library's
// C interface, and its streams of texts and lines, over working areas of
// fixed size.
//
// The module imports nothing, so its memory cannot grow: JavaScript copies
// an input into the piece area a piece at a time, calls one of these
// functions, and copies what it wrote out of the result area. JavaScript
// cuts an input anywhere; what a piece leaves undone (a unit's first byte,
// the digits the decrypter wants again, a carriage return that a last line
// feed may follow) is kept here, in the bytes just before the piece area,
// and goes in front of the next piece. The streams keep their own state in
// the library's stream objects.
#include <encrypt/encrypt.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

// The decrypter of one line in pieces, which the C interface does not
// offer (encrypt_decrypt() takes a whole line; the line decoder fails a
// text that holds its terminator), and the line end rule it shares with
// encrypt_decrypt().
#include "decrypt.hpp"

namespace {

using encrypt::detail::line_decrypter;

// Bytes of text, or of a line, that one call takes.
constexpr std::size_t piece_bytes = std::size_t{1} << 20;
// What a piece left undone: fewer than 64 bytes the decrypter wants again,
// and the one byte held back in case it is a last line end's carriage
// return.
constexpr std::size_t carry_bytes = 128;
// A caption, the digits of a full piece, eight a unit, and the zero
// encrypt_hex() ends them with; the same space holds words, decrypted text
// and the streams' output.
constexpr std::size_t result_bytes = 4 * piece_bytes + 64;

alignas(16) unsigned char input[carry_bytes + piece_bytes];
unsigned char* const piece = input + carry_bytes;
alignas(16) unsigned char result[result_bytes];
char message[ENCRYPT_REASON_SIZE];  // reason()'s

// Bytes carried from the last piece, at piece - carried.
std::size_t carried = 0;

// The flags of a piece: the first of an input drops what an earlier input
// left; the last has nothing after it.
enum : std::uint32_t { first_piece = 1, last_piece = 2 };

// The decrypter lives here, made on first use rather than by a static
// constructor, so that the module needs no start-up call.
alignas(line_decrypter) unsigned char decrypter_storage[sizeof(line_decrypter)];
line_decrypter* decrypter = nullptr;
std::size_t decrypted = 0;    // text bytes in the result area
bool decrypted_lost = false;  // text that found no space there

// The streams' input left in the piece area, and their output in the
// result area.
const char* stream_in = nullptr;
std::size_t stream_in_left = 0;
std::size_t stream_out = 0;

// A call that breaks this layer's contract stops the module with a trap,
// which JavaScript sees as a RuntimeError, rather than read or write past
// an area.
void require(bool holds) noexcept {
    if (!holds) {
        __builtin_trap();
    }
}

// The carried bytes and the piece's `length`, together: the bytes the call
// works on. The piece's own flags say whether an earlier piece counts.
unsigned char* joined(std::uint32_t length, std::uint32_t flags, std::size_t& size) noexcept {
    require(length <= piece_bytes);
    if ((flags & first_piece) != 0) {
        carried = 0;
    }
    size = carried + length;
    return piece - carried;
}

// The last `keep` bytes of [data, data + size) go in front of the next piece.
void carry(const unsigned char* data, std::size_t size, std::size_t keep) noexcept {
    require(keep <= carry_bytes);
    std::memmove(piece - keep, data + size - keep, keep);
    carried = keep;
}

void take_text(void*, const unsigned char* text, std::size_t size) noexcept {
    if (size > result_bytes - decrypted) {
        decrypted_lost = true;
        return;
    }
    std::memcpy(result + decrypted, text, size);
    decrypted += size;
}

// One call of a stream object, its output into the result area from its
// start: `update` on the input left, or with `finish`, `end`.
template <class Stream>
std::int32_t run(Stream* stream, std::uint32_t finish,
                 int (*update)(Stream*, const char**, std::size_t*, char**, std::size_t*),
                 int (*end)(Stream*, char**, std::size_t*)) {
    char* out = reinterpret_cast<char*>(result);
    std::size_t space = result_bytes;
    const int status = finish != 0 ? end(stream, &out, &space)
                                   : update(stream, &stream_in, &stream_in_left, &out, &space);
    stream_out = result_bytes - space;
    return status;
}

}  // namespace

extern "C" {

#define ENCRYPT_WASM_EXPORT __attribute__((used, visibility("default")))

ENCRYPT_WASM_EXPORT unsigned char* piece_area() { return piece; }
ENCRYPT_WASM_EXPORT std::uint32_t piece_size() { return piece_bytes; }
ENCRYPT_WASM_EXPORT unsigned char* result_area() { return result; }
ENCRYPT_WASM_EXPORT std::uint32_t result_size() { return result_bytes; }

// The digits of the piece's `length` bytes, with what the last piece
// carried, into the result area from byte `at` on (where JavaScript may have
// put a caption, at most 48 bytes); returns how many. A unit's first byte
// at the end of a piece that is not the last waits for its second.
ENCRYPT_WASM_EXPORT std::uint32_t hex_piece(std::uint32_t length, std::uint32_t at,
                                            std::uint32_t flags) {
    require(at <= 48);
    std::size_t size = 0;
    const unsigned char* data = joined(length, flags, size);
    const std::size_t odd = (flags & last_piece) != 0 ? 0 : size & 1u;
    const std::size_t count = encrypt_hex(reinterpret_cast<char*>(result + at),
                                          reinterpret_cast<const char*>(data),
                                          static_cast<std::uint32_t>(size - odd));
    carry(data, size, odd);
    return static_cast<std::uint32_t>(count);
}

// The words of the piece's bytes, as hex_piece() takes them, into the
// result area; returns how many.
ENCRYPT_WASM_EXPORT std::uint32_t words_piece(std::uint32_t length, std::uint32_t flags) {
    std::size_t size = 0;
    const unsigned char* data = joined(length, flags, size);
    const std::size_t odd = (flags & last_piece) != 0 ? 0 : size & 1u;
    const std::size_t units = (size - odd + 1) / 2;
    auto* words = reinterpret_cast<std::uint32_t*>(result);
    for (std::size_t i = 0; i < units; ++i) {
        const std::size_t high = 2 * i + 1;
        words[i] = data[2 * i] | (high < size - odd ? data[high] << 8 : 0u);
    }
    encrypt_words(words, static_cast<std::uint32_t>(units));
    carry(data, size, odd);
    return static_cast<std::uint32_t>(units);
}

// Transforms the first `count` words of the result area in place.
ENCRYPT_WASM_EXPORT void transform_words(std::uint32_t count) {
    require(count <= result_bytes / 4);
    encrypt_words(reinterpret_cast<std::uint32_t*>(result), count);
}

// For the table of short texts' digits: the digits of every unit u, from
// its two-byte text, in the eight bytes at result + 8 u, and their number in
// the byte at result + 8 * 65536 + u.
ENCRYPT_WASM_EXPORT void unit_digits() {
    unsigned char* const counts = result + 8 * 65536;
    char digits[9];
    for (std::uint32_t unit = 0; unit <= 0xffff; ++unit) {
        const char text[2] = {static_cast<char>(unit & 0xff), static_cast<char>(unit >> 8)};
        const std::size_t count = encrypt_hex(digits, text, 2);
        std::memcpy(result + 8 * unit, digits, count);
        counts[unit] = static_cast<unsigned char>(count);
    }
}

// The next piece of a line: with the first, a new line, whatever was under
// way dropped; with the last, the line ends (its one line end, LF or CR LF,
// dropped as encrypt_decrypt() drops it), and what it is comes back: 0 for
// a text, else ENCRYPT_NOT_A_LINE, ENCRYPT_AMBIGUOUS or ENCRYPT_NO_MEMORY.
// The text decided so far waits in the result area for decrypt_take().
ENCRYPT_WASM_EXPORT std::int32_t decrypt_piece(std::uint32_t length, std::uint32_t flags) {
    if (decrypter == nullptr) {
        decrypter = new (decrypter_storage) line_decrypter(take_text, nullptr);
    }
    if ((flags & first_piece) != 0) {
        decrypter->abandon();
        decrypted = 0;
        decrypted_lost = false;
    }
    std::size_t size = 0;
    const unsigned char* data = joined(length, flags, size);
    if ((flags & last_piece) == 0) {
        // The last byte waits: it may be the carriage return of a CR LF
        // that ends the line.
        const std::size_t used = size == 0 ? 0 : decrypter->feed(data, size - 1);
        carry(data, size, size - used);
        return 0;
    }
    carried = 0;
    const auto* line = reinterpret_cast<const char*>(data);
    switch (decrypter->finish(data, encrypt::detail::without_line_end(line, size))) {
        case line_decrypter::outcome::text:
            // Text that found no space: the result area is this layer's
            // fixed memory, short of what the library would have had.
            return decrypted_lost ? ENCRYPT_NO_MEMORY : 0;
        case line_decrypter::outcome::ambiguous:
            return ENCRYPT_AMBIGUOUS;
        case line_decrypter::outcome::no_memory:
            return ENCRYPT_NO_MEMORY;
        case line_decrypter::outcome::not_a_line:
            break;
    }
    return ENCRYPT_NOT_A_LINE;
}

// Bytes of text in the result area, which then starts empty again.
ENCRYPT_WASM_EXPORT std::uint32_t decrypt_take() {
    const std::size_t taken = decrypted;
    decrypted = 0;
    return static_cast<std::uint32_t>(taken);
}

// The library's message for what decrypt_piece() returned, zero-terminated.
ENCRYPT_WASM_EXPORT const char* reason(std::int32_t code) {
    return encrypt_reason(message, code, decrypter == nullptr ? 0 : decrypter->texts());
}

// --- the streams of texts and lines ------------------------------------------

// A new stream object with these options (ENCRYPT_LINES_NUL, _CRLF), or
// null where the memory cannot be had.
ENCRYPT_WASM_EXPORT encrypt_line_encoder* line_encoder_new(std::uint32_t options) {
    return encrypt_line_encoder_new(options);
}
ENCRYPT_WASM_EXPORT void line_encoder_free(encrypt_line_encoder* encoder) {
    encrypt_line_encoder_free(encoder);
}
ENCRYPT_WASM_EXPORT encrypt_line_decoder* line_decoder_new(std::uint32_t options) {
    return encrypt_line_decoder_new(options);
}
ENCRYPT_WASM_EXPORT void line_decoder_free(encrypt_line_decoder* decoder) {
    encrypt_line_decoder_free(decoder);
}

// The most bytes the lines of the texts in the piece's `length` bytes take.
ENCRYPT_WASM_EXPORT std::uint32_t lines_capacity(std::uint32_t length, std::uint32_t options) {
    require(length <= piece_bytes);
    return static_cast<std::uint32_t>(
        encrypt_lines_capacity(reinterpret_cast<const char*>(piece), length, options));
}

// The piece's `length` bytes become the streams' input.
ENCRYPT_WASM_EXPORT void lines_input(std::uint32_t length) {
    require(length <= piece_bytes);
    stream_in = reinterpret_cast<const char*>(piece);
    stream_in_left = length;
}

// Bytes of that input that no call has taken yet.
ENCRYPT_WASM_EXPORT std::uint32_t lines_input_left() {
    return static_cast<std::uint32_t>(stream_in_left);
}

// Bytes the last _run() call wrote into the result area, from its start.
ENCRYPT_WASM_EXPORT std::uint32_t lines_output() { return static_cast<std::uint32_t>(stream_out); }

// One call of the encoder into the result area: _update() on the input
// (JavaScript calls again while input is left or the area came back full),
// or with `finish`, _finish(). Returns what that call returned.
ENCRYPT_WASM_EXPORT std::int32_t line_encoder_run(encrypt_line_encoder* encoder,
                                                  std::uint32_t finish) {
    return run(encoder, finish, encrypt_line_encoder_update, encrypt_line_encoder_finish);
}

// The same for a decoder, whose calls may also return a failed line's code
// or ENCRYPT_STOPPED.
ENCRYPT_WASM_EXPORT std::int32_t line_decoder_run(encrypt_line_decoder* decoder,
                                                  std::uint32_t finish) {
    return run(decoder, finish, encrypt_line_decoder_update, encrypt_line_decoder_finish);
}

// The decoder's last failed line: its message, zero-terminated, and its
// number.
ENCRYPT_WASM_EXPORT const char* line_decoder_failure(const encrypt_line_decoder* decoder) {
    return encrypt_line_decoder_failure(decoder, nullptr);
}
ENCRYPT_WASM_EXPORT double line_decoder_failed_line(const encrypt_line_decoder* decoder) {
    std::uint64_t line = 0;
    encrypt_line_decoder_failure(decoder, &line);
    return static_cast<double>(line);
}

}  // extern "C"
