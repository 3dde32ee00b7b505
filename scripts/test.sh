#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once as built for use, once under
# AddressSanitizer and UndefinedBehaviorSanitizer; in between, makes the Debian package
# from the first build and checks it.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$root/build"
"$root/scripts/check-layers.sh" "$root/build"
(cd "$root/build" && ctest --output-on-failure -j2)
deb="$("$root/scripts/package.sh" "$root/build")"
"$root/tests/package/check_package.sh" "$deb"
"$root/scripts/build.sh" "$root/build-asan" -DTRV_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
(cd "$root/build-asan" && ctest --output-on-failure -j2)
