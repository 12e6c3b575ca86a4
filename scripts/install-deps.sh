#!/usr/bin/env bash
# Installs the Debian packages the build, the tests, the demo and the Debian
# package need, when any of them is missing. Needs root (apt-get).
set -euo pipefail

packages=(
  build-essential cmake pkg-config clang libclang-rt-14-dev
  libgtest-dev libhyperscan-dev strace
  libatk-adaptor libatspi2.0-dev libgail-common libgail-dev libdbus-1-dev at-spi2-core dbus-daemon
  libgtk2.0-dev libxtst-dev libjpeg-dev libpng-dev libtiff-dev libopenjp2-7-dev zlib1g-dev
  xvfb xauth openbox xdotool x11-utils x11-apps
  imagemagick libjpeg-turbo-progs libtiff-tools libopenjp2-tools netpbm
  hyperfine time
  dpkg-dev file lintian man-db groff-base wmctrl
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
