#!/usr/bin/env bash
# The freeing run over victim processes, without swap and with a temporary swap file.
#
#   bench/free_run.sh [BUILD_DIR]          (root; BUILD_DIR defaults to build)
#   VICTIMS=50 MIB=20 ROUNDS=3 SWAP_MIB=2048 bench/free_run.sh build
#
# Each victim maps its own MIB MiB file (read, so the pages are clean page cache) and touches MIB MiB of
# anonymous memory, then sleeps. The run trims only the victims (kestrum-cli free --only kvictim), but walks
# the whole process list like a real run. Per scenario it prints every round and the medians of: wall time,
# resident memory taken, available-memory gain, swap cache growth, and our own overhead (time outside the
# kernel's page-out calls, snapshot, maps parsing and watching included, summed over the trimming threads)
# relative to all the run's work. bench/free_setups.sh covers zram and the hot-memory case.
# The swap file is created below a temporary folder and always switched off and removed (trap).
set -euo pipefail

BUILD=${1:-build}
CLI=$(realpath "$BUILD/bin/kestrum-cli")
VICTIMS=${VICTIMS:-50}
MIB=${MIB:-20}
ROUNDS=${ROUNDS:-3}
SWAP_MIB=${SWAP_MIB:-2048}

[ -x "$CLI" ] || { echo "free_run: build kestrum-cli first ($CLI)" >&2; exit 1; }
[ "$(id -u)" = 0 ] || { echo "free_run: run as root (trimming and swapon need it)" >&2; exit 1; }

# Not tmpfs: a swap file must live on a real file system.
WORK=$(mktemp -d /var/tmp/kestrum-free-run.XXXXXX)
SWAPFILE="$WORK/swapfile"
PIDS=()

cleanup() {
    for p in "${PIDS[@]:-}"; do [ -n "$p" ] && kill -9 "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    if grep -q "^$SWAPFILE " /proc/swaps 2>/dev/null; then swapoff "$SWAPFILE" || true; fi
    rm -rf "$WORK"
}
trap cleanup EXIT INT TERM HUP

cat > "$WORK/kvictim.c" <<'C'
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>
int main(int argc, char** argv) {
    size_t size = (size_t)atol(argv[2]) << 20;
    int fd = open(argv[1], O_RDONLY);
    volatile char* f = mmap(NULL, size, PROT_READ, MAP_PRIVATE, fd, 0);
    char* a = mmap(NULL, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (f == MAP_FAILED || a == MAP_FAILED) return 1;
    char sum = 0;
    for (size_t i = 0; i < size; i += 4096) { sum += f[i]; a[i] = (char)(i >> 12) | 1; }
    close(open(argv[3], O_CREAT | O_WRONLY, 0600));  /* ready */
    for (;;) pause();
}
C
cc -O2 -o "$WORK/kvictim" "$WORK/kvictim.c"

for i in $(seq 1 "$VICTIMS"); do
    dd if=/dev/urandom of="$WORK/data.$i" bs=1M count="$MIB" status=none
done
sync

meminfo() { awk -v k="$1:" '$1 == k { print $2 * 1024 }' /proc/meminfo; }

start_victims() {
    PIDS=()
    rm -f "$WORK"/ready.*
    for i in $(seq 1 "$VICTIMS"); do
        "$WORK/kvictim" "$WORK/data.$i" "$MIB" "$WORK/ready.$i" &
        PIDS+=($!)
    done
    for _ in $(seq 1 600); do
        [ "$(ls "$WORK" | grep -c '^ready\.')" -ge "$VICTIMS" ] && return 0
        sleep 0.05
    done
    echo "free_run: victims did not get ready" >&2
    exit 1
}

stop_victims() {
    for p in "${PIDS[@]}"; do kill -9 "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    PIDS=()
}

scenario() {
    local name=$1 results="$WORK/results.$1"
    : > "$results"
    for r in $(seq 1 "$ROUNDS"); do
        start_victims
        sleep 1
        local cached_before line cached_after avail_later
        cached_before=$(meminfo SwapCached)
        line=$("$CLI" free --only kvictim --bytes | grep '^bytes ')
        cached_after=$(meminfo SwapCached)
        sleep 2
        avail_later=$(meminfo MemAvailable)
        echo "$line swapcache_growth=$((cached_after - cached_before)) avail_2s_later=$avail_later" >> "$results"
        stop_victims
        sleep 1
    done
    python3 - "$name" "$results" <<'PY'
import statistics, sys
name, path = sys.argv[1], sys.argv[2]
rows = []
for line in open(path):
    rows.append({k: float(v) for k, v in (f.split("=") for f in line.split()[1:])})
mib = lambda b: b / 1048576
def med(key): return statistics.median(r[key] for r in rows)
for i, r in enumerate(rows, 1):
    over = (r["work_seconds"] - r["kernel_seconds"]) / r["work_seconds"] * 100
    print(f"  {name} round {i}: wall {r['seconds']*1000:.1f} ms (trim {r['trim_seconds']*1000:.1f}, kernel "
          f"{r['kernel_seconds']*1000:.1f}, reclaim {r['reclaim_seconds']*1000:.1f}), taken {mib(r['taken']):.1f} MiB "
          f"(anon {mib(r['anon']):.1f}), gain {mib(r['gain']):.1f} MiB, swap cache +{mib(r['swapcache_growth']):.1f} MiB, "
          f"reclaim asked {mib(r['reclaim_asked']):.1f} MiB, overhead {over:.2f} %")
over = statistics.median((r["work_seconds"] - r["kernel_seconds"]) / r["work_seconds"] * 100 for r in rows)
print(f"{name}: median wall {med('seconds')*1000:.1f} ms, trimmed {med('trimmed'):.0f} processes, taken "
      f"{mib(med('taken')):.1f} MiB (anon {mib(med('anon')):.1f}), available gain {mib(med('gain')):.1f} MiB, "
      f"swap cache +{mib(med('swapcache_growth')):.1f} MiB, overhead outside the kernel {over:.2f} %")
PY
}

echo "free_run: $VICTIMS victims x ($MIB MiB file + $MIB MiB anonymous), $ROUNDS rounds, kernel $(uname -r)"
if grep -q '^/' /proc/swaps; then
    echo "free_run: note: the machine already has swap; the no-swap scenario is not swap-free"
fi
scenario no-swap

fallocate -l "${SWAP_MIB}M" "$SWAPFILE"
chmod 600 "$SWAPFILE"
mkswap "$SWAPFILE" > /dev/null
swapon "$SWAPFILE"
scenario with-swap
swapoff "$SWAPFILE"
rm -f "$SWAPFILE"
