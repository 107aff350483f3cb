#!/usr/bin/env bash
# Runs fuzz targets on their seed corpora: fuzz/run.sh SECONDS [target ...] (default: every target).
# Each target runs SECONDS on its own; new inputs go to BUILD/corpus/<target>/ (outside the repository), a
# finding is kept as BUILD/findings/<target>/crash-* (or leak-*, timeout-*, oom-*). Exits non-zero when any
# target found something. BUILD is build-fuzz unless FUZZ_BUILD names another folder (fuzz/build.sh makes it).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${FUZZ_BUILD:-$root/build-fuzz}
seconds=${1:?usage: fuzz/run.sh SECONDS [target ...]}
shift
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for t in "$here"/*_fuzz.cpp; do targets+=("$(basename "$t" .cpp)"); done
fi

# Seed folders of a target: its own corpus, plus the test fixtures and artwork that hold its kind of input.
seeds() {
  local name=${1%_fuzz}
  echo "$here/corpus/$name"
  case $name in
    proc) echo "$root/tests/fixtures/engine" "$root/tests/fixtures/engine/proc" "$root/tests/fixtures/pressure/proc_k6/pressure" ;;
    exeimports) echo "$root/tests/fixtures/elf" "$root/tests/fixtures/pe" ;;
    langpack) echo "$root/Langs/1031" "$root/Langs/1036" ;;
  esac
}
# Longest input worth trying: executables and pictures are larger than texts.
maxlen() {
  case ${1%_fuzz} in
    exeimports) echo 32768 ;;
    picture) echo 65536 ;;
    *) echo 4096 ;;
  esac
}

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export QT_QPA_PLATFORM=offscreen
# Targets that go through files write them below TMPDIR: memory is quicker than a disk's flushes.
[ -d /dev/shm ] && [ -w /dev/shm ] && export TMPDIR=${FUZZ_TMPDIR:-/dev/shm}
failed=0
for t in "${targets[@]}"; do
  bin="$build/$t"
  [ -x "$bin" ] || { echo "fuzz: $t not built (fuzz/build.sh)"; failed=1; continue; }
  corpus="$build/corpus/$t"
  findings="$build/findings/$t"
  mkdir -p "$corpus" "$findings"
  dirs=()
  for d in $(seeds "$t"); do [ -d "$d" ] && dirs+=("$d"); done
  log="$build/findings/$t.log"
  (cd "$findings" && "$bin" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=25 -max_len="$(maxlen "$t")" \
    -print_final_stats=1 "$corpus" "${dirs[@]}" >"$log" 2>&1)
  rc=$?
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | tail -n 1 | grep -o '[0-9]*$')
  found=$(find "$findings" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | wc -l)
  echo "fuzz: $t ${seconds}s executions ${runs:-?} findings $found (exit $rc)"
  if [ "$rc" -ne 0 ] || [ "$found" -ne 0 ]; then
    failed=1
    tail -n 40 "$log"
  fi
done
exit $failed
