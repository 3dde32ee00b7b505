#!/usr/bin/env bash
# Installs what is missing, builds into the folder given (default: build) for /usr what the
# package holds (not the tests), and makes the Debian package there; prints its path. Extra CMake options after the folder.
# Only the path goes to standard output, so a caller can take it; everything else goes to
# standard error.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="${1:-$root/build}"
shift || true
"$root/scripts/install-deps.sh" >&2
"$root/scripts/build.sh" "$dir" -DCMAKE_INSTALL_PREFIX=/usr --target trv_package "$@" >&2
rm -f "$dir"/trv-compteur_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
ls "$dir"/trv-compteur_*.deb
