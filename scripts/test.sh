#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once as built for use, once under
# AddressSanitizer and UndefinedBehaviorSanitizer; in between, makes the Debian package
# from the first build and checks it. Last, the Windows build: cross-built, its tests and
# trvctl.exe run under Wine against the simulator, its installer installed and removed.
#
# Qt for Windows is built once per machine (about 40 minutes); on a machine without it, that
# build runs in the background at idle priority from the start, so it takes only the processor
# time the Linux tests leave (they mostly wait on the line's real speed) and never slows them.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"

# Fetched now, while nothing else uses apt: the package check below installs a package.
"$root/scripts/windows/build-qt.sh" --fetch-only
mkdir -p "$root/build-windows"
qt_log="$root/build-windows/qt-build.log"
idle=(chrt --idle 0)
"${idle[@]}" true 2>/dev/null || idle=(nice -n 19)
# In a process group of its own, so that the whole build can be stopped at once. The
# cross-builds of the tree and of the installer's programs follow it there, at the same
# priority.
"${idle[@]}" setsid bash -c '"$1/scripts/windows/build-qt.sh" &&
  "$1/scripts/windows/test.sh" --build-only "$1/build-windows" &&
  "$1/scripts/windows/package.sh" >/dev/null' _ "$root" >"$qt_log" 2>&1 &
qt_build=$!
# A failed Linux step ends the script; the Qt build is not left running behind it.
trap 'kill -- -"$qt_build" 2>/dev/null || true' EXIT

"$root/scripts/build.sh" "$root/build"
"$root/scripts/check-layers.sh" "$root/build"
(cd "$root/build" && ctest --output-on-failure -j2)
deb="$("$root/scripts/package.sh" "$root/build")"
"$root/tests/package/check_package.sh" "$deb"
"$root/scripts/build.sh" "$root/build-asan" -DTRV_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
(cd "$root/build-asan" && ctest --output-on-failure -j2)

if ! wait "$qt_build"; then
  tail -n 40 "$qt_log" >&2
  echo "test.sh: building Qt for Windows or cross-building the tree failed (whole log: $qt_log)" >&2
  exit 1
fi
trap - EXIT
"$root/scripts/windows/test.sh" "$root/build-windows" "$root/build"
