#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: unit and integration tests (offscreen), then the
# GUI tests on a private Xvfb display with openbox. Then the whole suite again from a second build with
# AddressSanitizer and UBSan (undefined behaviour halts), and every fuzz target briefly on its corpus.
# Exits non-zero when any step fails.
#   KESTRUM_CI_SANITIZE=0  skips the sanitizer suite;  KESTRUM_CI_FUZZ=0  skips the fuzz step;
#   FUZZ_SECONDS (default 5) is each target's time.
set -uo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh || exit 1
./scripts/build.sh || exit 1

BUILD_DIR=${BUILD_DIR:-build}
ASAN_BUILD_DIR=${ASAN_BUILD_DIR:-build-asan}
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

step() { echo "== $1 ($(date +%T))"; }
failed=0

step "tests"
ctest --test-dir "$BUILD_DIR" --output-on-failure -j2 --timeout 300 || failed=1

if [ "${KESTRUM_CI_SANITIZE:-1}" != 0 ]; then
  step "sanitizer build (ASan + UBSan, no benchmarks)"
  # -O1 without debug information: the sanitizers' reports still name the functions, and the build takes
  # half the time of an optimised one with line tables.
  if BUILD_DIR=$ASAN_BUILD_DIR BUILD_TYPE=Release ./scripts/build.sh -DKESTRUM_SANITIZE=ON -DKESTRUM_BENCH=OFF \
      -DCMAKE_CXX_FLAGS_RELEASE=-O1 -DCMAKE_C_FLAGS_RELEASE=-O1; then
    step "tests under ASan + UBSan"
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
    LSAN_OPTIONS=suppressions=$PWD/scripts/sanitizers/lsan.supp:print_suppressions=0 \
    UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
      ctest --test-dir "$ASAN_BUILD_DIR" --output-on-failure -j2 --timeout 300 -LE package || failed=1
  else
    failed=1
  fi
fi

if [ "${KESTRUM_CI_FUZZ:-1}" != 0 ]; then
  step "fuzz targets, ${FUZZ_SECONDS:-5} s each"
  if fuzz/build.sh >"$KESTRUM_HOME/fuzz-build.log" 2>&1 || { cat "$KESTRUM_HOME/fuzz-build.log"; false; }; then
    fuzz/run.sh "${FUZZ_SECONDS:-5}" || failed=1
  else
    failed=1
  fi
fi

step "done"
exit $failed
