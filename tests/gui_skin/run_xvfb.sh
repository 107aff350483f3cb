#!/bin/bash
# Runs the X11 toolkit tests on a private Xvfb display with openbox as the window manager.
# Usage: tests/gui_skin/run_xvfb.sh <build folder>
set -u
build=${1:-build}
display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $wm $xvfb 2>/dev/null' EXIT
for _ in $(seq 50); do DISPLAY=$display xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
DISPLAY=$display openbox >/dev/null 2>&1 &
wm=$!
sleep 0.5
DISPLAY=$display QT_QPA_PLATFORM=xcb "$build/tests/test_gui_skin"
