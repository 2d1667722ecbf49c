#!/usr/bin/env bash
# Whole-stream checks of encrypt-lines that need other programs around it.
#   encrypt_lines_checks.sh long-line ENCRYPT_LINES
#       1 GiB of zero bytes is one text of 2^29 units 0, each printed as 82:
#       38 + 2^30 + 1 bytes, in the same fixed buffers as a short text, under
#       a 32 MiB address-space limit.
#   encrypt_lines_checks.sh long-line-back ENCRYPT_LINES
#       That line read back with -d under the same limit, the text leaving as
#       it is decided: 2^30 - 1 zero bytes (the last unit's zero high byte
#       stands for the end of an odd text) and a line feed.
#   encrypt_lines_checks.sh parallel ENCRYPT_LINES WORK_DIR
#       GNU parallel with 4 jobs over 200,000 texts writes what one process does.
set -euo pipefail
check=$1
program=$2
case $check in
long-line)
    bytes=$(ulimit -v 32768 && head -c 1G /dev/zero | "$program" | wc -c)
    [[ $bytes == $((38 + (1 << 30) + 1)) ]] || { echo "wrote $bytes bytes"; exit 1; }
    echo "1 GiB line: $bytes bytes written in 32 MiB of address space"
    ;;
long-line-back)
    counts=$(head -c 1G /dev/zero | "$program" | (ulimit -v 32768 && "$program" -d) |
        tr -d '\0' | od -An -c | tr -d ' ')
    [[ $counts == '\n' ]] || { echo "read back other bytes than zeros and a line feed: $counts"; exit 1; }
    bytes=$(head -c 1G /dev/zero | "$program" | (ulimit -v 32768 && "$program" -d) | wc -c)
    [[ $bytes == $((1 << 30)) ]] || { echo "read back $bytes bytes"; exit 1; }
    echo "1 GiB line read back: $bytes bytes in 32 MiB of address space"
    ;;
parallel)
    work=$3
    mkdir -p "$work"
    awk 'BEGIN { srand(7); for (i = 0; i < 200000; i++) { n = 1 + int(rand() * 64); s = "";
                 for (j = 0; j < n; j++) s = s sprintf("%c", 32 + int(rand() * 95)); print s } }' \
        > "$work/texts"
    "$program" < "$work/texts" > "$work/one"
    parallel --will-cite --pipe --keep-order --block 256k -j4 "$program" < "$work/texts" > "$work/four"
    cmp "$work/one" "$work/four"
    echo "200,000 texts: 4 parallel jobs wrote the same $(wc -c < "$work/one") bytes as one process"
    rm -rf "$work"
    ;;
*)
    echo "unknown check $check" >&2
    exit 2
    ;;
esac
