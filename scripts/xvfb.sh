# Sourced: starts a private Xvfb display with openbox and sets DISPLAY; stops both on exit.
# Usage: . scripts/xvfb.sh
kestrum_start_xvfb() {
  local fdfile
  fdfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fdfile" >/dev/null 2>&1 &
  KESTRUM_XVFB_PID=$!
  for _ in $(seq 1 100); do
    [ -s "$fdfile" ] && break
    sleep 0.1
  done
  if [ ! -s "$fdfile" ]; then
    echo "xvfb: could not start a virtual display" >&2
    rm -f "$fdfile"
    return 1
  fi
  export DISPLAY=":$(head -n1 "$fdfile")"
  rm -f "$fdfile"
  openbox >/dev/null 2>&1 &
  KESTRUM_OPENBOX_PID=$!
  sleep 0.5
}
kestrum_stop_xvfb() {
  [ -n "${KESTRUM_OPENBOX_PID:-}" ] && kill "$KESTRUM_OPENBOX_PID" 2>/dev/null
  [ -n "${KESTRUM_XVFB_PID:-}" ] && kill "$KESTRUM_XVFB_PID" 2>/dev/null
  wait 2>/dev/null
  return 0
}
