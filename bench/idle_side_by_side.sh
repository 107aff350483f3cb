#!/usr/bin/env bash
# Kestrum beside the stock system monitor a Linux user already has (GNOME System Monitor, Resources tab,
# 1 s graphs), both started at the same moment, each on a private Xvfb + openbox display of its own so that
# each X server's share is counted too. Whatever load the machine carries hits both alike.
#
#   bench/idle_side_by_side.sh [BUILD_DIR]        (root: installs the peer when it is missing)
#   IDLE_SECONDS=120 SETTLE_SECONDS=5 bench/idle_side_by_side.sh
#
# Prints, for each program: start to window (exec until its window is mapped on its display), processor time
# of the program and of its X server over IDLE_SECONDS after SETTLE_SECONDS (percent of one core), RSS and
# PSS at the end; then the idle ratio (Kestrum + its X server) / (peer + its X server).
set -euo pipefail

BUILD=${1:-build}
KESTRUM=$(realpath "$BUILD/bin/Kestrum")
IDLE_SECONDS=${IDLE_SECONDS:-120}
SETTLE_SECONDS=${SETTLE_SECONDS:-5}
PEER=gnome-system-monitor

[ -x "$KESTRUM" ] || { echo "side-by-side: build Kestrum first ($KESTRUM)" >&2; exit 1; }
for tool in Xvfb openbox xdotool; do
    command -v "$tool" >/dev/null || { echo "side-by-side: $tool is missing (scripts/setup.sh)" >&2; exit 1; }
done
if ! command -v "$PEER" >/dev/null || ! command -v dbus-launch >/dev/null; then
    [ "$(id -u)" = 0 ] || { echo "side-by-side: run as root once to install $PEER" >&2; exit 1; }
    apt-get -o DPkg::Lock::Timeout=300 install -y --no-install-recommends gnome-system-monitor dbus-x11 dconf-cli \
        >/dev/null
fi

WORK=$(mktemp -d)
PIDS=() # everything this script started, ended by id only
cleanup() {
    for p in "${PIDS[@]:-}"; do [ -n "$p" ] && kill "$p" 2>/dev/null || true; done
    sleep 0.3
    for p in "${PIDS[@]:-}"; do [ -n "$p" ] && kill -9 "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT INT TERM HUP

# A private display: sets DISPLAY_<name> and XPID_<name>.
start_display() {
    local name=$1 fd="$WORK/$1.display"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fd" >/dev/null 2>&1 &
    local xpid=$!
    PIDS+=("$xpid")
    for _ in $(seq 1 100); do [ -s "$fd" ] && break; sleep 0.05; done
    [ -s "$fd" ] || { echo "side-by-side: Xvfb did not start" >&2; exit 1; }
    local display=":$(head -n1 "$fd")"
    DISPLAY=$display openbox >/dev/null 2>&1 &
    PIDS+=("$!")
    eval "DISPLAY_$name=$display XPID_$name=$xpid"
}
start_display k
start_display g
sleep 1 # both window managers up

# The peer keeps its settings in dconf on a session bus of its own: 1 s graphs, the Resources tab.
export XDG_RUNTIME_DIR="$WORK/run" HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/home/.config"
mkdir -p "$XDG_RUNTIME_DIR" "$HOME"
chmod 700 "$XDG_RUNTIME_DIR"
eval "$(DISPLAY=$DISPLAY_g dbus-launch --sh-syntax)"
PIDS+=("$DBUS_SESSION_BUS_PID")
for kv in "update-interval 1000" "graph-update-interval 1000" "current-tab 'resources'"; do
    # shellcheck disable=SC2086
    gsettings set org.gnome.gnome-system-monitor $kv
done
# Kestrum: a data folder of its own, no tray icon to wait for, the Usage page.
export KESTRUM_HOME="$WORK/kestrum"
mkdir -p "$KESTRUM_HOME/Config"
printf '[KESTRUM]\nUseHotKey=0\n' >"$KESTRUM_HOME/Config/Config.ini"

now_ms() { echo $(($(date +%s%N) / 1000000)); }
# Waits until a window of `pid` is mapped on `display`; prints the milliseconds since `t0`.
window_after() {
    local display=$1 pid=$2 t0=$3
    for _ in $(seq 1 3000); do
        if DISPLAY=$display xdotool search --onlyvisible --pid "$pid" >/dev/null 2>&1; then
            echo $(($(now_ms) - t0))
            return
        fi
        sleep 0.01
    done
    echo "timeout"
}

t0=$(now_ms)
DISPLAY=$DISPLAY_k "$KESTRUM" -popup 73825 >/dev/null 2>&1 &
KPID=$!
PIDS+=("$KPID")
DISPLAY=$DISPLAY_g "$PEER" >/dev/null 2>&1 &
GPID=$!
PIDS+=("$GPID")
window_after "$DISPLAY_k" "$KPID" "$t0" >"$WORK/k.start" &
wk=$!
window_after "$DISPLAY_g" "$GPID" "$t0" >"$WORK/g.start" &
wg=$!
wait "$wk" "$wg"

ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
# The same in nanoseconds, from the threads alive at the time (a thread that ends in between is not counted).
nanos() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{s += $1} END {printf "%.0f", s}'; }
sleep "$SETTLE_SECONDS"
for p in "$KPID" "$XPID_k" "$GPID" "$XPID_g"; do [ -d "/proc/$p" ] || { echo "side-by-side: a program ended early" >&2; exit 1; }; done
k0=$(ticks "$KPID") kx0=$(ticks "$XPID_k") g0=$(ticks "$GPID") gx0=$(ticks "$XPID_g")
nk0=$(nanos "$KPID") nkx0=$(nanos "$XPID_k") ng0=$(nanos "$GPID") ngx0=$(nanos "$XPID_g")
sleep "$IDLE_SECONDS"
k1=$(ticks "$KPID") kx1=$(ticks "$XPID_k") g1=$(ticks "$GPID") gx1=$(ticks "$XPID_g")
nk1=$(nanos "$KPID") nkx1=$(nanos "$XPID_k") ng1=$(nanos "$GPID") ngx1=$(nanos "$XPID_g")

hz=$(getconf CLK_TCK)
pct() { awk -v a="$1" -v b="$2" -v hz="$hz" -v s="$IDLE_SECONDS" 'BEGIN {printf "%.3f", (b - a) / hz / s * 100}'; }
mem() { awk '/^VmRSS/ {r = $2} END {printf "%.1f", r / 1024}' "/proc/$1/status"; }
pss() { awk '/^Pss:/ {printf "%.1f", $2 / 1024}' "/proc/$1/smaps_rollup"; }
kp=$(pct "$k0" "$k1") kx=$(pct "$kx0" "$kx1") gp=$(pct "$g0" "$g1") gx=$(pct "$gx0" "$gx1")

echo "idle ${IDLE_SECONDS} s after ${SETTLE_SECONDS} s, load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '| | start to window | idle CPU, program | idle CPU, its X server | RSS / PSS |\n|---|---|---|---|---|\n'
printf '| Kestrum (Usage page) | %s ms | %s %% | %s %% | %s / %s MB |\n' \
    "$(cat "$WORK/k.start")" "$kp" "$kx" "$(mem "$KPID")" "$(pss "$KPID")"
printf '| GNOME System Monitor | %s ms | %s %% | %s %% | %s / %s MB |\n' \
    "$(cat "$WORK/g.start")" "$gp" "$gx" "$(mem "$GPID")" "$(pss "$GPID")"
awk -v a="$kp" -v b="$kx" -v c="$gp" -v d="$gx" 'BEGIN {
    if (c + d > 0) printf "idle ratio (Kestrum + X) / (peer + X): %.2f; programs alone: %.2f\n", (a + b) / (c + d), (c > 0 ? a / c : 0)
}'
# Clock ticks are 10 ms: over two minutes one tick is 0.008 % of a core. The threads' run time is exact.
awk -v a=$((nk1 - nk0)) -v b=$((nkx1 - nkx0)) -v c=$((ng1 - ng0)) -v d=$((ngx1 - ngx0)) -v s="$IDLE_SECONDS" 'BEGIN {
    f = 1e9 * s / 100
    printf "threads run time: Kestrum %.4f %% + X %.4f %%, peer %.4f %% + X %.4f %%; ratio %.2f\n", a / f, b / f, c / f, d / f, (c + d > 0 ? (a + b) / (c + d) : 0)
}'
