/* encrypt: decrypting a result line to its text, for C and C++.
 * <encrypt/encrypt.h> includes it. Like the rest of the library it keeps no
 * state and reads no byte past the `length` it is given. */
#ifndef ENCRYPT_DECRYPT_H
#define ENCRYPT_DECRYPT_H

#include <stddef.h>
#include <stdint.h>

#include "encrypt.h"

#ifdef __cplusplus
extern "C" {
#endif

/* What encrypt_decrypt() returns besides a text's length. */
#define ENCRYPT_NOT_A_LINE (-1)
#define ENCRYPT_AMBIGUOUS (-2)
#define ENCRYPT_NO_MEMORY (-3)

/* Bytes that encrypt_decrypt() needs for a line of `length` bytes (the
 * text and a terminating zero), or 0 if size_t cannot hold that. */
ENCRYPT_API size_t encrypt_decrypt_capacity(size_t length);

/* Decrypts one result line of `length` bytes, with or without its line feed
 * or CR LF, into `out` (encrypt_decrypt_capacity(length) bytes at least) and
 * a terminating zero, and returns the text's length. A line is the caption
 * (or nothing, or the caption without its last space and nothing after it),
 * then hex digits in either case. Where several texts give the line, the
 * one without a zero byte is taken if exactly one has none. Otherwise
 * returns ENCRYPT_AMBIGUOUS and sets *texts (unless NULL) to how many texts
 * give it, 1000 standing for more than 999; ENCRYPT_NOT_A_LINE when no text
 * gives it; ENCRYPT_NO_MEMORY when texts that disagree over a long stretch
 * need more memory than can be had. Reads exactly `length` bytes. */
ENCRYPT_API ptrdiff_t encrypt_decrypt(char* out, const char* line, size_t length,
                                      uint32_t* texts);

#ifdef __cplusplus
}

namespace encrypt {

// As encrypt_decrypt_capacity() and encrypt_decrypt() above: the text's
// length, or ENCRYPT_NOT_A_LINE, ENCRYPT_AMBIGUOUS (with *texts) or
// ENCRYPT_NO_MEMORY.
inline size_t decrypt_capacity(size_t length) noexcept {
    return encrypt_decrypt_capacity(length);
}
inline ptrdiff_t decrypt(char* out, const char* line, size_t length,
                         uint32_t* texts = nullptr) noexcept {
    return encrypt_decrypt(out, line, length, texts);
}

}  // namespace encrypt
#endif

#endif /* ENCRYPT_DECRYPT_H */
