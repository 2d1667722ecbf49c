// The WebAssembly entry layer of the npm package encrypt-wasm: the library's
// own transform, digits and way back, over a working area of fixed size.
//
// The module imports nothing, so its memory cannot grow: JavaScript copies
// an input into the piece area a piece at a time, calls one of these
// functions, and copies what it wrote out of the result area. Nothing here
// keeps a piece's state but the decrypter, which reads a line across calls.
#include <encrypt/encrypt.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

#include "decrypt.hpp"
#include "digits.hpp"
#include "kernels.hpp"
#include "line.hpp"

namespace {

using encrypt::detail::line_decrypter;

// Bytes of text, or of a line, that one call takes.
constexpr std::size_t piece_room = std::size_t{1} << 20;
// A caption, the digits of a full piece, eight a unit, and the zero
// encrypt_hex() ends them with; the same room holds words and decrypted
// text.
constexpr std::size_t result_room = 4 * piece_room + 64;

alignas(16) unsigned char piece[piece_room];
alignas(16) unsigned char result[result_room];

// The decrypter lives here, made on first use rather than by a static
// constructor, so that the module needs no start-up call.
alignas(line_decrypter) unsigned char decrypter_room[sizeof(line_decrypter)];
line_decrypter* decrypter = nullptr;
std::size_t decrypted = 0;    // text bytes in the result area
bool decrypted_lost = false;  // text that found no room there

// A call that breaks this layer's contract stops the module with a trap,
// which JavaScript sees as a RuntimeError, rather than read or write past
// an area.
void require(bool holds) noexcept {
    if (!holds) {
        __builtin_trap();
    }
}

void take_text(void*, const unsigned char* text, std::size_t size) noexcept {
    if (size > result_room - decrypted) {
        decrypted_lost = true;
        return;
    }
    std::memcpy(result + decrypted, text, size);
    decrypted += size;
}

}  // namespace

// What decrypt_finish() says of a line.
enum : std::int32_t {
    decrypt_text = 0,
    decrypt_not_a_line = 1,
    decrypt_ambiguous = 2,
    // The splits of the line stayed apart over more text than this fixed
    // memory holds, where the library's own limit would have let them run on.
    decrypt_no_memory = 3,
};

extern "C" {

#define ENCRYPT_WASM_EXPORT __attribute__((used, visibility("default")))

ENCRYPT_WASM_EXPORT unsigned char* piece_area() { return piece; }
ENCRYPT_WASM_EXPORT std::uint32_t piece_size() { return piece_room; }
ENCRYPT_WASM_EXPORT unsigned char* result_area() { return result; }
ENCRYPT_WASM_EXPORT std::uint32_t result_size() { return result_room; }

// The digits of the `length` bytes in the piece area, an even number of
// them unless the text ends there, into the result area from byte `at` on
// (where JavaScript may have put a caption, at most 48 bytes); returns how
// many.
ENCRYPT_WASM_EXPORT std::uint32_t hex_piece(std::uint32_t length, std::uint32_t at) {
    require(length <= piece_room && at <= 48);
    return static_cast<std::uint32_t>(encrypt_hex(reinterpret_cast<char*>(result + at),
                                                  reinterpret_cast<const char*>(piece), length));
}

// The words of the `length` bytes in the piece area into the result area;
// returns how many.
ENCRYPT_WASM_EXPORT std::uint32_t words_piece(std::uint32_t length) {
    require(length <= piece_room);
    encrypt::detail::best_kernel().pack_transform(reinterpret_cast<std::uint32_t*>(result), piece,
                                                  length);
    return length / 2 + (length & 1u);
}

// Transforms the first `count` words of the result area in place.
ENCRYPT_WASM_EXPORT void transform_words(std::uint32_t count) {
    require(count <= result_room / 4);
    encrypt_words(reinterpret_cast<std::uint32_t*>(result), count);
}

// For the table of short texts' digits: the digits of every unit u, from
// its two-byte text, in the eight bytes at result + 8 u, and their number in
// the byte at result + 8 * 65536 + u.
ENCRYPT_WASM_EXPORT void unit_digits() {
    unsigned char* const counts = result + 8 * 65536;
    for (std::uint32_t unit = 0; unit <= 0xffff; ++unit) {
        const unsigned char text[2] = {static_cast<unsigned char>(unit),
                                       static_cast<unsigned char>(unit >> 8)};
        char* const slot = reinterpret_cast<char*>(result + 8 * unit);
        const char* end = encrypt::detail::write_text_digits_scalar(slot, text, 2);
        counts[unit] = static_cast<unsigned char>(end - slot);
    }
}

// A new line: whatever was under way is dropped.
ENCRYPT_WASM_EXPORT void decrypt_begin() {
    if (decrypter == nullptr) {
        decrypter = new (decrypter_room) line_decrypter(take_text, nullptr);
    }
    decrypter->abandon();
    decrypted = 0;
    decrypted_lost = false;
}

// The next `length` bytes of the line, from the piece area; returns how
// many it is done with. The others go in front of the next piece.
ENCRYPT_WASM_EXPORT std::uint32_t decrypt_feed(std::uint32_t length) {
    require(decrypter != nullptr && length <= piece_room);
    return static_cast<std::uint32_t>(decrypter->feed(piece, length));
}

// The line's last `length` bytes, from the piece area: what it is.
ENCRYPT_WASM_EXPORT std::int32_t decrypt_finish(std::uint32_t length) {
    require(decrypter != nullptr && length <= piece_room);
    switch (decrypter->finish(piece, length)) {
        case line_decrypter::outcome::text:
            return decrypted_lost ? decrypt_no_memory : decrypt_text;
        case line_decrypter::outcome::ambiguous:
            return decrypt_ambiguous;
        case line_decrypter::outcome::no_memory:
            return decrypt_no_memory;
        case line_decrypter::outcome::not_a_line:
            break;
    }
    return decrypt_not_a_line;
}

// For an ambiguous line, how many texts give it, 1000 for more than 999.
ENCRYPT_WASM_EXPORT std::uint32_t decrypt_texts() { return decrypter == nullptr ? 0 : decrypter->texts(); }

// Bytes of text in the result area, which then starts empty again.
ENCRYPT_WASM_EXPORT std::uint32_t decrypt_take() {
    const std::size_t taken = decrypted;
    decrypted = 0;
    return static_cast<std::uint32_t>(taken);
}

}  // extern "C"
