#!/usr/bin/env bash
# Installs what is needed, builds, and starts Kestrum. Without a display it says so and shows the
# machine's figures with the headless companion instead.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/build.sh
BIN=${BUILD_DIR:-build}/bin
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display here (DISPLAY is not set), so the Kestrum window cannot open."
  if [ -x "$BIN/kestrum-cli" ]; then
    echo "This machine as the headless companion sees it ($BIN/kestrum-cli status):"
    echo
    "$BIN/kestrum-cli" status
    echo
    echo "Free memory now with: sudo $BIN/kestrum-cli free   (see $BIN/kestrum-cli --help)"
  fi
  echo "To see the window on a virtual display: Xvfb :99 & openbox & DISPLAY=:99 $BIN/Kestrum"
  exit 0
fi
exec "$BIN/Kestrum" "$@"
