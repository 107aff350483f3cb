#!/bin/sh
# Builds the JSON reader's fuzz target: fuzz/build.sh [output] (default: build-fuzz/json_fuzz).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
out=${1:-$root/build-fuzz/json_fuzz}
mkdir -p "$(dirname "$out")"
# shellcheck disable=SC2046
clang++ -std=c++20 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$root/src" $(pkg-config --cflags Qt6Core) \
    "$root"/src/support/_OrvJSON*.cpp "$here/json_fuzz.cpp" \
    $(pkg-config --libs Qt6Core) -o "$out"
echo "$out"
