#!/usr/bin/env bash
# The long fuzzing run: every target (or those named) for SECONDS each (default 600), JOBS at a time
# (default 2), on the seed corpora plus what earlier runs found. Prints one summary line per target:
#   fuzz/long.sh [SECONDS] [target ...]        JOBS=2 FUZZ_BUILD=build-fuzz
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
seconds=${1:-600}
[ $# -gt 0 ] && shift
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for t in "$here"/*_fuzz.cpp; do targets+=("$(basename "$t" .cpp)"); done
fi
jobs=${JOBS:-2}
build=${FUZZ_BUILD:-$(dirname "$here")/build-fuzz}
mkdir -p "$build/long"
failed=0
running=0
for t in "${targets[@]}"; do
  ( start=$(date +%s)
    "$here/run.sh" "$seconds" "$t" >"$build/long/$t.out" 2>&1
    rc=$?
    echo "$(grep '^fuzz:' "$build/long/$t.out") wall $(( $(date +%s) - start ))s" >"$build/long/$t.summary"
    exit $rc ) &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n || failed=1
    running=$((running - 1))
  fi
done
while [ "$running" -gt 0 ]; do
  wait -n || failed=1
  running=$((running - 1))
done
cat "$build"/long/*.summary
exit $failed
