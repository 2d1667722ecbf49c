#!/usr/bin/env bash
# The command on the longest argument Linux delivers (131,071 bytes), against
#  - a straightforward build that prints each word with printf("%lx"):
#    instructions counted by valgrind's callgrind, which repeats exactly;
#  - a program that only measures the argument and writes as many bytes:
#    wall time of whole runs, taking turns, median of many.
# Uses the release build (cmake --preset release && cmake --build --preset release).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build/release}
runs=${RUNS:-2000}
tool=$build/encrypt
bench=$build/bench
for program in "$tool" "$bench/encrypt_printf_baseline" "$bench/encrypt_io_floor" "$bench/encrypt_spawn_timer"; do
    [[ -x $program ]] || { echo "missing $program: build the release preset first" >&2; exit 1; }
done

text=$(mktemp)
trap 'rm -f "$text"' EXIT
"$bench/encrypt_spawn_timer" make-text 131071 "$text"
bytes=$("$tool" "$(cat "$text")" | wc -c)

instructions() {
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null |
        sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
}
ours=$(instructions "$tool" "$(cat "$text")")
theirs=$(instructions "$bench/encrypt_printf_baseline" "$(cat "$text")")

times=$("$bench/encrypt_spawn_timer" "$runs" "$text" "$tool" "$bench/encrypt_io_floor $bytes")
tool_us=$(sed -n '1s/.* //p' <<<"$times")
floor_us=$(sed -n '2s/.* //p' <<<"$times")

echo "argument: 131071 bytes; result line: $bytes bytes"
echo "instructions: encrypt $ours, printf per word $theirs"
awk -v a="$theirs" -v b="$ours" 'BEGIN { printf "instruction ratio (printf per word / encrypt): %.1fx (goal: at least 10x)\n", a / b }'
echo "wall time, median of $runs runs: encrypt $tool_us us, I/O floor $floor_us us"
awk -v a="$tool_us" -v b="$floor_us" 'BEGIN { printf "wall time ratio (encrypt / I/O floor): %.3fx (goal: at most 1.10x)\n", a / b }'
