#!/usr/bin/env bash
# encrypt-lines -d, reading result lines back, against `basenc --base16 -d`
# (GNU coreutils), which only decodes hex, on as many hex digits (upper case
# and an even number of them, as Debian's basenc wants), into /dev/null:
#  - the lines of 2,000,000 random texts of 1 to 64 printable bytes;
#  - the one line of 256 MiB of pseudo-random non-zero bytes (made with -z,
#    read back with -dz). Always the same bytes: in truly random ones about
#    one stretch in 240 MiB is given by two texts without a zero byte too,
#    which leaves a line that long ambiguous more often than not.
# Then Python's encrypt.decrypt() on the short lines, in lines a second.
#
# Every figure is the median of RUNS runs (default 9), the commands taking
# turns. Builds the release preset where it is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${RUNS:-9}
[[ -f build/release/CMakeCache.txt ]] || cmake --preset release > /dev/null
cmake --build build/release --target encrypt-lines encrypt_spawn_timer encrypt_python > /dev/null
command -v basenc > /dev/null || { echo "basenc (GNU coreutils 8.31 or later) is missing" >&2; exit 1; }
lines=build/release/encrypt-lines

echo "CPU: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores;" \
    "$(grep -o -w -E 'avx2|avx512f|avx512_vbmi2' /proc/cpuinfo | sort -u | tr '\n' ' ')"

source bench/medians.sh
make_work encrypt-decrypt-bench
build/release/bench/encrypt_spawn_timer make-texts 2000000 "$work/short.text"
build/release/bench/encrypt_spawn_timer make-text $((256 << 20)) "$work/long.text"
"$lines" < "$work/short.text" > "$work/short"
"$lines" -z < "$work/long.text" > "$work/long"
for input in short long; do
    # The digits alone, upper case, an even number of them.
    sed 's/^Encrypted data in hexadecimal format: //' "$work/$input" | tr -d '\n' | tr a-f A-F \
        > "$work/$input.hex"
    truncate -s $(($(stat -c %s "$work/$input.hex") / 2 * 2)) "$work/$input.hex"
done
"$lines" -d < "$work/short" | cmp -s - "$work/short.text" || { echo "short lines: other texts" >&2; exit 1; }
"$lines" -dz < "$work/long" | cmp -s - <(cat "$work/long.text"; printf '\0') ||
    { echo "the long line: another text" >&2; exit 1; }

for input in short long; do
    if [[ $input == short ]]; then
        label="the lines of 2,000,000 texts of 1-64 bytes"
        commands=("$lines -d < '$work/short' > /dev/null")
    else
        label="the line of 256 MiB of pseudo-random non-zero bytes"
        commands=("$lines -dz < '$work/long' > /dev/null")
    fi
    commands+=("basenc --base16 -d < '$work/$input.hex' > /dev/null")
    mapfile -t t < <(medians)
    awk -v label="$label" -v digits="$(stat -c %s "$work/$input.hex")" -v ours="${t[0]}" -v theirs="${t[1]}" 'BEGIN {
        printf "%s, %d hex digits:\n  encrypt-lines -d %.3f s, basenc --base16 -d %.3f s: %.2fx its rate (goal: at least 1.5x)\n",
            label, digits, ours, theirs, theirs / ours }'
done

python=$(sed -n 's/^Python3_EXECUTABLE:[A-Z]*=//p' build/release/CMakeCache.txt)
if [[ -n $python && -d build/release/python/package ]]; then
    PYTHONPATH=build/release/python/package "$python" - "$work/short" <<'EOF'
import sys, time, encrypt
lines = open(sys.argv[1], "rb").read().split(b"\n")[:-1]
best = float("inf")
for _ in range(5):
    start = time.perf_counter()
    for line in lines:
        encrypt.decrypt(line)
    best = min(best, time.perf_counter() - start)
print(f"Python {sys.version.split()[0]}, encrypt.decrypt() on the short lines, best of 5: "
      f"{len(lines) / best / 1e6:.2f} M lines a second (goal: at least 1 M)")
EOF
fi
