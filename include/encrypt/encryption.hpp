// encrypt: a fixed, keyless word transform over text.
//
// This is NOT encryption in the security sense. There is no key, and every
// 16-bit unit of a text can be recovered from its word by trying all 65,536
// units. Use it only where this exact transform is wanted.
//
// Usable from C++11 onwards; includes nothing but <cstdint>.
#ifndef ENCRYPT_ENCRYPTION_HPP
#define ENCRYPT_ENCRYPTION_HPP

#include <cstdint>

// The two routines are the library's only exported symbols. A shared build
// defines ENCRYPT_SHARED for itself and its users (Windows needs to know).
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

namespace encrypt {

// Replaces each of the first `count` words by its transformed value and
// returns `words`. Each word depends on itself alone. With v a word and all
// arithmetic modulo 2^32:
//     p = (v + 26) * (v + 5);   new word = p ^ (p >> 16)
// Allocates nothing and cannot fail. A count of 0 touches nothing.
// `words` must point to `count` readable and writable words.
ENCRYPT_API std::uint32_t* encryption(std::uint32_t* words, std::uint32_t count);

// Packs the `length` bytes at `text` two at a time into 16-bit units (the
// first byte of each pair low, bytes taken as unsigned), widens each unit to
// a word in a new array and applies encryption() to it. An odd length ends in
// a unit whose high byte is zero, as the text's terminating zero would give;
// exactly `length` bytes are read, so `text` need not be zero-terminated.
//
// Returns an array of length / 2 + (length & 1) words allocated with
// std::malloc; the caller owns it and releases it with std::free.
// Returns a null pointer when the heap refuses the array (or its size in
// bytes does not fit in std::size_t). For length 0 nothing is allocated and
// the result is a null pointer, which is then no error.
ENCRYPT_API std::uint32_t* _encryption(const char* text, std::uint32_t length);

}  // namespace encrypt

#endif  // ENCRYPT_ENCRYPTION_HPP
