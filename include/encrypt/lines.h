/* encrypt: streams of texts and their result lines, for C and C++.
 * <encrypt/encrypt.h> includes it.
 *
 * An encoder takes a stream of texts, each ending at a line feed (or a zero
 * byte), and writes each text's result line: what `encrypt-lines` does. A
 * decoder takes a stream of result lines and writes each line's text and a
 * line feed (or a zero byte): what `encrypt-lines -d` does.
 *
 * Both work in the style of zlib: each call takes what it can of the input
 * at *next_in (*avail_in bytes) and writes what it can to the output at
 * *next_out (*avail_out bytes, any size from 1 on), and moves the four on by
 * what it took and wrote. Input may be cut anywhere, and the output buffer
 * may be of any size and differ from call to call, so a caller needs one
 * loop whatever its buffers, and the stream never holds more than a line's
 * undecided part. A typical loop:
 *
 *     while (avail_in > 0) {
 *         encrypt_line_encoder_update(encoder, &next_in, &avail_in, &next_out, &avail_out);
 *         if (avail_out == 0) { write the full buffer; next_out = buffer; avail_out = size; }
 *     }
 *     ... for each further block of input, the same; at its end:
 *     while (encrypt_line_encoder_finish(encoder, &next_out, &avail_out) != ENCRYPT_LINES_END) {
 *         write the full buffer; next_out = buffer; avail_out = size;
 *     }
 *     write what is in the buffer.
 *
 * A stream object allocates its memory when it is made (a decoder more,
 * once, for a line whose text is long), keeps no global state, and may be
 * used by one thread at a time; separate objects may run on separate
 * threads. Release one with its _free() function. */
#ifndef ENCRYPT_LINES_H
#define ENCRYPT_LINES_H

#include <stddef.h>
#include <stdint.h>

#include "encrypt.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Options, or-ed together; 0 for the defaults. */
/* Texts end at a zero byte instead of a line feed (encrypt-lines -z); a
 * decoder then ends each text it writes with a zero byte. */
#define ENCRYPT_LINES_NUL 1u
/* Encoder: a carriage return just before the line feed that ends a text is
 * part of the line end, as in Windows text files (encrypt-lines on
 * Windows). A decoder always takes a line's CR LF as its end. */
#define ENCRYPT_LINES_CRLF 2u

/* What the stream calls return. */
/* Stopped for more input (*avail_in is 0) or more output space (*avail_out
 * is 0). */
#define ENCRYPT_LINES_OK 0
/* _finish(): every byte of the input's output is written. The stream is
 * ready for a new input, whose lines are counted from 1 again. */
#define ENCRYPT_LINES_END 1
/* Decoder: a line's text holds the line feed, or the zero byte, that is to
 * follow each text, and cannot be written as one text (the other failures
 * are ENCRYPT_NOT_A_LINE, ENCRYPT_AMBIGUOUS and ENCRYPT_NO_MEMORY, as in
 * <encrypt/decrypt.h>). */
#define ENCRYPT_HOLDS_LINE_FEED (-4)
#define ENCRYPT_HOLDS_ZERO (-5)
/* Decoder: the stream stopped at a failed line after part of that line's
 * text had gone out, and writes nothing more until it is reset. */
#define ENCRYPT_STOPPED (-6)

typedef struct encrypt_line_encoder encrypt_line_encoder;
typedef struct encrypt_line_decoder encrypt_line_decoder;

/* A new encoder with these options, or NULL when the memory cannot be had. */
ENCRYPT_API encrypt_line_encoder* encrypt_line_encoder_new(unsigned options);

/* Takes texts from the input and writes their lines. Returns
 * ENCRYPT_LINES_OK once all the input is taken or the output is full; call
 * it again with more space while *avail_in is not 0. */
ENCRYPT_API int encrypt_line_encoder_update(encrypt_line_encoder* encoder, const char** next_in,
                                            size_t* avail_in, char** next_out, size_t* avail_out);

/* Ends the input: a last text without a separator gets its line too.
 * Returns ENCRYPT_LINES_OK while the output is full and more is to come,
 * then ENCRYPT_LINES_END. */
ENCRYPT_API int encrypt_line_encoder_finish(encrypt_line_encoder* encoder, char** next_out,
                                            size_t* avail_out);

/* Drops whatever is under way, as if the encoder were new. */
ENCRYPT_API void encrypt_line_encoder_reset(encrypt_line_encoder* encoder);

/* Releases an encoder; NULL does nothing. */
ENCRYPT_API void encrypt_line_encoder_free(encrypt_line_encoder* encoder);

/* The most bytes the lines of the texts in `size` bytes at `texts` take
 * (separated as `options` say), or 0 if size_t cannot hold that: space for
 * a whole block's lines in one buffer. */
ENCRYPT_API size_t encrypt_lines_capacity(const char* texts, size_t size, unsigned options);

/* A new decoder with these options, or NULL when the memory cannot be had.
 *
 * Lines end at a line feed, a carriage return just before it taken as part
 * of the line end; the last line of an input needs none. Each line is read
 * as encrypt_decrypt() reads it. A line's text is held back until the line
 * is decided, up to 16 MiB; past that it goes out as it is decided. */
ENCRYPT_API encrypt_line_decoder* encrypt_line_decoder_new(unsigned options);

/* Takes lines from the input and writes their texts, each followed by the
 * separator. Returns ENCRYPT_LINES_OK once all the input is taken or the
 * output is full. Where a line gives no text it returns at once, with
 * every text before that line written and the input taken up to the
 * line's end: ENCRYPT_NOT_A_LINE, ENCRYPT_AMBIGUOUS, ENCRYPT_NO_MEMORY,
 * ENCRYPT_HOLDS_LINE_FEED or ENCRYPT_HOLDS_ZERO.
 * encrypt_line_decoder_failure() then says which line and why; call again
 * to go on past it. A line that fails after part of its text went out
 * stops the stream there: the call returns ENCRYPT_STOPPED, _failure()
 * says which line and why, nothing more is written, and every later call
 * returns ENCRYPT_STOPPED too. */
ENCRYPT_API int encrypt_line_decoder_update(encrypt_line_decoder* decoder, const char** next_in,
                                            size_t* avail_in, char** next_out, size_t* avail_out);

/* Ends the input: a last line without a line feed is read too. Returns a
 * failure as _update() does (call again to go on), ENCRYPT_LINES_OK while
 * the output is full and more is to come, then ENCRYPT_LINES_END. */
ENCRYPT_API int encrypt_line_decoder_finish(encrypt_line_decoder* decoder, char** next_out,
                                            size_t* avail_out);

/* Drops the line under way undecided, as where its input could not be read
 * to its end; the texts of the lines before it still come out (call
 * _finish()). Returns ENCRYPT_LINES_OK, or ENCRYPT_STOPPED where part of
 * that line's text had gone out: the stream stops there, as for a failed
 * line, and _failure() says so. */
ENCRYPT_API int encrypt_line_decoder_abandon(encrypt_line_decoder* decoder);

/* Drops whatever is under way, a stop included, as if the decoder were new. */
ENCRYPT_API void encrypt_line_decoder_reset(encrypt_line_decoder* decoder);

/* The last line that failed: its number in its input, from 1, in *line
 * (unless NULL), and what is wrong with it, for example "not a result
 * line" or "3 texts give this line", and where the stream stopped there,
 * that it did. Valid until the next call on the decoder; "" before any
 * line failed. */
ENCRYPT_API const char* encrypt_line_decoder_failure(const encrypt_line_decoder* decoder,
                                                     uint64_t* line);

/* Releases a decoder; NULL does nothing. */
ENCRYPT_API void encrypt_line_decoder_free(encrypt_line_decoder* decoder);

/* The message for what encrypt_decrypt() or a decoder returned instead of
 * a text (`texts` as encrypt_decrypt() sets it, for ENCRYPT_AMBIGUOUS),
 * for example "not a result line", in `out`, which has at least
 * ENCRYPT_REASON_SIZE bytes; returns `out`. */
#define ENCRYPT_REASON_SIZE 64
ENCRYPT_API const char* encrypt_reason(char* out, ptrdiff_t code, uint32_t texts);

#ifdef __cplusplus
}
#endif

#endif /* ENCRYPT_LINES_H */
