#!/usr/bin/env bash
# Functions called through "$@" and the trap look unreachable to shellcheck.
# shellcheck disable=SC2317
# Cross-builds the whole tree for Windows (the test programs that build there included), runs
# those test programs under Wine in a fresh prefix, then trvctl.exe end to end against the
# Linux simulator, whose pseudo-terminal Wine's COM3 leads to: read, set, diff and write, the
# bytes checked on the simulator's side against what Linux's trvctl makes of the same board;
# last, the installer that scripts/windows/package.sh makes: installed and removed silently,
# the installed trvctl.exe reading the simulator with only its own folder's DLLs.
#
# Usage: scripts/windows/test.sh [--build-only] [WINDOWS_BUILD_DIR] [LINUX_BUILD_DIR]
#   (defaults: build-windows and build beside this script's repository)
#   --build-only: the cross-build alone, then stop (scripts/test.sh runs it while the Linux
#   tests run, so that the tests here find everything built)
# Needs Qt for Windows (scripts/windows/build-qt.sh, once per machine), mingw-w64 and Wine
# (Debian's wine, 64-bit), and for the installer what package.sh names; builds the Linux
# simulator and trvctl if the Linux build lacks them.
# Environment: TRV_QT_WINDOWS (that Qt's folder), TRV_JOBS (parallel compile jobs, default 2),
# TRV_KEEP_WINE=1 keeps the Wine prefix (its path is printed) for a look afterwards.
set -euo pipefail
build_only=0
if [[ ${1:-} == --build-only ]]; then
  build_only=1
  shift
fi

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
qt=${TRV_QT_WINDOWS:-/var/cache/trv-compteur/qt-6.4.2-mingw}
build=${1:-$root/build-windows}
linux_build=${2:-$root/build}
jobs=${TRV_JOBS:-2}
mingw_gcc=/usr/lib/gcc/x86_64-w64-mingw32/12-posix
mingw_lib=/usr/x86_64-w64-mingw32/lib

log() { printf '[windows-test %(%H:%M:%S)T] %s\n' -1 "$*"; }
fail() { echo "windows/test.sh: $*" >&2; exit 1; }

[[ -f $qt/.trv-qt-build ]] || fail "no Qt for Windows in $qt: run scripts/windows/build-qt.sh first"
for tool in wine wineboot wineserver winepath x86_64-w64-mingw32-g++-posix; do
  command -v "$tool" >/dev/null || fail "$tool is missing (apt-get install wine mingw-w64)"
done

log "cross-building into $build"
# ccache, where there is one, makes a re-build after a small change cheap.
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
# The emulator lets CTest run the .exe test programs through Wine.
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DCMAKE_PREFIX_PATH="$qt" \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$(command -v wine)" "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$jobs"
if ((build_only)); then exit 0; fi

# The Linux run of the counter window's test is what the Windows run is compared with.
linux_window_test=$linux_build/tests/gui/test_counter_window_com
if [[ ! -x $linux_build/sim/trv-board-sim || ! -x $linux_build/cli/trvctl ||
  ! -x $linux_window_test ]]; then
  log "building the Linux simulator, trvctl and the counter window's test in $linux_build"
  "$root/scripts/build.sh" "$linux_build" --target trv-board-sim --target trvctl \
    --target test_counter_window_com
fi

# Both programs carry the tool's icon: one icon group, its two pictures (48 and 256 pixels).
for exe in "$build/src/gui/trv-compteur.exe" "$build/cli/trvctl.exe"; do
  resources=$(wrestool -l "$exe")
  if grep -q -- '--type=14 ' <<<"$resources" &&
    [[ $(grep -c -- '--type=3 ' <<<"$resources") -eq 2 ]]; then
    echo "ok: $(basename "$exe") carries the icon"
  else
    echo "FAIL: $(basename "$exe") has no icon: $resources" >&2
    icon_status=1
  fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/trv-windows-test.XXXXXX")
sims=()
cleanup() {
  local pid
  for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  if [[ -n ${WINEPREFIX:-} ]]; then wineserver -k 2>/dev/null || true; fi
  if [[ ${TRV_KEEP_WINE:-0} == 1 ]]; then
    log "kept $work"
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT

log "making a fresh Wine prefix"
export WINEPREFIX=$work/wine WINEARCH=win64 WINEDEBUG=-all
# No Mono nor Gecko: nothing here needs them, and Wine would offer to download them.
export WINEDLLOVERRIDES="mscoree,mshtml="
wineboot -i >/dev/null 2>&1
wineserver -w
# One server for the whole run, whose output (a dump of its state when it is stopped) goes
# nowhere.
wineserver -p >/dev/null 2>&1
# Where the programs find their DLLs: Qt's, then the mingw runtime's. Qt finds its plugins
# beside its own DLLs (bin/../plugins).
WINEPATH="$(winepath -w "$qt/bin");$(winepath -w "$mingw_gcc");$(winepath -w "$mingw_lib")"
export WINEPATH
# The offscreen platform on Windows takes its fonts from one folder, without subfolders: the
# DejaVu faces and Comic Neue (what the board windows fall back on without Comic Sans MS).
mkdir -p "$work/fonts"
ln -s /usr/share/fonts/truetype/dejavu/*.ttf /usr/share/fonts/opentype/comic-neue/*.otf \
  "$work/fonts/"
# Qt's own French texts: Debian's (the same on every system), found through a qt.conf beside
# each program, which also names the Windows Qt as the programs' Qt.
qt_conf=$(printf '[Paths]\nPrefix=%s\nTranslations=%s\n' \
  "$(winepath -w "$qt" | tr '\134' /)" "$(winepath -w /usr/share/qt6/translations | tr '\134' /)")
find "$build" -name '*.exe' -printf '%h\n' | sort -u | while read -r folder; do
  printf '%s\n' "$qt_conf" >"$folder/qt.conf"
done
# Wine hands QT_* variables to a Windows program only under these names.
export WINEQT_QPA_PLATFORM=offscreen
WINEQT_QPA_FONTDIR=$(winepath -w "$work/fonts")
export WINEQT_QPA_FONTDIR
export WINEQT_FORCE_STDERR_LOGGING=1
status=${icon_status:-0}
# A null-modem pair of pseudo-terminals behind COM21 and COM22: the port contract's Win32 row
# runs the port under test on COM21 and holds COM22 itself as the far end. Numbers that no
# other test uses: some count on COM4, COM5 or COM9 being absent.
socat -d -d pty,raw,echo=0,link="$work/pair-a" pty,raw,echo=0,link="$work/pair-b" \
  2>"$work/socat.log" &
sims+=($!)
for _ in $(seq 100); do
  [[ -e $work/pair-a && -e $work/pair-b ]] && break
  sleep 0.1
done
[[ -e $work/pair-b ]] || fail "socat made no pair of pseudo-terminals: $(cat "$work/socat.log")"
ln -sfn "$(readlink -f "$work/pair-a")" "$WINEPREFIX/dosdevices/com21"
ln -sfn "$(readlink -f "$work/pair-b")" "$WINEPREFIX/dosdevices/com22"
export TRV_WIN32_PORT_PAIR=21,22
log "running the test programs under Wine"
if ! (cd "$build" && ctest --output-on-failure -j1); then
  status=1
fi

# ---- end to end: trvctl.exe against the simulator behind COM3 ----
# start_board N IMAGE: a paced simulated board on COMn of a data folder of its own; board_pty
# names the pseudo-terminal it runs on.
start_board() {
  local port=$1 image=$2 data=$work/sim$1
  mkdir -p "$data"
  XDG_DATA_HOME=$data TRV_DATA_HOME=$data "$linux_build/sim/trv-board-sim" --port "$port" \
    --image "$image" --preset signed --received "$work/received$port" \
    >"$work/sim$port.log" 2>&1 &
  sims+=($!)
  local link=$data/trv-compteur/ports/com$port
  for _ in $(seq 100); do
    if [[ -e $link ]]; then
      board_pty=$(readlink -f "$link")
      return
    fi
    sleep 0.1
  done
  fail "the simulator of COM$port did not start: $(cat "$work/sim$port.log")"
}
# Runs a command, prints its wall, user and system seconds after the label given.
timed() {
  local label=$1
  shift
  local start end
  start=$(date +%s.%N)
  "$@"
  local rc=$?
  end=$(date +%s.%N)
  awk -v l="$label" -v s="$start" -v e="$end" 'BEGIN { printf "%s: %.2f s wall\n", l, e - s }' \
    >>"$work/times"
  return "$rc"
}
expect() {  # expect STATUS DESCRIPTION COMMAND...: the command's exit status is STATUS
  local want=$1 what=$2
  shift 2
  local rc=0
  "$@" >"$work/out" 2>&1 || rc=$?
  if [[ $rc -ne $want ]]; then
    echo "FAIL: $what: status $rc instead of $want" >&2
    cat "$work/out" >&2
    status=1
    return 1
  fi
  echo "ok: $what"
}
same_bytes() {  # same_bytes A B DESCRIPTION
  if cmp -s "$1" "$2"; then
    echo "ok: $3"
  else
    echo "FAIL: $3 ($1 and $2 differ)" >&2
    status=1
  fi
}
win() { winepath -w "$1"; }

log "trvctl.exe against the simulator on COM3"
trvctl_exe=$build/cli/trvctl.exe
# Linux's trvctl finds COM4 in that simulator's data folder.
trvctl_linux() { XDG_DATA_HOME=$work/sim4 TRV_DATA_HOME=$work/sim4 "$linux_build/cli/trvctl" "$@"; }
start_board 3 "$work/board3.bin"
ln -sfn "$board_pty" "$WINEPREFIX/dosdevices/com3"
# The same board for Linux's trvctl, to compare what both make of one operation.
start_board 4 "$work/board4.bin"
settled() { sleep 0.5; }  # the simulator saves its image once the line is quiet

expect 0 "read -p 3 under Wine" timed "trvctl.exe read -p 3 (Wine)" \
  wine "$trvctl_exe" read -p 3 -o "$(win "$work/before.bin")"
settled
same_bytes "$work/before.bin" "$work/board3.bin" "read: the file holds the simulator's image"
expect 0 "read -p 4 on Linux" timed "trvctl read -p 4 (Linux)" \
  trvctl_linux read -p 4 -o "$work/linux.bin"
expect 0 "set depart=12,00 under Wine" wine "$trvctl_exe" set -p 3 depart=12,00
expect 0 "set depart=12,00 on Linux" trvctl_linux set -p 4 depart=12,00
settled
same_bytes "$work/board3.bin" "$work/board4.bin" "set: the same bytes as Linux's trvctl wrote"
expect 1 "diff of the saved image with the board under Wine" \
  wine "$trvctl_exe" diff "$(win "$work/before.bin")" -p 3
# The setting's name with its accent: trvctl.exe's output is UTF-8 as on Linux.
if grep -q "  Départ : before.bin 10,00 / COM3 12,00" "$work/out"; then
  echo "ok: diff names the setting changed, accent included"
else
  echo "FAIL: diff does not name Départ" >&2
  cat "$work/out" >&2
  status=1
fi
expect 0 "write -p 3 under Wine" wine "$trvctl_exe" write -p 3 "$(win "$work/before.bin")"
settled
same_bytes "$work/board3.bin" "$work/before.bin" "write: the simulator holds the image written"
expect 0 "diff after the write under Wine" wine "$trvctl_exe" diff "$(win "$work/before.bin")" -p 3
expect 3 "read -p 9 (no COM9) under Wine" wine "$trvctl_exe" read -p 9

# Ctrl+C: Wine turns SIGINT into the console's Ctrl+C event; the run stops at a frame boundary
# and says so with status 130, where the system's default would end it at once.
wine "$trvctl_exe" ping -p 3 -n 1000 >"$work/out" 2>&1 &
ping_pid=$!
sleep 3
kill -INT "$ping_pid"
rc=0
wait "$ping_pid" || rc=$?
if [[ $rc -eq 130 ]] && grep -q "interrompu pendant le ping" "$work/out"; then
  echo "ok: Ctrl+C stops ping -p 3 under Wine with status 130"
else
  echo "FAIL: Ctrl+C under Wine: status $rc" >&2
  cat "$work/out" >&2
  status=1
fi

# ---- the counter window in-process: programming then reading through the Win32 port ----
# Both boards start from the same image; the test checks the frames on its board's side, and
# what the Windows run sent must be what the Linux run of the same test sent.
log "the counter window's programming and read under Wine, then on Linux"
expect 0 "write -p 4 on Linux (the same image on both boards)" \
  trvctl_linux write -p 4 "$work/before.bin"
settled
window_test() {  # window_test PORT RECEIVED IMAGE PROGRAM...
  TRV_BOARD_PORT=$1 TRV_BOARD_RECEIVED=$2 TRV_BOARD_IMAGE=$3 "${@:4}"
}
from3=$(stat -c %s "$work/received3")
from4=$(stat -c %s "$work/received4")
expect 0 "the counter window programs and reads COM3 under Wine" \
  window_test 3 "$(win "$work/received3")" "$(win "$work/board3.bin")" \
  wine "$build/tests/gui/test_counter_window_com.exe"
if grep -q "Totals: 3 passed, 0 failed, 0 skipped" "$work/out"; then
  echo "ok: under Wine, nothing of the window's test was skipped"
else
  echo "FAIL: the window's test did not run whole under Wine" >&2
  cat "$work/out" >&2
  status=1
fi
linux_window() {
  XDG_DATA_HOME=$work/sim4 TRV_DATA_HOME=$work/sim4 QT_QPA_PLATFORM=offscreen \
    window_test 4 "$work/received4" "$work/board4.bin" "$linux_window_test"
}
expect 0 "the counter window programs and reads COM4 on Linux" linux_window
settled
tail -c +$((from3 + 1)) "$work/received3" >"$work/window3"
tail -c +$((from4 + 1)) "$work/received4" >"$work/window4"
if [[ -s $work/window3 ]]; then
  same_bytes "$work/window3" "$work/window4" "the window sent under Wine what it sends on Linux"
else
  echo "FAIL: the simulator on COM3 received nothing from the window" >&2
  status=1
fi
same_bytes "$work/board3.bin" "$work/board4.bin" "the window programmed the same image on both"

# ---- the installer: silent installation, the installed programs, silent removal ----
log "making the installer and the zip"
if ! packaged=$("$here/package.sh"); then
  fail "scripts/windows/package.sh failed"
fi
setup=$(sed -n 1p <<<"$packaged")
echo "installer: $(basename "$setup"), $(du -h "$setup" | cut -f1)"
if (($(stat -c %s "$setup") <= 40 * 1024 * 1024)); then
  echo "ok: the installer is within 40 MB"
else
  echo "FAIL: the installer is over 40 MB" >&2
  status=1
fi
installed=$WINEPREFIX/drive_c/Program\ Files/trv-compteur
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Compteur ∕ Décompteur TRV.lnk"
# The installed programs find everything in their own folder: no Qt nor runtime from WINEPATH.
installed_trvctl() { WINEPATH='' wine "$installed/trvctl.exe" "$@"; }
# Whether the system's list of installed programs names the tool.
listed() { wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\trv-compteur' >/dev/null 2>&1; }
check() {  # check DESCRIPTION TEST...: the test holds
  local what=$1
  shift
  if "$@"; then
    echo "ok: $what"
  else
    echo "FAIL: $what" >&2
    status=1
  fi
}
# The installer has finished when wine returns.
expect 0 "setup.exe /S installs under Wine" wine "$setup" /S
check "installed under Program Files with its uninstaller" test -f "$installed/uninstall.exe"
check "the Start-menu entry exists" test -f "$shortcut"
check "the system's list of programs names it" listed
expect 0 "the installed trvctl.exe help" installed_trvctl help
expect 0 "the installed trvctl.exe reads the simulator on COM3" \
  installed_trvctl read -p 3 -o "$(win "$work/installed.bin")"
settled
same_bytes "$work/installed.bin" "$work/board3.bin" "the installed trvctl.exe read the simulator's image"
# The installed tool starts as a technician starts it, on a screen (Xvfb, Wine's X11 driver,
# not the tests' offscreen platform): its main window comes up. The Wine session so far has no
# display, and a program started in it would draw on that session's desktop, on no screen: a
# new session starts with the screen.
main_window_shown() {
  wineserver -k 2>/dev/null || true
  wineserver -w
  env -u WINEQT_QPA_PLATFORM -u WINEQT_QPA_FONTDIR xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
    WINEPATH="" wine "$1" >/dev/null 2>&1 &
    for _ in $(seq 300); do
      if xwininfo -root -tree 2>/dev/null | grep -q "Gestion Compteur / D"; then
        wineserver -k; exit 0
      fi
      sleep 0.1
    done
    wineserver -k; exit 1' _ "$installed/trv-compteur.exe"
}
check "the installed trv-compteur.exe shows its main window" main_window_shown
# A site's own help document stays when the tool goes.
echo site >"$installed/TRV_VXM.doc"
# The uninstaller runs a copy of itself from the temporary folder, so that it can remove its own
# file, and returns at once: its work is done when that file is gone.
expect 0 "uninstall.exe /S removes it under Wine" wine "$installed/uninstall.exe" /S
for _ in $(seq 300); do
  [[ -e $installed/uninstall.exe ]] || break
  sleep 0.1
done
check "the programs and the uninstaller are gone" \
  test ! -e "$installed/trvctl.exe" -a ! -e "$installed/uninstall.exe" -a ! -e "$installed/doc"
check "the Start-menu entry is gone" test ! -e "$shortcut"
check "the system's list of programs no longer names it" eval '! listed'
check "the site's TRV_VXM.doc stays" test -f "$installed/TRV_VXM.doc"

echo "Wall times:"
cat "$work/times"
if [[ $status -eq 0 ]]; then log "all passed"; else log "FAILED"; fi
exit "$status"
