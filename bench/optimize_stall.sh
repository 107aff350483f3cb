#!/usr/bin/env bash
# The window during a freeing run of victim processes with a temporary swap file: the longest interface-
# thread stall from the "Free Now" click to the end of the animation (bench_optimize_stall), several rounds.
#
#   bench/optimize_stall.sh [BUILD_DIR]           (root, a DISPLAY; BUILD_DIR defaults to build)
#   VICTIMS=4 MIB=384 ROUNDS=3 SWAP_MIB=4096 SELF=1 SHOTS=/tmp/shots bench/optimize_stall.sh
#
# Each victim touches MIB MiB of anonymous memory and sleeps; the run trims only the victims (SELF=1: and
# the benchmark's own process, as a real run trims the program itself), pushing their pages to the swap file.
# The same measurement over an idle stretch before the click tells what the machine's load alone costs.
# The swap file lives below /var/tmp (not tmpfs), gets a higher priority than other swap so the victims' pages
# go there, and is always switched off and removed.
set -euo pipefail

BUILD=${1:-build}
BENCH=$(realpath "$BUILD/bench/bench_optimize_stall")
VICTIMS=${VICTIMS:-4}
MIB=${MIB:-384}
ROUNDS=${ROUNDS:-3}
SWAP_MIB=${SWAP_MIB:-4096}

[ -x "$BENCH" ] || { echo "optimize_stall: build bench_optimize_stall first" >&2; exit 1; }
[ "$(id -u)" = 0 ] || { echo "optimize_stall: run as root (trimming and swapon need it)" >&2; exit 1; }
[ -n "${DISPLAY:-}" ] || { echo "optimize_stall: needs a DISPLAY (. scripts/xvfb.sh; kestrum_start_xvfb)" >&2; exit 1; }

WORK=$(mktemp -d /var/tmp/kestrum-stall.XXXXXX)
SWAPFILE="$WORK/swapfile"
PIDS=()
cleanup() {
    for p in "${PIDS[@]:-}"; do [ -n "$p" ] && kill -9 "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    if grep -q "^$SWAPFILE " /proc/swaps 2>/dev/null; then swapoff "$SWAPFILE" || true; fi
    rm -rf "$WORK"
}
trap cleanup EXIT INT TERM HUP

cat > "$WORK/kstallvictim.c" <<'C'
#include <fcntl.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>
int main(int argc, char** argv) {
    size_t size = (size_t)atol(argv[1]) << 20;
    char* a = mmap(NULL, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (a == MAP_FAILED) return 1;
    for (size_t i = 0; i < size; i += 4096) a[i] = (char)(i >> 12) | 1;
    close(open(argv[2], O_CREAT | O_WRONLY, 0600)); /* ready */
    for (;;) pause();
}
C
cc -O2 -o "$WORK/kstallvictim" "$WORK/kstallvictim.c"

fallocate -l "${SWAP_MIB}M" "$SWAPFILE"
chmod 600 "$SWAPFILE"
mkswap -q "$SWAPFILE"
swapon -p 32000 "$SWAPFILE"

ONLY=(--only kstallvictim)
[ "${SELF:-0}" = 1 ] && ONLY+=(--self)
[ -n "${SHOTS:-}" ] && ONLY+=(--shots "$SHOTS") # screenshots during and after the run
for round in $(seq 1 "$ROUNDS"); do
    PIDS=()
    rm -f "$WORK"/ready.*
    for i in $(seq 1 "$VICTIMS"); do
        "$WORK/kstallvictim" "$MIB" "$WORK/ready.$i" &
        PIDS+=($!)
    done
    for _ in $(seq 1 1200); do
        [ "$(ls "$WORK" | grep -c '^ready\.')" -ge "$VICTIMS" ] && break
        sleep 0.05
    done
    echo "round $round: $VICTIMS victims x $MIB MiB"
    "$BENCH" "${ONLY[@]}" 2>&1 | grep -v '^QStandardPaths'
    awk '$1 == "'"$SWAPFILE"'" { printf "swap file in use: %.0f MiB\n", $4 / 1024 }' /proc/swaps
    for p in "${PIDS[@]}"; do kill -9 "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    PIDS=()
done
