#!/usr/bin/env bash
# Configures and builds everything into build/ (Ninja). Extra arguments go to CMake.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} "$@" >/dev/null
ninja -C "$BUILD_DIR"
