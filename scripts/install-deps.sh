#!/usr/bin/env bash
# Installs the Debian packages the build, the tests, the simulated board and the Debian
# package (its making and its checks) need, and ser2net, which the network ports' tests put in
# front of the test's pseudo-terminals.
set -euo pipefail
packages=(build-essential cmake ninja-build qt6-base-dev qt6-serialport-dev libgl-dev xvfb xauth
          fonts-dejavu-core fonts-comic-neue qt6-translations-l10n
          dpkg-dev file desktop-file-utils appstream groff-base lintian ser2net)
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
