/* A C program outside the project that uses the installed library through
 * its C interface, built as strict C99. */
#include <encrypt/encrypt.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(void) {
    char* line = malloc(encrypt_line_capacity(3));
    uint32_t* words = encrypt_text("abc", 3);
    if (line == NULL || words == NULL || words[0] != 0x25da76d8u || words[1] != 0x32c8u) {
        puts("consumer (C): encrypt_text gave the wrong words for \"abc\"");
        return 1;
    }
    encrypt_free(words);
    encrypt_line(line, "abc", 3);
    if (strcmp(line, ENCRYPT_CAPTION "25da76d832c8\n") != 0) {
        puts("consumer (C): encrypt_line gave the wrong line for \"abc\"");
        return 1;
    }
    free(line);
    puts("consumer (C): ok");
    return 0;
}
