#!/usr/bin/env bash
# What encrypt-lines' writer thread gives: the release build against the
# same sources built without it (ENCRYPT_NO_WRITER_THREAD, in
# build/no-writer-thread), side by side on bench/lines.sh's two inputs, into
# /dev/null, a file on tmpfs and a pipe to cat. The thread stays only where
# it gives at least 1.2x on a path users run (a file, a pipe), and needs a
# free second core: run it with nothing else on the machine.
# Medians of RUNS runs (default 21), the commands taking turns.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${RUNS:-21}
[[ -f build/release/CMakeCache.txt ]] || cmake --preset release > /dev/null
cmake --build build/release --target encrypt-lines encrypt_spawn_timer > /dev/null
[[ -f build/no-writer-thread/CMakeCache.txt ]] ||
    cmake -S . -B build/no-writer-thread -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
        -DCMAKE_CXX_FLAGS=-DENCRYPT_NO_WRITER_THREAD > /dev/null
cmake --build build/no-writer-thread --target encrypt-lines > /dev/null
echo "CPU: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores; load $(cut -d' ' -f1 /proc/loadavg)"

source bench/medians.sh
make_work writer-thread-bench
head -c 256M /dev/urandom > "$work/long"
build/release/bench/encrypt_spawn_timer make-texts 2000000 "$work/short"

with=build/release/encrypt-lines
without=build/no-writer-thread/encrypt-lines
for input in short long; do
    in=$work/$input
    commands=()
    for sink in "> /dev/null" "> '$work/file'" "| cat > /dev/null"; do
        commands+=("$with < '$in' $sink" "$without < '$in' $sink")
    done
    echo "$input:"
    medians | paste - - | awk -v names="into /dev/null,into a file,through a pipe" 'BEGIN { split(names, name, ",") }
        { printf "  %-16s with the thread %.3f s, without %.3f s: %.2fx\n", name[NR], $1, $2, $2 / $1 }'
done
