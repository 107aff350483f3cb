#!/usr/bin/env bash
# Whole-program figures of the Kestrum window, measured from outside the process:
#   start-up: from exec to the main window shown (the "shown" trace line), median of RUNS starts;
#   idle: processor time used over IDLE_SECONDS after start-up (percent of one core) and resident memory.
# Beside each, the toolkit's floor on the same machine in the same run (bench/qt_floor, when built): a bare
# window started alternately with Kestrum, and hidden in the tray a bare tray icon that reads the same three
# /proc files each second, idling over the same seconds.
# Needs DISPLAY (run under Xvfb: scripts/xvfb.sh). Usage: bench/app_startup_idle.sh [build-dir]
set -euo pipefail
BUILD=${1:-build}
BIN="$BUILD/bin/Kestrum"
FLOOR="$BUILD/bench/qt_floor"
[ -x "$FLOOR" ] || FLOOR=
RUNS=${RUNS:-7}
IDLE_SECONDS=${IDLE_SECONDS:-30}
work=$(mktemp -d)
pids=()
# Only what this script started: another Kestrum of the same build may be running beside it.
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"' EXIT
# XDG_CONFIG_HOME too: the program registers itself to start at logon, and that entry must not be real.
export KESTRUM_HOME="$work/home" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/config" KESTRUM_TRACE=1
mkdir -p "$KESTRUM_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
# A desktop session has a message bus. Without one the toolkit starts a bus of its own (dbus-launch) at every
# start, a cost of 20-30 ms that no user pays, so a private bus stands in for the session's.
if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ] && command -v dbus-daemon >/dev/null; then
  DBUS_SESSION_BUS_ADDRESS=$(dbus-daemon --session --fork --print-address=1 --print-pid=3 3>"$work/bus.pid")
  export DBUS_SESSION_BUS_ADDRESS
  pids+=("$(cat "$work/bus.pid")")
fi

median() { sort -n | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }

# Exec to the marker line on stderr, in ms (into ms).
start_ms() {
  local marker=$1 log="$work/start.log"
  shift
  : >"$log"
  local t0 t1
  t0=$(date +%s%N)
  "$@" 2>"$log" &
  pid=$!
  pids+=("$pid")
  until grep -q "$marker" "$log"; do sleep 0.005; done
  t1=$(date +%s%N)
  kill "$pid"; wait "$pid" 2>/dev/null || true
  ms=$(( (t1 - t0) / 1000000 ))
}
starts=()
floors=()
for _ in $(seq 1 "$RUNS"); do
  start_ms "kestrum: shown" "$BIN"
  starts+=("$ms")
  if [ -n "$FLOOR" ]; then
    start_ms "floor: shown" "$FLOOR" window
    floors+=("$ms")
  fi
done
echo "start-up to window shown (ms), $RUNS runs: ${starts[*]}; median $(printf '%s\n' "${starts[@]}" | median)"
[ -z "$FLOOR" ] || echo "  a bare toolkit window, alternately: ${floors[*]}; median $(printf '%s\n' "${floors[@]}" | median)"

# Idle processor time (percent of one core) over IDLE_SECONDS, IDLE_RUNS times, and memory at the end. Read
# from the threads' run time in nanoseconds (schedstat): the clock-tick figures of /proc/PID/stat cannot tell
# 0.03 % from 0.06 % over half a minute. The program's threads live as long as it does.
runtime_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{s += $1} END {printf "%.0f", s}'; }
idle() {
  local label=$1 floorMode=$2
  shift 2
  local runs=() floorRuns=() fpid=
  for _ in $(seq 1 "${IDLE_RUNS:-3}"); do
    "$BIN" "$@" 2>/dev/null &
    pid=$!
    pids+=("$pid")
    if [ -n "$FLOOR" ] && [ -n "$floorMode" ]; then
      "$FLOOR" "$floorMode" 2>/dev/null &
      fpid=$!
      pids+=("$fpid")
    fi
    sleep 3
    c0=$(runtime_ns "$pid")
    f0=$([ -z "$fpid" ] || runtime_ns "$fpid")
    sleep "$IDLE_SECONDS"
    c1=$(runtime_ns "$pid")
    f1=$([ -z "$fpid" ] || runtime_ns "$fpid")
    rss=$(awk '/VmRSS/ {print $2}' "/proc/$pid/status")
    pss=$(awk '/^Pss:/ {print $2}' "/proc/$pid/smaps_rollup")
    runs+=($(awk -v a="$c0" -v b="$c1" -v s="$IDLE_SECONDS" 'BEGIN {printf "%.4f", (b-a)/1e9/s*100}'))
    [ -z "$fpid" ] || floorRuns+=($(awk -v a="$f0" -v b="$f1" -v s="$IDLE_SECONDS" 'BEGIN {printf "%.4f", (b-a)/1e9/s*100}'))
    kill "$pid" $fpid; wait "$pid" $fpid 2>/dev/null || true
    fpid=
  done
  echo "idle $label over ${IDLE_SECONDS}s, ${#runs[@]} runs: ${runs[*]} % of one core; median $(printf '%s\n' "${runs[@]}" | median) %; last run VmRSS ${rss} KiB, Pss ${pss} KiB"
  [ ${#floorRuns[@]} -eq 0 ] || echo "  a bare tray icon reading the same files, the same seconds: ${floorRuns[*]} %; median $(printf '%s\n' "${floorRuns[@]}" | median) %"
  return 0
}

idle "shown (Usage page)" ""
# Hidden in the notification area: needs a tray host on the display (trayer, if installed).
if command -v trayer >/dev/null; then
  trayer --SetDockType true --transparent true >/dev/null 2>&1 &
  tray=$!
  pids+=("$tray")
  sleep 1
  idle "hidden in the tray" tray -autostart
  kill "$tray" 2>/dev/null || true
else
  echo "idle hidden in the tray: skipped (no trayer to host the icon)"
fi
