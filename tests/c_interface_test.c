/* The C interface from a C program, built as strict C99: every function on
 * the known answers and on random texts against the reference, every buffer
 * exactly as large as its capacity says, so that a byte past it shows under
 * valgrind and the sanitizers; and the streams. */
#include <encrypt/encrypt.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "reference.h"

static int failures;
static int checks;

static void check(int ok, const char* what, const char* text) {
    ++checks;
    if (!ok) {
        ++failures;
        printf("FAILED: %s (text of %u bytes)\n", what, (unsigned)strlen(text));
    }
}

/* The known answers, vectors.tsv as one string (vectors_data.c). */
extern const char encrypt_vectors_tsv[];

/* The bytes of the hex digits from `hex` to the next tab or line end into
 * `out`; returns their number and moves `hex` past the digits. */
static size_t from_hex(char* out, const char** hex) {
    size_t size = 0;
    unsigned byte;
    while (sscanf(*hex, "%2x", &byte) == 1 && **hex != '\t' && **hex != '\n') {
        out[size++] = (char)byte;
        *hex += 2;
    }
    return size;
}

/* The digits of the text's words by the reference and printf's "%lx". */
static size_t reference_hex(char* out, const char* text, uint32_t length) {
    size_t at = 0;
    uint32_t i;
    for (i = 0; i < length; i += 2) {
        const unsigned lo = (unsigned char)text[i];
        const unsigned hi = i + 1 < length ? (unsigned char)text[i + 1] : 0u;
        const uint32_t word = encrypt_reference_mix((uint32_t)(lo | hi << 8));
        at += (size_t)sprintf(out + at, "%lx", (unsigned long)word);
    }
    out[at] = '\0';
    return at;
}

/* Checks every function on one text, each output in a block of exactly its
 * capacity. */
static void check_text(const char* text, uint32_t length, const char* expected_hex) {
    const uint32_t count = length / 2 + (length & 1u);
    const size_t hex_capacity = encrypt_hex_capacity(length);
    const size_t line_capacity = encrypt_line_capacity(length);
    char* hex = malloc(hex_capacity);
    char* line = malloc(line_capacity);
    char* want = malloc(hex_capacity);
    uint32_t* words;
    size_t size;
    if (hex == NULL || line == NULL || want == NULL) {
        printf("no memory for a test of %u bytes\n", (unsigned)length);
        exit(1);
    }
    check(hex_capacity == 8u * count + 1, "encrypt_hex_capacity", "");
    check(line_capacity == sizeof ENCRYPT_CAPTION - 1 + 8u * count + 2, "encrypt_line_capacity",
          "");

    size = reference_hex(want, text, length);
    if (expected_hex != NULL) {
        check(strcmp(want, expected_hex) == 0, "the reference gives the known answer",
              expected_hex);
    }
    check(encrypt_hex(hex, text, length) == size && strcmp(hex, want) == 0, "encrypt_hex", want);

    size = encrypt_line(line, text, length);
    check(size == strlen(line) && size == sizeof ENCRYPT_CAPTION + strlen(want) &&
              strncmp(line, ENCRYPT_CAPTION, sizeof ENCRYPT_CAPTION - 1) == 0 &&
              strncmp(line + sizeof ENCRYPT_CAPTION - 1, want, strlen(want)) == 0 &&
              line[size - 1] == '\n',
          "encrypt_line", want);

    {
        /* Decrypting, in a buffer of exactly its capacity: a text without
         * a zero byte comes back whole; another one gives some text, or
         * counts as ambiguous. */
        char* back = malloc(encrypt_decrypt_capacity(size));
        uint32_t texts = 0;
        const ptrdiff_t got = back != NULL ? encrypt_decrypt(back, line, size, &texts) : -9;
        if (memchr(text, 0, length) == NULL) {
            check(got == (ptrdiff_t)length && memcmp(back, text, length) == 0 && back[length] == 0,
                  "encrypt_decrypt", want);
        } else {
            check(got >= 0 || (got == ENCRYPT_AMBIGUOUS && texts >= 2),
                  "encrypt_decrypt of a text with a zero byte", want);
        }
        free(back);
    }

    words = encrypt_text(text, length);
    check(length == 0 ? words == NULL : words != NULL, "encrypt_text", want);
    if (words != NULL) {
        char* from_words = malloc(hex_capacity);
        size_t at = 0;
        uint32_t i;
        for (i = 0; i < count; ++i) {
            at += (size_t)sprintf(from_words + at, "%lx", (unsigned long)words[i]);
        }
        check(strcmp(from_words, want) == 0, "encrypt_text gives the words of encrypt_hex", want);
        free(from_words);
    }
    encrypt_free(words);
    free(hex);
    free(line);
    free(want);
}

/* Every known text through every function, and every known line through
 * encrypt_decrypt(), with its message where it gives no text. */
static void check_known_answers(void) {
    static char text[4096];
    static char line[16384];
    const char* at = encrypt_vectors_tsv;
    while (*at != '\0') {
        char kind[8] = "";
        size_t text_size;
        size_t line_size;
        sscanf(at, "%7s", kind);
        at += strlen(kind) + 1;
        if (strcmp(kind, "encrypt") == 0) {
            text_size = from_hex(text, &at);
            ++at;
            line_size = from_hex(line, &at);
            /* The digits: the line without its caption and line feed. */
            line[line_size - 1] = '\0';
            check_text(text, (uint32_t)text_size, line + sizeof ENCRYPT_CAPTION - 1);
        } else {
            char outcome[8] = "";
            char out[16384];
            uint32_t texts = 0;
            ptrdiff_t got;
            line_size = from_hex(line, &at);
            ++at;
            sscanf(at, "%7s", outcome);
            at += strlen(outcome) + 1;
            got = encrypt_decrypt(out, line, line_size, &texts);
            if (strcmp(outcome, "text") == 0) {
                text_size = from_hex(text, &at);
                check(got == (ptrdiff_t)text_size && memcmp(out, text, text_size) == 0,
                      "encrypt_decrypt of a known line", "");
            } else {
                char reason[ENCRYPT_REASON_SIZE];
                const char* message = strchr(at, '\t') + 1;
                encrypt_reason(reason, got, texts);
                check(got < 0 && strncmp(reason, message, strlen(reason)) == 0 &&
                          message[strlen(reason)] == '\n',
                      "encrypt_decrypt's failure and message", reason);
            }
        }
        at = strchr(at, '\n') + 1;
    }
}

/* Texts through an encoder and their lines back through a decoder, one
 * byte of output at a time; a failed line's number and message; memory. */
static void check_streams(void) {
    static const char texts[] = "abc\nc\n\n";
    static const char lines[] = ENCRYPT_CAPTION "25da76d832c8\nxyz\r\n32C8\n\n";
    char made[256];
    char back[64];
    size_t made_size = 0;
    size_t back_size = 0;
    const char* in = texts;
    size_t left = sizeof texts - 1;
    uint64_t line = 0;
    int result;
    encrypt_line_encoder* encoder = encrypt_line_encoder_new(0);
    encrypt_line_decoder* decoder = encrypt_line_decoder_new(ENCRYPT_LINES_NUL);
    check(encoder != NULL && decoder != NULL, "new streams", "");
    while (left > 0) {
        char* next = made + made_size;
        size_t space = 1;
        encrypt_line_encoder_update(encoder, &in, &left, &next, &space);
        made_size = (size_t)(next - made);
    }
    do {
        char* next = made + made_size;
        size_t space = 1;
        result = encrypt_line_encoder_finish(encoder, &next, &space);
        made_size = (size_t)(next - made);
    } while (result != ENCRYPT_LINES_END);
    check(made_size == 3 * (sizeof ENCRYPT_CAPTION) + 16 &&
              memcmp(made, ENCRYPT_CAPTION "25da76d832c8\n" ENCRYPT_CAPTION "32c8\n" ENCRYPT_CAPTION "\n",
                     made_size) == 0,
          "the encoder's lines", "");
    in = lines;
    left = sizeof lines - 1;
    while (left > 0) {
        char* next = back + back_size;
        size_t space = sizeof back - back_size;
        result = encrypt_line_decoder_update(decoder, &in, &left, &next, &space);
        back_size = (size_t)(next - back);
        if (result != ENCRYPT_LINES_OK) {
            check(result == ENCRYPT_NOT_A_LINE &&
                      strcmp(encrypt_line_decoder_failure(decoder, &line), "not a result line") == 0 &&
                      line == 2,
                  "the decoder's failed line", "");
        }
    }
    {
        char* next = back + back_size;
        size_t space = sizeof back - back_size;
        check(encrypt_line_decoder_finish(decoder, &next, &space) == ENCRYPT_LINES_END,
              "the decoder's end", "");
        back_size = (size_t)(next - back);
    }
    check(back_size == 7 && memcmp(back, "abc\0c\0\0", 7) == 0,
          "the decoder's texts", "");
    check(line == 2, "a failure was reported", "");
    check(encrypt_lines_capacity(texts, sizeof texts - 1, 0) >= made_size, "encrypt_lines_capacity", "");
    encrypt_line_encoder_free(encoder);
    encrypt_line_decoder_free(decoder);
    encrypt_line_encoder_free(NULL);
    encrypt_line_decoder_free(NULL);
}

int main(void) {
    /* Words no unit can be: both additions wrap, and two become zero. */
    uint32_t words[] = {0xffffffe6u, 0xfffffffbu, 0xffffffffu, 0xdeadbeefu};
    const uint32_t transformed[] = {0u, 0u, 0x64u, 0x1877dae3u};
    char text[301];
    size_t i;
    unsigned seed = 20261209u;

    check_known_answers();
    check_streams();
    check(encrypt_words(words, 4) == words && memcmp(words, transformed, sizeof words) == 0,
          "encrypt_words wraps and may give zero words", "");
    check(encrypt_words(NULL, 0) == NULL, "encrypt_words with no words", "");
    encrypt_free(NULL);
    {
        char hex[1];
        char line[sizeof ENCRYPT_CAPTION + 1];
        check(encrypt_hex(hex, NULL, 0) == 0 && hex[0] == '\0', "encrypt_hex of nothing", "");
        check(encrypt_line(line, NULL, 0) == sizeof ENCRYPT_CAPTION &&
                  strcmp(line, ENCRYPT_CAPTION "\n") == 0,
              "encrypt_line of nothing", "");
    }
    check(encrypt_decrypt_capacity(7) == 8, "encrypt_decrypt_capacity", "");
    /* Random texts of every length to 300 bytes: odd and even, around the
     * vector widths, every byte value. */
    for (i = 0; i <= 300; ++i) {
        size_t k;
        for (k = 0; k < i; ++k) {
            seed = seed * 1103515245u + 12345u;
            text[k] = (char)(seed >> 16);
        }
        check_text(text, (uint32_t)i, NULL);
    }
    /* Longer than one batch of words, so that the text is made in pieces. */
    {
        const uint32_t length = 20001;
        char* long_text = malloc(length);
        if (long_text == NULL) {
            return 1;
        }
        for (i = 0; i < length; ++i) {
            long_text[i] = (char)(i * 7 + i / 256);
        }
        check_text(long_text, length, NULL);
        free(long_text);
    }
    if (sizeof(size_t) == 4) {
        check(encrypt_hex_capacity(0xffffffffu) == 0 && encrypt_line_capacity(0xffffffffu) == 0,
              "capacities past a 32-bit size_t are 0", "");
    } else {
        check(encrypt_hex_capacity(0xffffffffu) == (size_t)8 * 0x80000000u + 1,
              "the largest capacity", "");
    }
    printf("c_interface: %d passed, %d failed\n", checks - failures, failures);
    return failures == 0 ? 0 : 1;
}
