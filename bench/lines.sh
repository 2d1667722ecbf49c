#!/usr/bin/env bash
# encrypt-lines side by side with basenc --base16 (GNU coreutils), which
# hex-encodes its input, and with one encrypt process per text:
#  - one 256 MiB stream of random bytes (long lines);
#  - a file of 2,000,000 random texts of 1 to 64 printable bytes;
#  - the first 2,000 of those texts through `xargs -n1 encrypt`.
# Rates are input bytes (or texts) per second, output to /dev/null, best of
# three runs. Uses the release build (cmake --preset release && cmake --build --preset release).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build/release}
for program in "$build/encrypt" "$build/encrypt-lines" "$build/bench/encrypt_spawn_timer"; do
    [[ -x $program ]] || { echo "missing $program: build the release preset first" >&2; exit 1; }
done
command -v basenc > /dev/null || { echo "basenc (GNU coreutils 8.31 or later) is missing" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
head -c 256M /dev/urandom > "$work/long"
"$build/bench/encrypt_spawn_timer" make-texts 2000000 "$work/short"
head -n 2000 "$work/short" > "$work/few"

# Best wall time of three runs of a command line, in seconds.
seconds() {
    local best=
    for _ in 1 2 3; do
        local start end
        start=$(date +%s.%N)
        bash -c "$1" > /dev/null
        end=$(date +%s.%N)
        best=$(awk -v a="$start" -v b="$end" -v best="$best" \
            'BEGIN { t = b - a; print (best == "" || t < best) ? t : best }')
    done
    echo "$best"
}

rate_line() {  # name, input bytes, ours, theirs, goal
    awk -v name="$1" -v bytes="$2" -v ours="$3" -v theirs="$4" -v goal="$5" 'BEGIN {
        printf "%s: encrypt-lines %.0f MB/s (%.3f s), basenc --base16 %.0f MB/s (%.3f s): %.2fx (goal: at least %s)\n",
            name, bytes / ours / 1e6, ours, bytes / theirs / 1e6, theirs, theirs / ours, goal }'
}

long_bytes=$(wc -c < "$work/long")
short_bytes=$(wc -c < "$work/short")
rate_line "256 MiB of random bytes (long lines)" "$long_bytes" \
    "$(seconds "'$build/encrypt-lines' < '$work/long'")" \
    "$(seconds "basenc --base16 < '$work/long'")" 1.0x
rate_line "2,000,000 texts of 1-64 bytes" "$short_bytes" \
    "$(seconds "'$build/encrypt-lines' < '$work/short'")" \
    "$(seconds "basenc --base16 < '$work/short'")" 0.5x

many=$(seconds "'$build/encrypt-lines' < '$work/short'")
one_each=$(seconds "xargs -d '\n' -n1 '$build/encrypt' < '$work/few'")
awk -v many="$many" -v one="$one_each" 'BEGIN {
    ours = 2000000 / many; theirs = 2000 / one
    printf "texts per second: encrypt-lines %.0f, one encrypt per text (xargs -n1, 2,000 texts) %.0f: %.0fx (goal: at least 2000x)\n",
        ours, theirs, ours / theirs }'
