#!/usr/bin/env bash
# Installs encrypt into fresh prefixes, static and shared, and builds a small
# program against each the two usual ways: find_package(encrypt) and
# pkg-config. Each program calls both routines and checks the words of "abc".
#   check.sh SOURCE_DIR WORK_DIR
set -euo pipefail
source_dir=$(cd "$1" && pwd)
work=$2
consumer=$source_dir/tests/consumer
version=$(sed -n 's/^ *VERSION \([0-9.]*\)$/\1/p' "$source_dir/CMakeLists.txt" | head -n 1)
rm -rf "$work"
mkdir -p "$work"

for kind in static shared; do
    shared=$([[ $kind == shared ]] && echo ON || echo OFF)
    prefix=$work/$kind/prefix
    mkdir -p "$work/$kind"
    echo "-- $kind library: build and install into $prefix"
    cmake -S "$source_dir" -B "$work/$kind/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DBUILD_SHARED_LIBS=$shared -DBUILD_TESTING=OFF > "$work/$kind/configure.log"
    cmake --build "$work/$kind/build" > "$work/$kind/build.log"
    cmake --install "$work/$kind/build" --prefix "$prefix" > "$work/$kind/install.log"
    "$prefix/bin/encrypt" abc

    echo "-- $kind library: find_package(encrypt)"
    cmake -S "$consumer" -B "$work/$kind/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
        > "$work/$kind/consumer.log"
    cmake --build "$work/$kind/consumer" >> "$work/$kind/consumer.log"
    "$work/$kind/consumer/consumer"
    "$work/$kind/consumer/consumer_c"

    echo "-- $kind library: pkg-config"
    export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
    flags=$(pkg-config --cflags --libs encrypt)
    [[ $(pkg-config --modversion encrypt) == "$version" ]]
    # shellcheck disable=SC2086
    c++ -std=c++11 -Wall -Wextra -Werror "$consumer/main.cpp" $flags -Wl,-rpath,"$prefix/lib" \
        -o "$work/$kind/consumer-pkg-config"
    "$work/$kind/consumer-pkg-config"
    # A C program linked by the C compiler alone: the library needs no C++ runtime.
    # shellcheck disable=SC2086
    cc -std=c99 -pedantic -Wall -Wextra -Werror "$consumer/main.c" $flags -Wl,-rpath,"$prefix/lib" \
        -o "$work/$kind/consumer-c-pkg-config"
    "$work/$kind/consumer-c-pkg-config"
done

echo "-- a different major version is refused"
if cmake -S "$consumer" -B "$work/version-2" -G Ninja -DCMAKE_PREFIX_PATH="$work/static/prefix" \
        -DENCRYPT_WANTED_VERSION=2.0 > "$work/version-2.log" 2>&1; then
    echo "find_package(encrypt 2.0) accepted version $version"
    exit 1
fi

echo "-- the shared library exports the two routines and the C interface, nothing else"
exported=$(nm -D --defined-only "$work/shared/prefix/lib/libencrypt.so" | awk '$2 == "T" {print $3}' | LC_ALL=C sort)
expected=$(cat "$consumer/exports.txt")
if [[ $exported != "$expected" ]]; then
    printf 'exported:\n%s\n' "$exported"
    exit 1
fi
echo "consumers: all checks passed"
