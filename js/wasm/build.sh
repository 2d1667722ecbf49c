#!/usr/bin/env bash
# Compiles the library's C++ sources and exports.cpp into one standalone
# WebAssembly module with no imports: OUT (default js/build/encrypt.wasm).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
out=${1:-$root/js/build/encrypt.wasm}
mkdir -p "$(dirname "$out")"

# Debian's emscripten keeps its cache under /usr/share; where that is not
# ours to write, a copy of it goes beside the build.
if [[ -z ${EM_CACHE:-} && ! -w /usr/share/emscripten/cache ]]; then
    export EM_CACHE=$root/js/build/emscripten-cache
    [[ -d $EM_CACHE ]] || cp -r /usr/share/emscripten/cache "$EM_CACHE"
fi

exports=piece_area,piece_size,result_area,result_size,hex_piece,words_piece,transform_words
exports+=,unit_digits,decrypt_piece,decrypt_take,reason
exports+=,line_encoder_new,line_encoder_free,line_decoder_new,line_decoder_free,lines_capacity
exports+=,lines_input,lines_input_left,lines_output,line_encoder_run,line_decoder_run
exports+=,line_decoder_failure,line_decoder_failed_line

# Fixed memory: the areas (5 MiB), the decrypter of decrypt(), and the heap
# of the streams, where a decoder holds up to 16 MiB of a line's text back
# and, as it lets that text go, grows its buffer once more while the old one
# is still there.
memory=$((64 << 20))

# The plain C++ paths only (the x86 kernels compile to nothing for wasm32);
# -fconstexpr-steps for decrypting's tables, which the compiler makes;
# a square root that sets no errno; no exceptions, no growth, no start-up
# call, nothing of the C library's input and output.
flags=(-std=c++20 -O3 -msimd128 -fno-exceptions -fno-rtti -fno-math-errno
       -fconstexpr-steps=16777216 -DENCRYPT_ISA_LEVEL=0
       -I"$root/include" -I"$root/src")
link=(--no-entry -sSTANDALONE_WASM -sALLOW_MEMORY_GROWTH=0 -sINITIAL_MEMORY=$memory
      -sTOTAL_STACK=65536 -sEXPORTED_FUNCTIONS="$(sed 's/\([a-z_]*\)/_\1/g' <<<"$exports")")
sources=(src/kernels.cpp src/digits.cpp src/decrypt.cpp src/encryption.cpp src/line_encoder.cpp
         src/line_decoder.cpp src/c_interface_lines.cpp js/wasm/exports.cpp)
(cd "$root" && emcc "${flags[@]}" "${link[@]}" "${sources[@]}" -o "$out")
echo "$out: $(stat -c %s "$out") bytes"
