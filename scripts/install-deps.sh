#!/usr/bin/env bash
# Installs the Debian packages the build, the tests, the simulated board and the Debian
# package (its making and its checks) need; and those of the Windows build, its tests under
# Wine and its installer.
set -euo pipefail
packages=(build-essential cmake ninja-build qt6-base-dev qt6-serialport-dev libgl-dev xvfb xauth
          fonts-dejavu-core fonts-comic-neue qt6-translations-l10n
          dpkg-dev file desktop-file-utils appstream groff-base lintian ser2net socat x11-utils
          g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 nsis icoutils zip)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=""
  [[ $(id -u) -eq 0 ]] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
