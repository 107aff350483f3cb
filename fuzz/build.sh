#!/bin/sh
# Builds every fuzz target with clang, libFuzzer, ASan and UBSan into build-fuzz/ (or the folder given).
# Only the parsers' sources are compiled, so this is a small build beside the program's own.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
out=${1:-$root/build-fuzz}
CC=clang CXX=clang++ cmake -S "$here" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C "$out"
