# Sourced by the benchmark scripts. medians prints the median wall time in
# seconds of each command line in the array `commands`, over `runs` runs,
# the commands taking turns. "$work/file", where a command may write its
# output, is removed before each run, outside the time taken.
declare -a commands

# $work: a scratch folder named after $1, on tmpfs where there is one (the
# figures are the programs', not the disk's), removed when the script ends.
make_work() {
    local tmp=/dev/shm
    [[ -d $tmp && -w $tmp ]] || tmp=${TMPDIR:-/tmp}
    work=$(mktemp -d "$tmp/$1.XXXXXX")
    trap 'rm -rf "$work"' EXIT
}

medians() {
    local -A times=()
    for ((run = 0; run < runs; run++)); do
        for i in "${!commands[@]}"; do
            rm -f "$work/file"
            local start=$EPOCHREALTIME
            eval "${commands[$i]}"
            local stop=$EPOCHREALTIME
            times[$i]+="$(awk -v a="$start" -v b="$stop" 'BEGIN { printf "%.6f", b - a }') "
        done
    done
    for i in "${!commands[@]}"; do
        tr ' ' '\n' <<<"${times[$i]}" | grep . | sort -n | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }'
    done
}
