/* encrypt: a fixed, keyless word transform over text, and the line the
 * encrypt command prints for it. The C interface, for C and for every
 * language that calls C (C# through P/Invoke, Python's ctypes, ...).
 *
 * This is NOT encryption in the security sense. There is no key, and every
 * 16-bit unit of a text can be recovered from its word by trying all 65,536
 * units. Use it only where this exact transform is wanted.
 *
 * Valid C99 and C++; includes nothing but <stddef.h> and <stdint.h>. No
 * function keeps state, so all may run on several threads at once on
 * distinct buffers. No function reads past the `length` bytes of a text, so
 * a text need not be zero-terminated. On 32-bit x86 Windows the functions
 * use the C calling convention (cdecl), not stdcall. */
#ifndef ENCRYPT_ENCRYPT_H
#define ENCRYPT_ENCRYPT_H

#include <stddef.h>
#include <stdint.h>

/* A shared build defines ENCRYPT_SHARED for itself and its users (Windows
 * needs to know); only these functions and the C++ routines are exported. */
#if defined(_WIN32) && defined(ENCRYPT_SHARED)
#  ifdef ENCRYPT_BUILDING_LIBRARY
#    define ENCRYPT_API __declspec(dllexport)
#  else
#    define ENCRYPT_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__) && !defined(_WIN32)
#  define ENCRYPT_API __attribute__((visibility("default")))
#else
#  define ENCRYPT_API
#endif

/* The caption that opens every result line; it ends in one space. */
#define ENCRYPT_CAPTION "Encrypted data in hexadecimal format: "

#ifdef __cplusplus
extern "C" {
#endif

/* Replaces each of the first `count` words by its transformed value and
 * returns `words`. With v a word and all arithmetic modulo 2^32:
 *     p = (v + 26) * (v + 5);   new word = p ^ (p >> 16)
 * Allocates nothing and cannot fail; a count of 0 touches nothing. */
ENCRYPT_API uint32_t* encrypt_words(uint32_t* words, uint32_t count);

/* Packs the `length` bytes of `text` two at a time into 16-bit units (the
 * first byte of each pair low, an odd last byte with a zero high byte),
 * widens each to a word and transforms it: a new array of length / 2 +
 * (length & 1) words, from the library's malloc(). encrypt_free() releases
 * it from any caller. free() does only where caller and library share one
 * C runtime: with the static library, or with encrypt.dll where the caller
 * too uses msvcrt.dll; from a caller on another C runtime it corrupts that
 * runtime's heap. NULL when the memory cannot be had, and for length 0
 * (then no error). */
ENCRYPT_API uint32_t* encrypt_text(const char* text, uint32_t length);

/* Releases an array from encrypt_text(); NULL does nothing. */
ENCRYPT_API void encrypt_free(uint32_t* words);

/* Bytes that encrypt_hex() needs for a text of `length` bytes: eight digits
 * for every word and the terminating zero. 0 if size_t cannot hold that
 * (only where size_t has 32 bits, for texts of 2^30 bytes and more). */
ENCRYPT_API size_t encrypt_hex_capacity(uint32_t length);

/* Writes the hex digits of the text's words, what printf's "%lx" prints for
 * each word one after another (no padding, so a zero word is "0", and no
 * separator), then a terminating zero byte, to `out`, which has at least
 * encrypt_hex_capacity(length) bytes. Returns the number of digits.
 * Allocates nothing and cannot fail. `out` must not overlap `text`. */
ENCRYPT_API size_t encrypt_hex(char* out, const char* text, uint32_t length);

/* Writes the hex digits of `count` words, what printf's "%lx" prints for
 * each one after another, then a terminating zero byte, to `out`, which has
 * at least 8 * count + 1 bytes: the digits of encrypt_text()'s words.
 * Returns the number of digits. */
ENCRYPT_API size_t encrypt_words_hex(char* out, const uint32_t* words, uint32_t count);

/* Bytes that encrypt_line() needs for a text of `length` bytes, or 0 if
 * size_t cannot hold that, as encrypt_hex_capacity(). */
ENCRYPT_API size_t encrypt_line_capacity(uint32_t length);

/* Writes the line that `encrypt TEXT` writes on Linux, ENCRYPT_CAPTION, the
 * digits and one line feed, then a terminating zero byte, to `out`, which
 * has at least encrypt_line_capacity(length) bytes. Returns the line's
 * length, the zero byte not counted. Allocates nothing and cannot fail.
 * `out` must not overlap `text`. */
ENCRYPT_API size_t encrypt_line(char* out, const char* text, uint32_t length);

#ifdef __cplusplus
}
#endif

/* Decrypting a line back to its text, and streams of texts and lines. */
#include "decrypt.h"
#include "lines.h"

#endif /* ENCRYPT_ENCRYPT_H */
