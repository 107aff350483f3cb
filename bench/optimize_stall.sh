#!/usr/bin/env bash
# The window during a freeing run of victim processes with a temporary swap file: the longest interface-
# thread stall from the "Free Now" click to the end of the animation (bench_optimize_stall), several rounds.
#
#   bench/optimize_stall.sh [BUILD_DIR]           (root, a DISPLAY; BUILD_DIR defaults to build)
#   VICTIMS=4 MIB=384 ROUNDS=3 SWAP_MIB=4096 SELF=1 SHOTS=/tmp/shots bench/optimize_stall.sh
#   HOT_MIB=512 bench/optimize_stall.sh           (and a program in use: reads its memory every 200 ms)
#   FOLLOW_UP=0 bench/optimize_stall.sh           (runs without the follow-up reclaim)
#   HOLDS=1 bench/optimize_stall.sh               (and when a processor itself could not run anything)
#   SWAP=zram bench/optimize_stall.sh             (compressed swap in memory instead of the file; only when
#                                                  /dev/zram0 is free)
#   KDAMOND=pause bench/optimize_stall.sh         (the kernel's access monitors stopped during the rounds)
#
# Each victim touches MIB MiB of anonymous memory and sleeps; the run trims only the victims (SELF=1: and
# the benchmark's own process, as a real run trims the program itself), pushing their pages to the swap file.
# The same measurement over an idle stretch before the click tells what the machine's load alone costs.
# With HOT_MIB, a program that keeps reading HOT_MIB MiB every 200 ms is among the trimmed ones: its usual
# pass and its slowest pass while the window runs tell whether the run stalls a program in use; its slowest
# pass while the window stood idle before the click is the reference for what the machine alone costs it.
# A running kernel access monitor (kdamond: DAMON, set up by the machine's owner) samples and clears accessed
# bits on its own, and one with a page-out scheme pushes memory to swap whenever there is some: on a virtual
# machine both slow a program in use and hold processors, run or no run. The benchmark says so when one runs;
# KDAMOND=pause stops the running ones for the rounds and starts them again, with their settings, at the end
# (a run killed outright cannot: then `echo on > /sys/kernel/mm/damon/admin/kdamonds/N/state`).
# With HOLDS=1, a thread pinned to each processor, in the real-time class above every other thread, wakes every
# 5 ms and notes each time it could not run for more than 20 ms: the processor itself was held (on a virtual
# machine, by the hypervisor), and nothing at all ran there meanwhile. Each round lists those holds, and says
# whether the window's longest stall ended with one.
# The swap file lives below /var/tmp (not tmpfs), gets a higher priority than other swap so the victims' pages
# go there, and is always switched off and removed; one left by a run that was killed is removed at the next.
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

# A swap file of an earlier run that could not clean up (killed): its owner is gone.
for old in $(awk '$1 ~ "^/var/tmp/kestrum-stall\\.[^/]+/swapfile$" {print $1}' /proc/swaps); do
    owner=$(cat "$(dirname "$old")/owner" 2>/dev/null || echo)
    if [ -n "$owner" ] && ! kill -0 "$owner" 2>/dev/null; then
        swapoff "$old" && rm -rf "$(dirname "$old")"
    fi
done

WORK=$(mktemp -d /var/tmp/kestrum-stall.XXXXXX)
echo $$ >"$WORK/owner"
SWAPFILE="$WORK/swapfile"
ZRAM_OURS=0
PIDS=()
HOTPID=
PAUSED_KDAMONDS=()
cleanup() {
    for d in "${PAUSED_KDAMONDS[@]:-}"; do [ -n "$d" ] && echo on >"$d/state" 2>/dev/null || true; done
    for p in "${PIDS[@]:-}" "$HOTPID" "${HOLDSPID:-}"; do [ -n "$p" ] && kill -9 "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    if grep -q "^$SWAPFILE " /proc/swaps 2>/dev/null; then swapoff "$SWAPFILE" || true; fi
    if [ "$ZRAM_OURS" = 1 ]; then
        swapoff /dev/zram0 2>/dev/null || true
        echo 1 >/sys/block/zram0/reset || true
    fi
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

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

cat > "$WORK/kstallhot.c" <<'C'
#include <stdio.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>
static double now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}
int main(int argc, char** argv) {
    size_t size = (size_t)atol(argv[1]) << 20;
    volatile char* a = mmap(NULL, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (a == MAP_FAILED) return 1;
    for (size_t i = 0; i < size; i += 4096) a[i] = 1;
    FILE* log = fopen(argv[2], "w");
    for (unsigned sum = 0;;) { /* a pass over every page, every 200 ms: a program in use */
        double t0 = now();
        for (size_t i = 0; i < size; i += 4096) sum += a[i];
        double t1 = now();
        fprintf(log, "%.3f %.3f\n", t0, t1 - t0);
        fflush(log);
        usleep(200000);
    }
}
C
cc -O2 -o "$WORK/kstallhot" "$WORK/kstallhot.c"

cat > "$WORK/kstallholds.c" <<'C'
#define _GNU_SOURCE
#include <pthread.h>
#include <sched.h>
#include <stdio.h>
#include <time.h>
#include <unistd.h>
static double now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}
static void* watch(void* arg) { /* one per processor: "cpu length_ms end_ms" for each gap over 20 ms */
    long cpu = (long)arg;
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    pthread_setaffinity_np(pthread_self(), sizeof set, &set);
    struct sched_param p = {.sched_priority = 50};
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &p);
    struct timespec step = {0, 5000000};
    for (double last = now();;) {
        clock_nanosleep(CLOCK_MONOTONIC, 0, &step, NULL);
        double t = now();
        if (t - last - 5 > 20) {
            printf("%ld %.1f %.0f\n", cpu, t - last - 5, t);
            fflush(stdout);
        }
        last = t;
    }
    return NULL;
}
int main(void) {
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    pthread_t t;
    for (long i = 0; i < n; ++i) pthread_create(&t, NULL, watch, (void*)i);
    pause();
}
C
[ "${HOLDS:-0}" = 1 ] && cc -O2 -pthread -o "$WORK/kstallholds" "$WORK/kstallholds.c"
HOLDSPID=

if [ "${SWAP:-file}" = zram ]; then
    [ -e /sys/block/zram0 ] || modprobe zram
    if grep -q '^/dev/zram0 ' /proc/swaps || [ "$(cat /sys/block/zram0/disksize)" != 0 ]; then
        echo "optimize_stall: /dev/zram0 is in use by someone else" >&2
        exit 1
    fi
    ZRAM_OURS=1
    echo lz4 >/sys/block/zram0/comp_algorithm 2>/dev/null || true
    echo "${SWAP_MIB}M" >/sys/block/zram0/disksize
    mkswap -q /dev/zram0
    swapon -p 32000 /dev/zram0
else
    # Written out in full, as a swap file is after its first use: the first writes into unwritten extents
    # cost the file system journal work that only a fresh file pays.
    dd if=/dev/zero of="$SWAPFILE" bs=1M count="$SWAP_MIB" oflag=direct status=none
    chmod 600 "$SWAPFILE"
    mkswap -q "$SWAPFILE"
    swapon -p 32000 "$SWAPFILE"
fi

for d in /sys/kernel/mm/damon/admin/kdamonds/[0-9]*; do
    [ "$(cat "$d/state" 2>/dev/null)" = on ] || continue
    if [ "${KDAMOND:-}" = pause ] && echo off >"$d/state"; then
        PAUSED_KDAMONDS+=("$d")
        echo "kernel access monitor $(basename "$d") paused for the rounds"
    else
        echo "kernel access monitor $(basename "$d") is running: it slows programs in use on its own (KDAMOND=pause)"
    fi
done

ONLY=(--only kstallvictim)
[ "${SELF:-0}" = 1 ] && ONLY+=(--self)
[ "${HOT_MIB:-0}" -gt 0 ] && ONLY+=(--only kstallhot)
# Usual pass: the median before the window starts; slowest: the longest from the window's start to the click
# (the window idle: the reference) and from the click to the end.
slowest_pass() { # of the passes that started from $1 up to $2
    awk -v from="$1" -v to="$2" '$1 >= from && $1 <= to && $2 > w {w = $2} END {printf "%.1f", w}' "$WORK/hot.log"
}
hot_passes() {
    local usual
    usual=$(awk -v from="$1" '$1 < from {print $2}' "$WORK/hot.log" | sort -n | awk '{a[NR] = $1} END {printf "%.1f ms (median of %d)", a[int((NR + 1) / 2)], NR}')
    echo "program in use: usual pass $usual, slowest while the window stood idle $(slowest_pass "$1" "$2") ms, slowest from the click on $(slowest_pass "$2" "$3") ms"
}
[ -n "${SHOTS:-}" ] && ONLY+=(--shots "$SHOTS") # screenshots during and after the run
[ "${FOLLOW_UP:-1}" = 0 ] && ONLY+=(--no-follow-up) # no reclaim of what went to swap after the trim
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
    if [ "${HOT_MIB:-0}" -gt 0 ]; then
        rm -f "$WORK/hot.log"
        "$WORK/kstallhot" "$HOT_MIB" "$WORK/hot.log" &
        HOTPID=$!
        # Its memory touched and ten usual passes.
        for _ in $(seq 1 600); do
            [ -f "$WORK/hot.log" ] && [ "$(wc -l <"$WORK/hot.log")" -ge 10 ] && break
            sleep 0.1
        done
    fi
    echo "round $round: $VICTIMS victims x $MIB MiB${HOT_MIB:+, a program in use with $HOT_MIB MiB}"
    from=$(python3 -c 'import time; print("%.3f" % (time.clock_gettime(time.CLOCK_MONOTONIC) * 1000))')
    if [ "${HOLDS:-0}" = 1 ]; then
        "$WORK/kstallholds" >"$WORK/holds.log" &
        HOLDSPID=$!
    fi
    "$BENCH" "${ONLY[@]}" 2>&1 | grep -v '^QStandardPaths' | tee "$WORK/round.log"
    if [ -n "$HOLDSPID" ]; then
        kill "$HOLDSPID" 2>/dev/null || true
        wait "$HOLDSPID" 2>/dev/null || true
        HOLDSPID=
        # Times from the click, as the window's stall is given.
        awk 'FNR == NR && /^click at/ {click = $3; next}
             FNR == NR && /longest stall/ {for (i = 1; i < NF; ++i) {if ($i == "stall") len = $(i + 1); if ($i == "at") end = $(i + 1)}; next}
             FNR == NR {next}
             {n++; if ($2 > worst) worst = $2; rel = $3 - click; list = list sprintf(" cpu%d %.0f ms ending at %.0f ms;", $1, $2, rel)
              if (click != "" && end != "" && rel >= end - len && rel <= end + 5) with = 1}
             END {if (!n) {print "processors held: none over 20 ms"; exit}
                  printf "processors held: %d time%s, longest %.0f ms:%s the window'"'"'s longest stall %s\n", n, n == 1 ? "" : "s", worst, list,
                         with ? "ended with one" : "did not end with one"}' "$WORK/round.log" "$WORK/holds.log"
    fi
    sleep 1 # passes right after the run count too
    to=$(python3 -c 'import time; print("%.3f" % (time.clock_gettime(time.CLOCK_MONOTONIC) * 1000))')
    if [ -n "$HOTPID" ]; then
        click=$(awk '/^click at/ {print $3}' "$WORK/round.log")
        hot_passes "$from" "${click:-$from}" "$to"
        [ -n "${HOT_KEEP:-}" ] && cp "$WORK/hot.log" "$HOT_KEEP.$round" # every pass: start (monotonic ms), length
        kill -9 "$HOTPID" 2>/dev/null || true
        wait "$HOTPID" 2>/dev/null || true
        HOTPID=
    fi
    awk '$1 == "'"$SWAPFILE"'" || $1 == "/dev/zram0" { printf "swap in use: %.0f MiB\n", $4 / 1024 }' /proc/swaps
    for p in "${PIDS[@]}"; do kill -9 "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    PIDS=()
done
