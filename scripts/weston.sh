# Sourced: starts a private headless weston (a Wayland compositor without a screen) and sets WAYLAND_DISPLAY
# to its socket's absolute path, so programs with a different XDG_RUNTIME_DIR still find it. --debug lets
# weston-screenshooter take pictures of it.
# Usage: . scripts/weston.sh; kestrum_start_weston; ...; kestrum_stop_weston
kestrum_start_weston() {
  local dir
  dir=$(mktemp -d)
  chmod 700 "$dir"
  KESTRUM_WESTON_DIR=$dir
  cat >"$dir/weston.ini" <<'INI'
[core]
idle-time=0
[shell]
panel-position=none
background-color=0xff3060a0
INI
  XDG_RUNTIME_DIR=$dir weston --backend=headless-backend.so --use-pixman --width=1280 --height=1024 \
    --socket=wayland-kestrum --config="$dir/weston.ini" --debug --log="$dir/weston.log" >/dev/null 2>&1 &
  KESTRUM_WESTON_PID=$!
  for _ in $(seq 1 100); do
    [ -S "$dir/wayland-kestrum" ] && break
    sleep 0.1
  done
  if [ ! -S "$dir/wayland-kestrum" ]; then
    echo "weston: could not start a headless compositor" >&2
    return 1
  fi
  export WAYLAND_DISPLAY="$dir/wayland-kestrum"
  sleep 0.3
}
kestrum_stop_weston() {
  [ -n "${KESTRUM_WESTON_PID:-}" ] && kill "$KESTRUM_WESTON_PID" 2>/dev/null && wait "$KESTRUM_WESTON_PID" 2>/dev/null
  [ -n "${KESTRUM_WESTON_DIR:-}" ] && rm -rf "$KESTRUM_WESTON_DIR"
  KESTRUM_WESTON_PID=
  return 0
}
