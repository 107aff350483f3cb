#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: unit and integration tests (offscreen), then the
# GUI tests on a private Xvfb display with openbox. Exits non-zero when any test fails.
set -uo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh || exit 1
./scripts/build.sh || exit 1

BUILD_DIR=${BUILD_DIR:-build}
# Everything the tests write goes below a temporary KESTRUM_HOME; single-instance sockets too.
export KESTRUM_HOME=$(mktemp -d)
export XDG_RUNTIME_DIR=$(mktemp -d)
# The program registers itself to start at logon whenever it starts: keep those entries out of the real one.
export XDG_CONFIG_HOME=$(mktemp -d)
chmod 700 "$XDG_RUNTIME_DIR"
trap 'rm -rf "$KESTRUM_HOME" "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME"' EXIT

. scripts/xvfb.sh
kestrum_start_xvfb || exit 1
trap 'kestrum_stop_xvfb; rm -rf "$KESTRUM_HOME" "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME"' EXIT

ctest --test-dir "$BUILD_DIR" --output-on-failure -j2 --timeout 300
