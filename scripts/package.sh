#!/usr/bin/env bash
# Installs what is missing, builds into the folder given (default: build) for /usr, and makes
# the Debian package there; prints the package's path. Extra CMake options after the folder.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="${1:-$root/build}"
shift || true
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$dir" -DCMAKE_INSTALL_PREFIX=/usr "$@"
rm -f "$dir"/trv-compteur_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
ls "$dir"/trv-compteur_*.deb
