#!/usr/bin/env bash
# trvctl's whole-image read against the simulated board paced at 9600 baud, from process start
# to exit, on Linux and under Wine side by side, each beside the line's lower bound (the
# 500 ms settle and the 1,064 bytes of the read's transaction at ten bits a byte). The
# processor time is the whole process's and, under Wine, also what the Wine server spent
# meanwhile.
#
# Usage: scripts/windows/bench.sh [WINDOWS_BUILD_DIR] [LINUX_BUILD_DIR]
#   (defaults: build-windows and build; both built already, as scripts/windows/test.sh leaves
#   them)
# Environment: TRV_QT_WINDOWS (Qt for Windows), TRV_BENCH_ROUNDS (default 3).
# Targets: wall/bound at most 1.10, CPU/wall at most 0.05.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
qt=${TRV_QT_WINDOWS:-/var/cache/trv-compteur/qt-6.4.2-mingw}
build=${1:-$root/build-windows}
linux_build=${2:-$root/build}
rounds=${TRV_BENCH_ROUNDS:-3}
mingw_gcc=/usr/lib/gcc/x86_64-w64-mingw32/12-posix
mingw_lib=/usr/x86_64-w64-mingw32/lib

fail() { echo "windows/bench.sh: $*" >&2; exit 1; }
# The program as a technician runs it: from the folder scripts/windows/package.sh makes
# (stripped DLLs beside it), else from the build with the Windows Qt's own DLLs.
version=$(sed -n 's/^project(trv-compteur VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
packaged=$build/trv-compteur-$version
if [[ -x $packaged/trvctl.exe ]]; then
  trvctl_exe=$packaged/trvctl.exe
else
  trvctl_exe=$build/cli/trvctl.exe
fi
for f in "$trvctl_exe" "$linux_build/cli/trvctl" "$linux_build/sim/trv-board-sim"; do
  [[ -x $f ]] || fail "$f is missing: build it first (scripts/windows/test.sh builds both)"
done

work=$(mktemp -d "${TMPDIR:-/tmp}/trv-windows-bench.XXXXXX")
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

export WINEPREFIX=$work/wine WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineboot -i >/dev/null 2>&1
wineserver -w
wineserver -p >/dev/null 2>&1
if [[ $trvctl_exe != "$packaged/trvctl.exe" ]]; then
  WINEPATH="$(winepath -w "$qt/bin");$(winepath -w "$mingw_gcc");$(winepath -w "$mingw_lib")"
  export WINEPATH
  printf '[Paths]\nPrefix=%s\n' "$(winepath -w "$qt" | tr '\134' /)" >"$build/cli/qt.conf"
fi
echo "measuring $trvctl_exe"

# One paced board for each side, on COM3 of a data folder of its own.
board() {  # board NAME: starts it; its pseudo-terminal in board_pty
  local data=$work/$1
  mkdir -p "$data"
  XDG_DATA_HOME=$data TRV_DATA_HOME=$data "$linux_build/sim/trv-board-sim" --port 3 \
    --image "$data/board.bin" >"$data/sim.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do
    if [[ -e $data/trv-compteur/ports/com3 ]]; then
      board_pty=$(readlink -f "$data/trv-compteur/ports/com3")
      return
    fi
    sleep 0.1
  done
  fail "the simulator did not start: $(cat "$data/sim.log")"
}
board linux
board wine
ln -sfn "$board_pty" "$WINEPREFIX/dosdevices/com3"

# Clock ticks spent so far by this prefix's Wine server, which serves every system call of a
# Windows program that Wine does not make in the program itself (the process's own time is
# measured apart). Wine's services, idle, run as Windows' own would, and are left
# out.
wine_ticks() {
  local total=0 pid stat fields
  for pid in $(pgrep -x -u "$(id -u)" 'wineserver(64)?'); do
    grep -qsz "^WINEPREFIX=$WINEPREFIX\$" "/proc/$pid/environ" || continue
    stat=$(cat "/proc/$pid/stat" 2>/dev/null) || continue
    read -ra fields <<<"${stat##*) }"
    total=$((total + fields[11] + fields[12]))
  done
  echo "$total"
}
tick_ms=$((1000 / $(getconf CLK_TCK)))
bound=$(awk 'BEGIN { printf "%.1f", 500 + 1064 * 10000 / 9600 }')

# measure LABEL COMMAND...: one run, its wall and processor milliseconds and both ratios.
measure() {
  local label=$1
  shift
  local before after
  before=$(wine_ticks)
  # Wall time from the command's start to its end, and the processor time of the command and
  # of every process it waited for, to the microsecond.
  python3 -c '
import resource, subprocess, sys, time
before = resource.getrusage(resource.RUSAGE_CHILDREN)
start = time.monotonic()
status = subprocess.call(sys.argv[2:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
wall = time.monotonic() - start
after = resource.getrusage(resource.RUSAGE_CHILDREN)
open(sys.argv[1], "w").write("%f %f %f\n" % (wall, after.ru_utime - before.ru_utime,
                                             after.ru_stime - before.ru_stime))
sys.exit(status)' "$work/time" "$@" || fail "$label failed"
  after=$(wine_ticks)
  awk -v l="$label" -v b="$bound" -v extra="$(((after - before) * tick_ms))" \
    'NR == 1 { wall = $1 * 1000; own = ($2 + $3) * 1000; cpu = own + extra
               printf "%-30s wall %7.1f ms  bound %7.1f ms  wall/bound %.3f  CPU %5.0f ms (%3.0f + %3.0f)  CPU/wall %.4f\n",
                 l, wall, b, wall / b, cpu, own, extra, cpu / wall }' "$work/time"
}
linux_trvctl=(env XDG_DATA_HOME="$work/linux" TRV_DATA_HOME="$work/linux" "$linux_build/cli/trvctl")

# A first run of each, not counted: Wine starts its services once per prefix, as Windows has
# them running before any program starts.
"${linux_trvctl[@]}" read -p 3 >/dev/null
wine "$trvctl_exe" read -p 3 >/dev/null 2>&1
sleep 1
# CPU: the process's own, plus (under Wine) the Wine server's meanwhile.
for ((round = 1; round <= rounds; round++)); do
  measure "trvctl read -p 3 (Linux)" "${linux_trvctl[@]}" read -p 3
  measure "trvctl.exe read -p 3 (Wine)" wine "$trvctl_exe" read -p 3
done
# What starting and ending the program costs alone, beside the same bound: under Wine most of
# what the read takes beyond Linux.
measure "trvctl --version (Linux)" "${linux_trvctl[@]}" --version
measure "trvctl.exe --version (Wine)" wine "$trvctl_exe" --version
