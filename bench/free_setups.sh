#!/usr/bin/env bash
# The freeing run on the three common swap setups, in one go: a temporary zram device, a temporary swap
# file, and no swap at all.
#
#   bench/free_setups.sh [BUILD_DIR]        (root; BUILD_DIR defaults to build)
#   ROUNDS=3 VICTIMS=8 MIB=256 RANDOM_BYTES=3400 HOT_MIB=512 bench/free_setups.sh build
#   OLD_CLI=/path/to/older/kestrum-cli bench/free_setups.sh      (adds its runs for comparison)
#   PARTS="threads" bench/free_setups.sh     (parts: table threads regression clear; default all)
#
# Victims: VICTIMS processes with MIB MiB of anonymous memory each, RANDOM_BYTES of every 4 KiB page random
# and the rest zero (3400 of 4096 compresses to about 83 % with lz4, like mixed program data), plus one
# hot victim that reads its HOT_MIB MiB every HOT_PERIOD_MS ms and logs how long each pass took.
# The run trims only the victims (kestrum-cli free --only kvictim khot) but walks the whole process list.
#
# Per setup and round: run time (whole run / trimming without the watching wait), memory pushed out of
# the victims, zram's compressed size (mm_stat mem_used_total growth), available memory gained right
# after the run and 3 s later, the ideal gain (pushed out minus compressed size; 0 without swap, where
# the anonymous memory cannot leave), their ratio, the hot victim's usual and slowest pass (from the
# start of the run to 3 s after it) and the lowest available memory seen during the run against the
# figure before it. Medians over the rounds are printed as a table.
# Then: trimming wall time with one thread against one per processor on zram (no watching, no hot
# victim, same victims), and the no-swap regression set (50 victims x (20 MiB file + 20 MiB anonymous)).
#
# Everything it sets up is undone on exit (trap): victims killed, swap file off and removed, the zram
# device switched off and reset (or removed when this script added it).
set -euo pipefail

BUILD=${1:-build}
CLI=$(realpath "$BUILD/bin/kestrum-cli")
ROUNDS=${ROUNDS:-3}
VICTIMS=${VICTIMS:-8}
MIB=${MIB:-256}
RANDOM_BYTES=${RANDOM_BYTES:-3400}
HOT_MIB=${HOT_MIB:-512}
HOT_PERIOD_MS=${HOT_PERIOD_MS:-200}
SWAP_MIB=${SWAP_MIB:-4096}
ZRAM_MIB=${ZRAM_MIB:-4096}
OLD_CLI=${OLD_CLI:-}
PARTS=" ${PARTS:-table threads regression clear} "
want() { [[ "$PARTS" == *" $1 "* ]]; }

[ -x "$CLI" ] || { echo "free_setups: build kestrum-cli first ($CLI)" >&2; exit 1; }
[ "$(id -u)" = 0 ] || { echo "free_setups: run as root (trimming, swapon and zram need it)" >&2; exit 1; }
if grep -q '^/' /proc/swaps; then
    echo "free_setups: the machine already has swap on; the setups would not be what they say" >&2
    exit 1
fi

WORK=$(mktemp -d /var/tmp/kestrum-free-setups.XXXXXX) # not tmpfs: the swap file needs a real file system
SWAPFILE="$WORK/swapfile"
ZRAM=""          # e.g. zram0, once set up
ZRAM_ADDED=""    # set when this script created the device
PIDS=()
SAMPLER=""

stop_victims() {
    for p in "${PIDS[@]:-}"; do [ -n "$p" ] && kill -9 "$p" 2>/dev/null || true; done
    [ -n "$SAMPLER" ] && kill "$SAMPLER" 2>/dev/null || true
    wait 2>/dev/null || true
    PIDS=()
    SAMPLER=""
}

zram_off() {
    [ -n "$ZRAM" ] || return 0
    grep -q "^/dev/$ZRAM " /proc/swaps && swapoff "/dev/$ZRAM" || true
    echo 1 > "/sys/block/$ZRAM/reset" || true
    if [ -n "$ZRAM_ADDED" ]; then echo "${ZRAM#zram}" > /sys/class/zram-control/hot_remove || true; fi
    ZRAM=""
    ZRAM_ADDED=""
}

cleanup() {
    stop_victims
    grep -q "^$SWAPFILE " /proc/swaps 2>/dev/null && swapoff "$SWAPFILE" || true
    zram_off
    rm -rf "$WORK"
}
trap cleanup EXIT INT TERM HUP

cat > "$WORK/victim.c" <<'C'
/* victim anon MIB RANDOM_BYTES READY                 anonymous memory, then sleeps
   victim hot  MIB RANDOM_BYTES READY PERIOD_MS LOG   same, then reads it every PERIOD_MS, logging passes
   victim file MIB FILE READY                         a file mapping read in, and as much anonymous memory */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>
static double now(void) { struct timespec t; clock_gettime(CLOCK_REALTIME, &t); return t.tv_sec + t.tv_nsec / 1e9; }
static void fill(unsigned char* a, size_t size, int rnd) {
    unsigned long long x = 88172645463325252ull ^ (unsigned long long)getpid() * 2654435761u;
    for (size_t p = 0; p < size; p += 4096) {
        for (int i = 0; i + 8 <= rnd; i += 8) { x ^= x << 13; x ^= x >> 7; x ^= x << 17; memcpy(a + p + i, &x, 8); }
        a[p + 4095] = 1;
    }
}
int main(int argc, char** argv) {
    size_t size = (size_t)atol(argv[2]) << 20;
    unsigned char* a = mmap(NULL, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (a == MAP_FAILED) return 1;
    volatile unsigned long sum = 0;
    if (!strcmp(argv[1], "file")) {
        int fd = open(argv[3], O_RDONLY);
        volatile unsigned char* f = mmap(NULL, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (f == MAP_FAILED) return 1;
        for (size_t p = 0; p < size; p += 4096) sum += f[p];
        fill(a, size, 64);
    } else {
        fill(a, size, atoi(argv[3]));
    }
    close(open(argv[4], O_CREAT | O_WRONLY, 0600));
    if (!strcmp(argv[1], "hot")) {
        int period = atoi(argv[5]);
        FILE* log = fopen(argv[6], "w");
        setvbuf(log, NULL, _IOLBF, 0);
        for (;;) {
            double t0 = now();
            for (size_t p = 0; p < size; p += 4096) sum += a[p];
            double t1 = now();
            fprintf(log, "%.6f %.3f\n", t1, (t1 - t0) * 1000);
            usleep(period * 1000);
        }
    }
    for (;;) pause();
}
C
cc -O2 -o "$WORK/kvictim" "$WORK/victim.c"
cp "$WORK/kvictim" "$WORK/khot"

meminfo() { awk -v k="$1:" '$1 == k { print $2 * 1024 }' /proc/meminfo; }
zram_used() { if [ -n "$ZRAM" ]; then awk '{ print $3 }' "/sys/block/$ZRAM/mm_stat"; else echo 0; fi; }

wait_ready() {
    local want=$1
    for _ in $(seq 1 1200); do
        [ "$(ls "$WORK" | grep -c '^ready\.')" -ge "$want" ] && return 0
        sleep 0.05
    done
    echo "free_setups: victims did not get ready" >&2
    exit 1
}

start_victims() { # $1: with the hot victim (1/0)
    PIDS=()
    rm -f "$WORK"/ready.* "$WORK/hot.log"
    for i in $(seq 1 "$VICTIMS"); do
        "$WORK/kvictim" anon "$MIB" "$RANDOM_BYTES" "$WORK/ready.$i" &
        PIDS+=($!)
    done
    local want=$VICTIMS
    if [ "$1" = 1 ]; then
        "$WORK/khot" hot "$HOT_MIB" "$RANDOM_BYTES" "$WORK/ready.hot" "$HOT_PERIOD_MS" "$WORK/hot.log" &
        PIDS+=($!)
        want=$((want + 1))
    fi
    wait_ready "$want"
}

# One measured run; appends one line of key=value fields to $1. $2: with the hot victim; rest: CLI args.
measure() {
    local results=$1 hot=$2
    shift 2
    start_victims "$hot"
    sleep 2 # the hot victim's usual passes
    local zbefore avail_before line zafter t0 t1 avail_3s
    ( while :; do echo "$(date +%s.%N) $(meminfo MemAvailable)"; sleep 0.1; done ) > "$WORK/avail.log" &
    SAMPLER=$!
    # Pages other programs freed sit on the processors' free lists, uncounted; the run hands them back
    # too. Hand them back now, so the gain is only the run's.
    for _ in $(seq 1 64); do echo 1 > /proc/sys/vm/stat_refresh 2>/dev/null || true; done
    zbefore=$(zram_used)
    avail_before=$(meminfo MemAvailable)
    t0=$(date +%s.%N)
    line=$("$@" | grep '^bytes ')
    t1=$(date +%s.%N)
    zafter=$(zram_used)
    sleep 3
    avail_3s=$(meminfo MemAvailable)
    kill "$SAMPLER" 2>/dev/null || true
    wait "$SAMPLER" 2>/dev/null || true
    SAMPLER=""
    local hotfields="hot_usual=0 hot_before_max=0 hot_slowest=0"
    if [ "$hot" = 1 ]; then
        hotfields=$(python3 - "$t0" "$t1" "$WORK/hot.log" <<'PY'
import statistics, sys
t0, t1 = float(sys.argv[1]), float(sys.argv[2])
rows = [tuple(map(float, l.split())) for l in open(sys.argv[3]) if l.strip()]
usual = [ms for t, ms in rows if t < t0]
during = [ms for t, ms in rows if t0 <= t <= t1 + 3]
print(f"hot_usual={statistics.median(usual) if usual else 0} hot_before_max={max(usual) if usual else 0} "
      f"hot_slowest={max(during) if during else 0}")
PY
)
    fi
    local avail_min
    avail_min=$(awk -v t0="$t0" -v t1="$t1" '$1 >= t0 && $1 <= t1 + 3 && (m == "" || $2 < m) { m = $2 } END { print m + 0 }' "$WORK/avail.log")
    echo "${line#bytes } compressed=$((zafter - zbefore)) avail_before_script=$avail_before avail_3s=$avail_3s avail_min=$avail_min $hotfields" >> "$results"
    stop_victims
    sleep 1
}

summary() { # $1 title, $2 results file, $3 setup kind (zram/file/none)
    python3 - "$1" "$2" "$3" <<'PY'
import statistics, sys
title, path, kind = sys.argv[1:4]
rows = [{k: float(v) for k, v in (f.split("=", 1) for f in line.split())} for line in open(path)]
mib = lambda b: b / 1048576
for i, r in enumerate(rows, 1):
    ideal = 0 if kind == "none" else r["anon"] - r["compressed"]
    r["ideal"] = ideal
    r["gain3"] = r["avail_3s"] - r["before"]
    r["ratio"] = r["gain"] / ideal if ideal > 0 else float("nan")
    r["ratio3"] = r["gain3"] / ideal if ideal > 0 else float("nan")
    r["dip"] = r["avail_min"] - r["before"] if r["avail_min"] else 0
    r["overhead"] = (r["work_seconds"] - r["kernel_seconds"]) / r["work_seconds"] * 100 if r["work_seconds"] else 0
    # the same without watching's reads (clearing accessed bits, reading smaps)
    w = r["work_seconds"] - r["watch_work_seconds"]
    r["overhead_nw"] = (w - r["kernel_seconds"]) / w * 100 if w > 0 else 0
    print(f"  {title} round {i}: run {r['seconds']:.2f} s (trim {r['trim_seconds']:.2f}, watch {r['watch_seconds']:.2f}, "
          f"settle {r['settle_seconds']:.2f}, reclaim {r['reclaim_seconds']:.2f}, {r['threads']:.0f} threads), "
          f"pushed out {mib(r['taken']):.0f} MiB (anon {mib(r['anon']):.0f}), compressed {mib(r['compressed']):.0f}, "
          f"swap cache after trim +{mib(r['swapcache_growth_run']):.0f}, follow-up {r['follow_up']:.0f} "
          f"(asked {mib(r['reclaim_asked']):.0f}), free lists {mib(r['free_list']):.0f}, hot kept {mib(r['hot_kept']):.0f}; "
          f"gain {mib(r['gain']):.0f} / 3 s {mib(r['gain3']):.0f} of ideal {mib(ideal):.0f} MiB; "
          f"hot pass {r['hot_usual']:.1f} (before the run at most {r['hot_before_max']:.1f}) -> {r['hot_slowest']:.1f} ms; "
          f"lowest available {mib(r['dip']):+.0f} MiB; overhead {r['overhead']:.2f} % ({r['overhead_nw']:.2f} % "
          f"without watching's reads of {r['watch_work_seconds']:.2f} s)")
med = lambda k: statistics.median(r[k] for r in rows)
def ratio(k):
    v = [r[k] for r in rows if r[k] == r[k]]
    return f"{statistics.median(v) * 100:.0f} %" if v else "n/a"
print(f"RESULT|{title}|{med('seconds'):.2f} s ({med('trim_seconds'):.2f})|{mib(med('taken')):.0f}|{mib(med('compressed')):.0f}|"
      f"{mib(med('gain')):.0f}|{mib(med('gain3')):.0f}|{mib(med('ideal')):.0f}|{ratio('ratio')}|{ratio('ratio3')}|"
      f"{med('hot_usual'):.1f} / {med('hot_before_max'):.1f} / {med('hot_slowest'):.1f}|{mib(med('dip')):+.0f}|"
      f"{med('overhead'):.2f} % ({med('overhead_nw'):.2f} %)")
PY
}

speed_summary() { # $1 title, $2 results file
    python3 - "$1" "$2" <<'PY'
import statistics, sys
title, path = sys.argv[1:3]
rows = [{k: float(v) for k, v in (f.split("=", 1) for f in line.split())} for line in open(path)]
for i, r in enumerate(rows, 1):
    print(f"  {title} round {i}: run {r['seconds']:.2f} s, trim {r['trim_seconds']:.2f} s, kernel {r['kernel_seconds']:.2f} s "
          f"over {r.get('threads', 1):.0f} threads, processor time {r.get('cpu_seconds', 0):.2f} s, "
          f"taken {r['taken'] / 1048576:.0f} MiB")
med = lambda k: statistics.median(r.get(k, 0) for r in rows)
print(f"SPEED|{title}|{med('seconds'):.3f}|{med('trim_seconds'):.3f}|{med('cpu_seconds'):.3f}|{med('taken') / 1048576:.0f}")
PY
}

CLI_FREE=("$CLI" free --only kvictim khot --bytes)
echo "free_setups: $VICTIMS victims x $MIB MiB (random $RANDOM_BYTES of 4096 bytes a page), hot victim $HOT_MIB MiB" \
     "every $HOT_PERIOD_MS ms, $ROUNDS rounds, kernel $(uname -r), $(nproc) processors, load $(cut -d' ' -f1-3 /proc/loadavg)"

# zram -----------------------------------------------------------------------------------------------------
modprobe zram 2>/dev/null || true
if [ -d /sys/block/zram0 ] && [ "$(cat /sys/block/zram0/disksize)" = 0 ]; then
    ZRAM=zram0
elif [ -e /sys/class/zram-control/hot_add ]; then
    ZRAM=zram$(cat /sys/class/zram-control/hot_add)
    ZRAM_ADDED=1
fi
if [ -n "$ZRAM" ]; then
    echo 1 > "/sys/block/$ZRAM/reset"
    echo lz4 > "/sys/block/$ZRAM/comp_algorithm" 2>/dev/null || true
    echo "${ZRAM_MIB}M" > "/sys/block/$ZRAM/disksize"
    mkswap "/dev/$ZRAM" > /dev/null
    swapon "/dev/$ZRAM"
    : > "$WORK/r.zram"
    if want table; then
        for _ in $(seq 1 "$ROUNDS"); do measure "$WORK/r.zram" 1 "${CLI_FREE[@]}"; done
        summary zram "$WORK/r.zram" zram | tee -a "$WORK/out"
    fi
    # Threads: the same victims, no hot victim, no watching.
    : > "$WORK/s.one"; : > "$WORK/s.all"; : > "$WORK/s.old"
    want threads && for _ in $(seq 1 "$ROUNDS"); do
        measure "$WORK/s.one" 0 "${CLI_FREE[@]}" --watch 0 --threads 1
        measure "$WORK/s.all" 0 "${CLI_FREE[@]}" --watch 0
        if [ -n "$OLD_CLI" ]; then measure "$WORK/s.old" 0 "$OLD_CLI" free --only kvictim khot --bytes; fi
    done
    if want threads; then
        speed_summary "zram, 1 thread" "$WORK/s.one" | tee -a "$WORK/out"
        speed_summary "zram, $(nproc) threads" "$WORK/s.all" | tee -a "$WORK/out"
        if [ -n "$OLD_CLI" ]; then speed_summary "zram, older engine" "$WORK/s.old" | tee -a "$WORK/out"; fi
    fi
    zram_off
else
    echo "free_setups: no zram device could be set up; zram skipped"
fi

# swap file ------------------------------------------------------------------------------------------------
if want table; then
fallocate -l "${SWAP_MIB}M" "$SWAPFILE"
chmod 600 "$SWAPFILE"
mkswap "$SWAPFILE" > /dev/null
swapon "$SWAPFILE"
: > "$WORK/r.file"
for _ in $(seq 1 "$ROUNDS"); do measure "$WORK/r.file" 1 "${CLI_FREE[@]}"; done
summary "swap file" "$WORK/r.file" file | tee -a "$WORK/out"
swapoff "$SWAPFILE"
rm -f "$SWAPFILE"

# no swap --------------------------------------------------------------------------------------------------
: > "$WORK/r.none"
for _ in $(seq 1 "$ROUNDS"); do measure "$WORK/r.none" 1 "${CLI_FREE[@]}"; done
summary "no swap" "$WORK/r.none" none | tee -a "$WORK/out"
fi

# The no-swap regression set: 50 x (20 MiB file + 20 MiB anonymous), file pages only can leave.
if want regression; then
for i in $(seq 1 50); do dd if=/dev/urandom of="$WORK/data.$i" bs=1M count=20 status=none; done
sync
regression() { # $1 results, rest: CLI
    local results=$1
    shift
    PIDS=()
    rm -f "$WORK"/ready.*
    for i in $(seq 1 50); do "$WORK/kvictim" file 20 "$WORK/data.$i" "$WORK/ready.$i" & PIDS+=($!); done
    wait_ready 50
    sleep 1
    "$@" | grep '^bytes ' | sed 's/^bytes //' >> "$results"
    stop_victims
    sleep 1
}
: > "$WORK/g.new"; : > "$WORK/g.nowatch"; : > "$WORK/g.old"
for _ in $(seq 1 "$ROUNDS"); do
    regression "$WORK/g.new" "$CLI" free --only kvictim --bytes
    regression "$WORK/g.nowatch" "$CLI" free --only kvictim --bytes --watch 0
    if [ -n "$OLD_CLI" ]; then regression "$WORK/g.old" "$OLD_CLI" free --only kvictim --bytes; fi
done
speed_summary "no swap, 1000 MiB set" "$WORK/g.new" | tee -a "$WORK/out"
speed_summary "no swap, 1000 MiB set, no watching" "$WORK/g.nowatch" | tee -a "$WORK/out"
if [ -n "$OLD_CLI" ]; then speed_summary "no swap, 1000 MiB set, older engine" "$WORK/g.old" | tee -a "$WORK/out"; fi
fi

# What watching alone costs a program that uses its memory: the hot victim's passes around one clearing of
# its accessed bits, with no run at all.
if want clear; then
PIDS=()
rm -f "$WORK"/ready.* "$WORK/hot.log"
"$WORK/khot" hot "$HOT_MIB" "$RANDOM_BYTES" "$WORK/ready.hot" "$HOT_PERIOD_MS" "$WORK/hot.log" &
PIDS+=($!)
wait_ready 1
sleep 3
t0=$(date +%s.%N)
echo 1 > "/proc/${PIDS[0]}/clear_refs"
sleep 3
stop_victims
python3 - "$t0" "$WORK/hot.log" <<'PY' | tee -a "$WORK/out"
import statistics, sys
t0 = float(sys.argv[1])
rows = [tuple(map(float, l.split())) for l in open(sys.argv[2]) if l.strip()]
before = [ms for t, ms in rows if t < t0]
after = [ms for t, ms in rows if t >= t0]
print(f"CLEAR|hot victim, accessed bits cleared once, no run: passes before median {statistics.median(before):.1f} ms, "
      f"at most {max(before):.1f}; first pass after {after[0]:.1f} ms, then median {statistics.median(after[1:]):.1f}, "
      f"at most {max(after[1:]):.1f}")
PY
fi

echo
echo "| setup | run (trim) | pushed out MiB | compressed MiB | gain after MiB | gain 3 s MiB | ideal MiB | ratio after | ratio 3 s | hot pass usual / slowest before / slowest during+3 s ms | lowest available vs before MiB | overhead outside page-out (without watching's reads) |"
echo "|---|---|---|---|---|---|---|---|---|---|---|---|"
touch "$WORK/out"
grep '^RESULT|' "$WORK/out" | sed 's/^RESULT//; s/$/|/' || true
echo
echo "| wall time (medians) | whole run s | trimming s | processor time s (0: not reported) | taken MiB |"
echo "|---|---|---|---|---|"
grep '^SPEED|' "$WORK/out" | sed 's/^SPEED//; s/$/|/' || true
echo
grep '^CLEAR|' "$WORK/out" | sed 's/^CLEAR|//' || true
