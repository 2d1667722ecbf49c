/* The word transform stated independently from its definition and sharing
 * no code with the library, for the tests in C and C++ to compare against. */
#ifndef ENCRYPT_TESTS_REFERENCE_H
#define ENCRYPT_TESTS_REFERENCE_H

#include <stdint.h>

/* The product is taken in 64 bits and then reduced, unlike the library. */
static inline uint32_t encrypt_reference_mix(uint32_t v) {
    const uint64_t a = ((uint64_t)v + 26) % 0x100000000ULL;
    const uint64_t b = ((uint64_t)v + 5) % 0x100000000ULL;
    const uint64_t p = (a * b) % 0x100000000ULL;
    return (uint32_t)(p ^ (p >> 16));
}

#endif /* ENCRYPT_TESTS_REFERENCE_H */
