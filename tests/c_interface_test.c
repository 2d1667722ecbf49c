/* The C interface from a C program, built as strict C99: every function on
 * known answers and on random texts against the reference, every buffer
 * exactly as large as its capacity says, so that a byte past it shows under
 * valgrind and the sanitizers. */
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
        /* The way back, in a buffer of exactly its capacity: a text without
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

int main(void) {
    /* Known answers: the worked example, an odd length taking a zero high
     * byte, bytes above 0x7f, the one unit whose product wraps, a zero byte
     * inside, and words with fewer than eight digits. */
    static const struct {
        const char* text;
        uint32_t length;
        const char* hex;
    } known[] = {
        {"", 0, ""},
        {"abc", 3, "25da76d832c8"},
        {"c", 1, "32c8"},
        {"\x80\x81\xfe", 3, "4191ae9311b49"},
        {"\xff\xff", 2, "1d0079"},
        {"a\0b", 3, "310231e4"},
        {"Hello, world!", 13, "281e00642df842de7bbbdaf377d061f3334db20277090568c2"},
    };
    /* Words no unit can be: both additions wrap, and two become zero. */
    uint32_t words[] = {0xffffffe6u, 0xfffffffbu, 0xffffffffu, 0xdeadbeefu};
    const uint32_t transformed[] = {0u, 0u, 0x64u, 0x1877dae3u};
    char text[301];
    size_t i;
    unsigned seed = 20261209u;

    for (i = 0; i < sizeof known / sizeof known[0]; ++i) {
        check_text(known[i].text, known[i].length, known[i].hex);
    }
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
    {
        char out[16];
        uint32_t texts = 0;
        check(encrypt_decrypt(out, "25da76d832c", 11, &texts) == ENCRYPT_NOT_A_LINE,
              "encrypt_decrypt of no line", "");
        check(encrypt_decrypt(out, "121a394b27334\r\n", 15, &texts) == ENCRYPT_AMBIGUOUS &&
                  texts == 2,
              "encrypt_decrypt of a line two texts give", "");
        check(encrypt_decrypt_capacity(7) == 8, "encrypt_decrypt_capacity", "");
    }
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
