#!/usr/bin/env bash
# The command on the longest argument Linux delivers (131,071 bytes), against
#  - a straightforward build that prints each word with printf("%lx"):
#    instructions counted by valgrind's callgrind, which repeats exactly;
#  - a program that only measures the argument and writes as many bytes:
#    wall time of whole runs, taking turns, median of many.
# It does so for the release build, which runs the widest code this CPU has,
# and for builds capped at narrower instruction sets (CAPS, default "avx2
# plain"; presets cap-avx2 and cap-plain, built here when missing),
# which run what a CPU without the wider ones runs.
# Uses the release build (cmake --preset release && cmake --build --preset release).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build/release}
runs=${RUNS:-2000}
caps=${CAPS-avx2 plain}
bench=$build/bench
for program in "$build/encrypt" "$bench/encrypt_printf_baseline" "$bench/encrypt_io_floor" "$bench/encrypt_spawn_timer"; do
    [[ -x $program ]] || { echo "missing $program: build the release preset first" >&2; exit 1; }
done

labels=("widest this CPU runs")
tools=("$build/encrypt")
for cap in $caps; do
    [[ -f build/cap-$cap/CMakeCache.txt ]] || cmake --preset "cap-$cap" > /dev/null
    cmake --build "build/cap-$cap" --target encrypt > /dev/null
    labels+=("capped at $cap")
    tools+=("build/cap-$cap/encrypt")
done

text=$(mktemp)
trap 'rm -f "$text"' EXIT
"$bench/encrypt_spawn_timer" make-text 131071 "$text"
bytes=$("$build/encrypt" "$(cat "$text")" | wc -c)
for tool in "${tools[@]}"; do
    cmp -s <("$tool" "$(cat "$text")") <("$build/encrypt" "$(cat "$text")") ||
        { echo "$tool writes another line" >&2; exit 1; }
done

instructions() {
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null |
        sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
}
theirs=$(instructions "$bench/encrypt_printf_baseline" "$(cat "$text")")

times=$("$bench/encrypt_spawn_timer" "$runs" "$text" "$bench/encrypt_io_floor $bytes" "${tools[@]}")
floor_us=$(sed -n '1s/.* //p' <<<"$times")

echo "argument: 131071 bytes; result line: $bytes bytes"
echo "printf per word: $theirs instructions; I/O floor: $floor_us us (median of $runs runs)"
for i in "${!tools[@]}"; do
    ours=$(instructions "${tools[$i]}" "$(cat "$text")")
    tool_us=$(sed -n "$((i + 2))s/.* //p" <<<"$times")
    awk -v label="${labels[$i]}" -v a="$theirs" -v b="$ours" -v t="$tool_us" -v f="$floor_us" 'BEGIN {
        printf "encrypt, %s: %d instructions (%.1fx fewer than printf per word; goal: at least 10x), %.1f us, %.3fx the I/O floor (goal: at most 1.10x)\n",
            label, b, a / b, t, t / f }'
done
echo "(callgrind's CPU offers no AVX-512, so instructions are counted for AVX2 at most)"
