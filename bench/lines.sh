#!/usr/bin/env bash
# encrypt-lines side by side, in one run, for the release build (the widest
# code this CPU runs) and the cap-avx2 build (what a CPU without AVX-512
# runs), on two inputs:
#  - 256 MiB of random bytes (long lines);
#  - 2,000,000 random texts of 1 to 64 printable bytes;
# into three sinks: /dev/null, a file on tmpfs, and a pipe to `cat`. The
# yardsticks: `basenc --base16` (GNU coreutils), which only hex-encodes its
# input, on the same file into /dev/null; and the floor, `cat` of the very
# output encrypt-lines writes, into the same file or pipe: a filter that
# computes nothing and writes the same bytes. Then one encrypt process per
# text (xargs -n1, the first 2,000 texts) for texts a second.
#
# Every figure is the median of RUNS runs (default 9), the commands taking
# turns; output files are removed between runs, outside the time taken.
# Builds the release and cap-avx2 presets where they are missing.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${RUNS:-9}
for preset in release cap-avx2; do
    [[ -f build/$preset/CMakeCache.txt ]] || cmake --preset "$preset" > /dev/null
    cmake --build "build/$preset" --target encrypt encrypt-lines > /dev/null
done
[[ -x build/release/bench/encrypt_spawn_timer ]] ||
    cmake --build --preset release --target encrypt_spawn_timer > /dev/null
command -v basenc > /dev/null || { echo "basenc (GNU coreutils 8.31 or later) is missing" >&2; exit 1; }

echo "CPU: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores;" \
    "$(grep -o -w -E 'avx2|avx512f|avx512_vbmi2' /proc/cpuinfo | sort -u | tr '\n' ' ')"

source bench/medians.sh
make_work encrypt-lines-bench
head -c 256M /dev/urandom > "$work/long"
build/release/bench/encrypt_spawn_timer make-texts 2000000 "$work/short"
head -n 2000 "$work/short" > "$work/few"
for input in long short; do
    build/release/encrypt-lines < "$work/$input" > "$work/$input.out"
    cmp -s <(build/cap-avx2/encrypt-lines < "$work/$input") "$work/$input.out" ||
        { echo "the cap-avx2 build writes other bytes for $input" >&2; exit 1; }
done

line() {  # label, ours, theirs, yardstick, goal
    awk -v label="$1" -v ours="$2" -v theirs="$3" -v yardstick="$4" -v goal="$5" 'BEGIN {
        printf "  %-40s %.3f s, %s %.3f s: %.2fx (goal: %s)\n", label, ours, yardstick, theirs, ours / theirs, goal }'
}

for input in long short; do
    if [[ $input == long ]]; then
        echo "256 MiB of random bytes (long lines), $(wc -c < "$work/long.out") bytes of output:"
    else
        echo "2,000,000 texts of 1-64 bytes, $(wc -c < "$work/short.out") bytes of output:"
    fi
    in=$work/$input
    commands=(
        "basenc --base16 < '$in' > /dev/null"
        "cat '$in.out' > '$work/file'"
        "cat '$in.out' | cat > /dev/null")
    for preset in release cap-avx2; do
        tool=build/$preset/encrypt-lines
        commands+=(
            "$tool < '$in' > /dev/null"
            "$tool < '$in' > '$work/file'"
            "$tool < '$in' | cat > /dev/null")
    done
    mapfile -t t < <(medians)
    k=3
    for preset in release cap-avx2; do
        null_goal="at least $([[ $preset == release ]] && echo 1.5 || echo 1.2)x basenc's rate"
        awk -v label="$preset, to /dev/null:" -v ours="${t[$k]}" -v theirs="${t[0]}" -v goal="$null_goal" 'BEGIN {
            printf "  %-40s %.3f s, basenc --base16 %.3f s: %.2fx its rate (goal: %s)\n", label, ours, theirs, theirs / ours, goal }'
        line "$preset, into a file:" "${t[$((k + 1))]}" "${t[1]}" "cat of the output" "at most 1.10x"
        line "$preset, through a pipe to cat:" "${t[$((k + 2))]}" "${t[2]}" "cat of the output" "at most 1.10x"
        k=$((k + 3))
    done
done

commands=("build/release/encrypt-lines < '$work/short' > /dev/null"
          "xargs -d '\n' -n1 build/release/encrypt < '$work/few' > /dev/null")
runs=3
mapfile -t t < <(medians)
awk -v many="${t[0]}" -v one="${t[1]}" 'BEGIN {
    ours = 2000000 / many; theirs = 2000 / one
    printf "texts per second: encrypt-lines %.0f, one encrypt per text (xargs -n1, 2,000 texts) %.0f: %.0fx\n",
        ours, theirs, ours / theirs }'
