#!/usr/bin/env bash
# Builds qtbase 6.4.2 for 64-bit Windows (mingw-w64, POSIX threads) from Debian's own source
# package, with Debian's Qt as the host tools, into a cache folder outside the repository:
#   ${TRV_QT_WINDOWS:-/var/cache/trv-compteur/qt-6.4.2-mingw}
# Once per machine: a stamp in that folder holds the options of the build it contains, and the
# script does nothing when they match. Takes about 40 minutes on two idle cores.
#
# Environment: TRV_QT_WINDOWS (install folder), TRV_QT_WINDOWS_WORK (source and build folder,
# kept across a failed run so that a new run resumes, removed after success), TRV_QT_JOBS
# (parallel compile jobs, default 2). Runs as root (apt-get, /var/cache).
#
# --fetch-only: installs the tools and fetches the source, then stops. scripts/test.sh runs
# that first, so that the long build it then starts in the background never needs apt while
# the tests install the Debian package.
set -euo pipefail
fetch_only=0
if [[ ${1:-} == --fetch-only ]]; then fetch_only=1; fi

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
toolchain=$root/cmake/mingw-w64.cmake

qt_version=6.4.2
prefix=${TRV_QT_WINDOWS:-/var/cache/trv-compteur/qt-$qt_version-mingw}
work=${TRV_QT_WINDOWS_WORK:-${TMPDIR:-/tmp}/trv-compteur-qt-$qt_version-mingw-work}
jobs=${TRV_QT_JOBS:-2}
stamp=$prefix/.trv-qt-build
building=$prefix/.trv-qt-building

# Only what the tool uses: Core, Gui, Widgets, Network, Test. Changing this list (or the
# version) rebuilds, since it is what the stamp records.
options=(
  -G Ninja
  -DCMAKE_BUILD_TYPE=Release
  -DBUILD_SHARED_LIBS=ON
  -DQT_BUILD_EXAMPLES=OFF
  -DQT_BUILD_TESTS=OFF
  # Debian's Qt runs moc, rcc, uic and the rest on the build machine.
  -DQT_HOST_PATH=/usr
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
  # Modules and backends the tool does not use.
  -DFEATURE_sql=OFF
  -DFEATURE_dbus=OFF
  -DFEATURE_printsupport=OFF
  -DFEATURE_concurrent=OFF
  -DFEATURE_xml=OFF
  -DINPUT_opengl=no
  -DFEATURE_vulkan=OFF
  -DFEATURE_zstd=OFF
  -DFEATURE_glib=OFF
  -DFEATURE_icu=OFF
  -DFEATURE_pkg_config=OFF
  -DFEATURE_jpeg=OFF
  # A Debian patch turns it on whenever Qt is cross-built.
  -DFEATURE_androiddeployqt=OFF
  # Qt's bundled copies: the mingw sysroot has none of these libraries.
  -DFEATURE_system_zlib=OFF
  -DFEATURE_system_pcre2=OFF
  -DFEATURE_system_freetype=OFF
  -DFEATURE_system_harfbuzz=OFF
  -DFEATURE_system_png=OFF
  -DFEATURE_system_jpeg=OFF
  -DFEATURE_system_doubleconversion=OFF
  -DFEATURE_system_libb2=OFF
  -DFEATURE_system_textmarkdownreader=OFF
  # Debian's source drops the wintab header the Windows platform plugin needs for tablets.
  -DFEATURE_tabletevent=OFF
  # Without Direct2D, DirectWrite 3 must go too, or the Windows platform plugin fails to link
  # in 6.4.2 (QWindowsDirectWriteFontDatabase undefined); the GDI font engine remains.
  -DFEATURE_direct2d=OFF
  -DFEATURE_directwrite3=OFF
)
# The version and the options, one per line: the stamp's content.
wanted=$(printf 'qtbase %s\n' "$qt_version"; printf '%s\n' "${options[@]}")

log() { printf '[build-qt %(%H:%M:%S)T] %s\n' -1 "$*"; }

if [[ -f $stamp && "$(cat "$stamp")" == "$wanted" ]]; then
  log "Qt for Windows is already built in $prefix with the same options: nothing to do"
  exit 0
fi
[[ $(id -u) -eq 0 ]] || { echo "build-qt.sh: run as root (apt-get, $prefix)" >&2; exit 1; }

# Never wipe a folder this script did not make: TRV_QT_WINDOWS might point anywhere.
if [[ -d $prefix && -n "$(ls -A "$prefix")" && ! -e $stamp && ! -e $building ]]; then
  echo "build-qt.sh: $prefix is not empty and was not made by this script; refusing" >&2
  exit 1
fi
start=$SECONDS

export DEBIAN_FRONTEND=noninteractive
tools=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
       dpkg-dev ninja-build cmake perl qt6-base-dev qt6-base-dev-tools)
missing=()
for p in "${tools[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  log "installing the cross compiler, the host Qt and the build tools"
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Source of bookworm main, from the same mirror as the machine's own "deb" entry. Both the
# one-line and the deb822 formats are read; our entry goes in a file of its own.
src_list=/etc/apt/sources.list.d/trv-compteur-deb-src.sources
if [[ ! -f $src_list ]]; then
  uri="" keyring=""
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [[ -f $f ]] || continue
    line=$(grep -E '^[[:space:]]*deb[[:space:]]' "$f" | sed -E 's/\[[^]]*\]//' |
           awk '$3 == "bookworm" && / main( |$)/ {print $2; exit}') || true
    if [[ -n $line ]]; then uri=$line; break; fi
  done
  if [[ -z $uri ]]; then
    for f in /etc/apt/sources.list.d/*.sources; do
      [[ -f $f ]] || continue
      # Stanzas are separated by blank lines: the first with Types deb, Suites bookworm and
      # Components main gives its URI (the first one) and its keyring.
      read -r uri keyring < <(awk '
        function value() { v = $0; sub(/^[^:]*:[ \t]*/, "", v); gsub(/[ \t]+/, " ", v); return v }
        function stanza() {
          if (!found && index(" " types " ", " deb ") && index(" " suites " ", " bookworm ") &&
              index(" " comps " ", " main ")) { split(uris, u, " "); print u[1], key; found = 1 }
          types = suites = comps = uris = key = ""
        }
        /^[ \t]*$/ { stanza(); next }
        /^Types:/ { types = value() }
        /^Suites:/ { suites = value() }
        /^Components:/ { comps = value() }
        /^URIs:/ { uris = value() }
        /^Signed-By:/ { key = value() }
        END { stanza() }' "$f") || true
      if [[ -n $uri ]]; then break; fi
    done
  fi
  [[ -n $uri ]] || { echo "build-qt.sh: no 'deb' entry for bookworm main found" >&2; exit 1; }
  log "adding a deb-src entry for bookworm main beside the system's deb entry"
  {
    echo "Types: deb-src"
    echo "URIs: $uri"
    echo "Suites: bookworm"
    echo "Components: main"
    if [[ -n $keyring ]]; then echo "Signed-By: $keyring"; fi
  } >"$src_list"
  apt-get update -qq
fi

# The source, fetched and unpacked (with Debian's patches applied) once; a failed build keeps it.
mkdir -p "$work"
if [[ ! -f $work/source.done ]]; then
  log "fetching Debian's qt6-base source"
  rm -rf "$work/src"
  mkdir -p "$work/src"
  (cd "$work/src" && apt-get source -qq qt6-base/bookworm)
  touch "$work/source.done"
fi
if ((fetch_only)); then
  log "source ready in $work/src"
  exit 0
fi
srcdir=$(find "$work/src" -mindepth 1 -maxdepth 1 -type d -name "qt6-base-$qt_version*" | head -n1)
[[ -n $srcdir && -f $srcdir/CMakeLists.txt ]] ||
  { echo "build-qt.sh: no qt6-base $qt_version source in $work/src" >&2; exit 1; }

# A stale or partial install goes first, so that nothing of it can be picked up by the build.
rm -rf "$prefix"
mkdir -p "$prefix"
touch "$building"

log "configuring $srcdir for Windows"
cmake -S "$srcdir" -B "$work/build" \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$prefix" "${options[@]}"

log "building with $jobs jobs"
cmake --build "$work/build" --parallel "$jobs"

log "installing into $prefix"
cmake --install "$work/build" --strip

for f in lib/cmake/Qt6/Qt6Config.cmake bin/Qt6Core.dll bin/Qt6Gui.dll bin/Qt6Widgets.dll \
         bin/Qt6Network.dll bin/Qt6Test.dll plugins/platforms/qwindows.dll \
         plugins/platforms/qoffscreen.dll; do
  [[ -f $prefix/$f ]] || { echo "build-qt.sh: the install lacks $f" >&2; exit 1; }
done

# Last, and only on success: the stamp marks the folder complete.
rm -f "$building"
printf '%s\n' "$wanted" >"$stamp"
rm -rf "$work"
log "done in $(((SECONDS - start) / 60)) min; $(du -sh "$prefix" | cut -f1) in $prefix"
