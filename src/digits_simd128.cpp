// The WebAssembly SIMD128 digits writer: four units a step. The words'
// bytes, most significant first and each twice, become two digits each by
// one nibble select and one table lookup; each word then stores its eight
// digits with its leading zeros shifted out.
#include "digits.hpp"

#if ENCRYPT_SIMD128
#  include <cstring>

#  include "kernels.hpp"

namespace encrypt::detail {

char* write_text_digits_simd128(char* out, const unsigned char* text, std::size_t length) noexcept {
    const v128_t hex = wasm_i8x16_make('0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'a', 'b',
                                       'c', 'd', 'e', 'f');
    const v128_t low_nibbles = wasm_i8x16_splat(0x0f);
    // Digits of one 16-bit lane holding a byte twice: its high nibble first.
    const auto digits_of = [&](v128_t twice) {
        const v128_t high = wasm_v128_and(wasm_u16x8_shr(twice, 4), low_nibbles);
        const v128_t low = wasm_v128_and(twice, low_nibbles);
        return wasm_i8x16_swizzle(hex, wasm_v128_bitselect(high, low, wasm_i16x8_splat(0x00ff)));
    };
    const auto put = [&](std::uint64_t digits, std::uint32_t word) {
        const std::size_t count = digit_count(word);
        digits >>= 8 * (max_digits - count);
        std::memcpy(out, &digits, sizeof digits);
        out += count;
    };
    std::size_t at = 0;
    for (; length - at >= 8; at += 8) {
        const v128_t words = mix4(wasm_u32x4_extend_low_u16x8(wasm_v128_load64_zero(text + at)));
        const v128_t first = digits_of(
            wasm_i8x16_shuffle(words, words, 3, 3, 2, 2, 1, 1, 0, 0, 7, 7, 6, 6, 5, 5, 4, 4));
        const v128_t second = digits_of(
            wasm_i8x16_shuffle(words, words, 11, 11, 10, 10, 9, 9, 8, 8, 15, 15, 14, 14, 13, 13, 12, 12));
        put(wasm_u64x2_extract_lane(first, 0), wasm_u32x4_extract_lane(words, 0));
        put(wasm_u64x2_extract_lane(first, 1), wasm_u32x4_extract_lane(words, 1));
        put(wasm_u64x2_extract_lane(second, 0), wasm_u32x4_extract_lane(words, 2));
        put(wasm_u64x2_extract_lane(second, 1), wasm_u32x4_extract_lane(words, 3));
    }
    return write_text_digits_scalar(out, text + at, length - at);
}

}  // namespace encrypt::detail

#endif  // ENCRYPT_SIMD128
