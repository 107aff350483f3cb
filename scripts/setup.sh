#!/usr/bin/env bash
# Installs every Debian package the build, the tests, the GUI tests and the tools need.
# Idempotent and non-interactive; skips apt entirely when everything is already there.
set -euo pipefail

PKGS=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-charts-dev libqt6opengl6-dev libqt6svg6
  libgif-dev libpng-dev libjpeg-dev zlib1g-dev
  libxcb1-dev libxcb-keysyms1-dev libxcb-randr0-dev libx11-dev libxkbcommon-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xdotool openbox x11-utils imagemagick
  fonts-wine
  clang libclang-rt-14-dev
  libgl-dev libsdl2-dev
  python3 python3-psutil
  procps util-linux
  dbus-daemon polkitd dpkg-dev lintian
  desktop-file-utils libglib2.0-bin
  weston qt6-wayland
)

missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
echo "setup: installing ${missing[*]}"
$SUDO apt-get -o DPkg::Lock::Timeout=300 update -q
$SUDO apt-get -o DPkg::Lock::Timeout=300 install -y -q --no-install-recommends "${missing[@]}"
