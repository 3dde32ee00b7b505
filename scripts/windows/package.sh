#!/usr/bin/env bash
# Cross-builds trv-compteur.exe and trvctl.exe for 64-bit Windows and makes of them, with every
# DLL they load, Qt's French texts, the manual and the icon:
#   build-windows/trv-compteur-<version>-setup.exe    the installer (NSIS, in French)
#   build-windows/trv-compteur-<version>-windows.zip  the same folder, to run without installing
# and prints both paths (only they go to standard output).
#
# Usage: scripts/windows/package.sh [BUILD_DIR]   (default: build-windows/package)
# Needs Qt for Windows (scripts/windows/build-qt.sh, once per machine), mingw-w64, nsis,
# icoutils, zip and Debian's qt6-translations-l10n.
# Environment: TRV_QT_WINDOWS (that Qt's folder), TRV_JOBS (parallel compile jobs, default 2).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
qt=${TRV_QT_WINDOWS:-/var/cache/trv-compteur/qt-6.4.2-mingw}
out=$root/build-windows
build=${1:-$out/package}
jobs=${TRV_JOBS:-2}
mingw_gcc=/usr/lib/gcc/x86_64-w64-mingw32/12-posix
mingw_lib=/usr/x86_64-w64-mingw32/lib
qt_french=/usr/share/qt6/translations/qtbase_fr.qm
triplet=x86_64-w64-mingw32

log() { printf '[windows-package %(%H:%M:%S)T] %s\n' -1 "$*" >&2; }
fail() { echo "windows/package.sh: $*" >&2; exit 1; }

[[ -f $qt/.trv-qt-build ]] || fail "no Qt for Windows in $qt: run scripts/windows/build-qt.sh first"
for tool in $triplet-g++-posix:mingw-w64 $triplet-objdump:mingw-w64 $triplet-strip:mingw-w64 \
  makensis:nsis icotool:icoutils zip:zip; do
  command -v "${tool%%:*}" >/dev/null || fail "${tool%%:*} is missing (apt-get install ${tool#*:})"
done
[[ -f $qt_french ]] || fail "$qt_french is missing (apt-get install qt6-translations-l10n)"

version=$(sed -n 's/^project(trv-compteur VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "no project version in CMakeLists.txt"
name=trv-compteur-$version

# Everything in one folder, as Windows programs are: the programs and their DLLs at the top,
# the manual in doc/, where "Aide" looks from the program's folder.
log "cross-building trv-compteur.exe and trvctl.exe into $build"
# ccache, where there is one, makes a re-build after a small change cheap.
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DCMAKE_PREFIX_PATH="$qt" \
  -DTRV_BUILD_TESTS=OFF -DCMAKE_INSTALL_BINDIR=. -DCMAKE_INSTALL_DOCDIR=doc "${launcher[@]}" \
  >/dev/null
cmake --build "$build" -j"$jobs" --target trv-compteur trvctl >&2

stage=$out/$name
log "gathering the programs and what they load into $stage"
rm -rf "$stage"
mkdir -p "$stage/platforms" "$stage/translations" "$stage/doc"
cp "$build/src/gui/trv-compteur.exe" "$build/cli/trvctl.exe" "$stage/"
cp "$qt/plugins/platforms/qwindows.dll" "$stage/platforms/"
# The native look of the widgets, when this Qt was built with it.
if [[ -f $qt/plugins/styles/qwindowsvistastyle.dll ]]; then
  mkdir -p "$stage/styles"
  cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"
fi

# The DLLs every program and plugin names in its import table, and theirs in turn; those found
# in none of these folders are the system's own.
dll_folders=("$qt/bin" "$mingw_gcc" "$mingw_lib")
pending=("$stage"/*.exe "$stage"/*/*.dll)
while ((${#pending[@]})); do
  file=${pending[0]}
  pending=("${pending[@]:1}")
  while read -r dll; do
    [[ -e $stage/$dll ]] && continue
    for folder in "${dll_folders[@]}"; do
      if [[ -f $folder/$dll ]]; then
        cp "$folder/$dll" "$stage/"
        pending+=("$stage/$dll")
        break
      fi
    done
  done < <($triplet-objdump -p "$file" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr -d '\r')
done
for needed in Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll libstdc++-6.dll libgcc_s_seh-1.dll \
  libwinpthread-1.dll; do
  [[ -f $stage/$needed ]] || fail "$needed was not found among the DLLs the programs load"
done
# Unstripped, the runtime's DLLs are most of the package (libstdc++-6.dll alone is 24 MB).
find "$stage" \( -name '*.exe' -o -name '*.dll' \) -exec "$triplet-strip" {} +

# Qt finds its plugins and its French texts through qt.conf, relative to the program's folder.
printf '[Paths]\r\nPrefix=.\r\nPlugins=.\r\nTranslations=translations\r\n' >"$stage/qt.conf"
cp "$qt_french" "$stage/translations/"
cp -r "$root/docs/manuel" "$stage/doc/"
icotool -c -o "$stage/trv-compteur.ico" "$root/packaging/icons/trv-compteur-48.png" \
  --raw="$root/packaging/icons/trv-compteur-256.png"

zip_file=$out/$name-windows.zip
log "making $zip_file"
rm -f "$zip_file"
(cd "$out" && zip -q -r -X "$zip_file" "$name")

# What the uninstaller removes: the files installed and no other (the folder may hold the
# site's own help document), then the folders once empty.
files_nsh=$build/installed-files.nsh
# $INSTDIR is NSIS's, not the shell's.
# shellcheck disable=SC2016
{
  (cd "$stage" && find . -type f | sort) | sed 's|^\./||; s|/|\\|g; s|.*|Delete "$INSTDIR\\&"|'
  (cd "$stage" && find . -mindepth 1 -type d | sort -r) | sed 's|^\./||; s|/|\\|g; s|.*|RMDir "$INSTDIR\\&"|'
} >"$files_nsh"

setup=$out/$name-setup.exe
log "making $setup"
rm -f "$setup"
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$setup" \
  -DFILES_NSH="$files_nsh" "$here/trv-compteur.nsi" >&2
log "installer: $(du -h "$setup" | cut -f1), zip: $(du -h "$zip_file" | cut -f1)"
echo "$setup"
echo "$zip_file"
