#!/usr/bin/env bash
# The crash loop at length: tests/integration_store/long.sh [KILLS] [build-dir] (default 2000 kills, build/).
set -euo pipefail
kills=${1:-2000}
build=${2:-build}
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
KESTRUM_HOME=$home KESTRUM_CRASHLOOP_KILLS=$kills QT_QPA_PLATFORM=offscreen \
  "$build/tests/test_integration_store" --gtest_filter='CrashLoop.*'
