#!/usr/bin/env bash
# Runs every command of every ```console block in README.md and docs/*.md
# and compares what it prints with what the block shows, so that the docs
# cannot drift from the commands. In a block, a line "$ COMMAND" is run by
# bash (standard error with standard output, as a terminal shows them) in a
# scratch folder that the block's commands share; the lines after it, up to
# the next "$ " or the block's end, are its output.
#   docs_examples.sh SOURCE_DIR BUILD_DIR [PYTHON PYTHONPATH]
# The commands find encrypt and encrypt-lines of BUILD_DIR first on the
# PATH, and `python3` is PYTHON with the built module on PYTHONPATH; without
# PYTHON, the commands that start with python3 are skipped and counted.
set -euo pipefail
source_dir=$1
build_dir=$(cd "$2" && pwd)
python=${3:-}
module_path=${4:+$(cd "$4" && pwd)}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/bin"
if [[ -n $python ]]; then
    printf '#!/bin/sh\nPYTHONPATH=%q exec %q "$@"\n' "$module_path" "$python" > "$scratch/bin/python3"
    chmod +x "$scratch/bin/python3"
fi
export PATH=$scratch/bin:$build_dir:$PATH
export LC_ALL=C.UTF-8

ran=0 skipped=0 failed=0
check() {  # file, line, command, expected output
    local file=$1 at=$2 command=$3 expected=$4 got
    if [[ -z $python && $command == python3* ]]; then
        skipped=$((skipped + 1))
        return
    fi
    got=$(cd "$scratch/work" && bash -c "$command" 2>&1 < /dev/null; printf x)
    got=${got%x}
    ran=$((ran + 1))
    if [[ $got != "$expected" ]]; then
        failed=$((failed + 1))
        echo "$file:$at: \$ $command"
        diff <(printf '%s' "$expected") <(printf '%s' "$got") | sed 's/^/    /' || true
    fi
}

for file in "$source_dir"/README.md "$source_dir"/docs/*.md; do
    name=${file#"$source_dir"/}
    in_block=no command= expected= at=0 number=0
    while IFS= read -r line || [[ -n $line ]]; do
        number=$((number + 1))
        if [[ $in_block == no ]]; then
            if [[ $line == '```console' ]]; then
                in_block=yes command=
                rm -rf "$scratch/work" && mkdir "$scratch/work"
            fi
            continue
        fi
        if [[ $line == '```' || $line == '$ '* ]]; then
            [[ -z $command ]] || check "$name" "$at" "$command" "$expected"
            command= expected=
            if [[ $line == '```' ]]; then
                in_block=no
            else
                command=${line#'$ '} at=$number
            fi
        elif [[ -n $command ]]; then
            expected+=$line$'\n'
        fi
    done < "$file"
done
echo "docs examples: $((ran - failed)) passed, $failed failed, $skipped skipped"
((ran > 0 && failed == 0))
