/* The native library's side of bench/js/speed.mjs: encrypt_hex() on the
 * texts of FILE (each a length byte, then its bytes), best of five, and on
 * one text of 64 MiB. Prints one JSON object. */
#define _XOPEN_SOURCE 700  /* gettimeofday() under -std=c99 */
#include <encrypt/encrypt.h>

#include <stdio.h>
#include <stdlib.h>
#include <sys/time.h>

static double seconds(void) {
    struct timeval now;
    gettimeofday(&now, NULL);
    return (double)now.tv_sec + (double)now.tv_usec / 1e6;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fputs("usage: native_hex FILE\n", stderr);
        return 2;
    }
    FILE* file = fopen(argv[1], "rb");
    if (file == NULL || fseek(file, 0, SEEK_END) != 0) {
        perror(argv[1]);
        return 1;
    }
    const long size = ftell(file);
    unsigned char* all = malloc((size_t)size);
    rewind(file);
    if (all == NULL || fread(all, 1, (size_t)size, file) != (size_t)size) {
        perror(argv[1]);
        return 1;
    }
    fclose(file);
    char out[8 * 64 + 1];
    unsigned long sink = 0;
    long texts = 0;
    double best = 1e9;
    for (int round = 0; round < 5; ++round) {
        const double start = seconds();
        texts = 0;
        for (long at = 0; at < size; at += 1 + all[at], ++texts) {
            sink += encrypt_hex(out, (const char*)all + at + 1, all[at]);
            sink += (unsigned char)out[0]; /* each result used */
        }
        const double took = seconds() - start;
        best = took < best ? took : best;
    }
    const size_t large = (size_t)64 << 20;
    char* text = malloc(large);
    char* digits = malloc(encrypt_hex_capacity((uint32_t)large));
    if (text == NULL || digits == NULL) {
        return 1;
    }
    for (size_t i = 0; i < large; ++i) {
        text[i] = (char)((i * 2654435761u) >> 24);
    }
    double best_large = 1e9;
    for (int round = 0; round < 3; ++round) {
        const double start = seconds();
        sink += encrypt_hex(digits, text, (uint32_t)large);
        const double took = seconds() - start;
        best_large = took < best_large ? took : best_large;
    }
    printf("{\"texts_per_second\": %.0f, \"large_seconds\": %.4f, \"sink\": %lu}\n",
           (double)texts / best, best_large, sink % 10);
    return 0;
}
