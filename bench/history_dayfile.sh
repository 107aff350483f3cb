#!/usr/bin/env bash
# Start-up and exit cost of the history, and of the Logs page's list, with a large day file for today
# (default 200 MB):
#   bench/history_dayfile.sh [MB] [build-dir]
# Writes the file below a temporary data folder, then runs build/bench/bench_dayfile on it. Each record
# appended during the run is added to that file, which is removed at the end.
set -euo pipefail
mb=${1:-200}
build=${2:-build}
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
day="$home/Logs/Kestrum/$(date +%Y%m%d).log"
mkdir -p "$(dirname "$day")"
# Records as the program writes them: a stamp, the code and two quoted texts.
python3 - "$day" "$mb" <<'PY'
import sys
path, mb = sys.argv[1], int(sys.argv[2])
stamp = 20240510000000000
line = '{}|0|"Memory was optimized automatically in backgroud."|"{}.00 MB -> {}.00 MB, +{}.00 MB."\r\n'
with open(path, 'w', newline='') as f:
    written, i = 0, 0
    while written < mb * 1000 * 1000:
        s = line.format(stamp + i, 900 + i % 1000, 1400 + i % 1000, 500)
        f.write(s)
        written += len(s)
        i += 1
print(f"day file: {written / 1e6:.0f} MB, {i} records")
PY
sync "$day"  # the file is on disk before the first measured flush
KESTRUM_BENCH_HOME=$home "$build/bench/bench_dayfile"
# The Logs page's list over the same file: the index built off the interface thread, one screen read.
KESTRUM_BENCH_HOME=$home "$build/bench/bench_logs_index"
