#!/usr/bin/env bash
# Checks a built Debian package as a user's machine would meet it: its contents and
# dependencies, the desktop entry and metainfo as installed, the man pages, the manual's
# images, and that the unpacked programs start and stop cleanly.
set -euo pipefail
deb="$1"
root="$(cd "$(dirname "$0")/../.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "check_package: $*" >&2; exit 1; }

id=fr.trv.compteur
programs=(trv-compteur trv-board-sim)
[[ -f "$root/cli/CMakeLists.txt" ]] && programs+=(trvctl)
expected=(usr/share/applications/$id.desktop usr/share/metainfo/$id.metainfo.xml
          usr/share/icons/hicolor/scalable/apps/trv-compteur.svg
          usr/share/icons/hicolor/48x48/apps/trv-compteur.png
          usr/share/icons/hicolor/256x256/apps/trv-compteur.png
          usr/share/doc/trv-compteur/manuel/index.html
          usr/share/doc/trv-compteur/copyright usr/share/doc/trv-compteur/changelog.gz)
for p in "${programs[@]}"; do expected+=(usr/bin/$p usr/share/man/man1/$p.1.gz); done
dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./||' >"$work/contents"
for f in "${expected[@]}"; do grep -qx "$f" "$work/contents" || fail "$f missing from the package"; done

depends="$(dpkg-deb -f "$deb" Depends)"
for d in qt6-translations-l10n fonts-comic-neue libqt6widgets6 libqt6serialport6; do
  [[ "$depends" == *"$d"* ]] || fail "Depends lacks $d: $depends"
done

dpkg-deb -x "$deb" "$work/root"
r="$work/root"
desktop-file-validate "$r/usr/share/applications/$id.desktop"
appstreamcli validate --no-net "$r/usr/share/metainfo/$id.metainfo.xml" >/dev/null
grep -qx 'Terminal=false' "$r/usr/share/applications/$id.desktop" || fail "Terminal is not false"
for p in "${programs[@]}"; do
  out="$(zcat "$r/usr/share/man/man1/$p.1.gz" | preconv | groff -man -Tutf8 -ww -z 2>&1)"
  [[ -z "$out" ]] || fail "man page of $p: $out"
done
# The copyright file is in the machine-readable format; the changelog is Debian's, gzip -9n
# (no name, no time stamp: the same bytes on every build), and names the package's version.
doc="$r/usr/share/doc/trv-compteur"
head -n1 "$doc/copyright" |
  grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
  fail "copyright is not in the machine-readable format"
[[ "$(od -An -tx1 -j3 -N5 "$doc/changelog.gz" | tr -d ' \n')" == 0000000000 ]] ||
  fail "changelog.gz keeps a name or a time stamp (gzip -n)"
version="$(dpkg-deb -f "$deb" Version)"
zcat "$doc/changelog.gz" | head -n1 | grep -q "^trv-compteur ($version) " ||
  fail "changelog does not start with version $version"
# Debian's own checks: an error fails, warnings are shown.
status=0
out="$(lintian --fail-on error "$deb" 2>&1)" || status=$?
out="$(grep -v 'running with root privileges' <<<"$out" || true)"
[[ -z "$out" ]] || echo "$out" >&2
[[ $status -eq 0 ]] || fail "lintian reports errors on $(basename "$deb")"
# Every image the manual shows is in the package.
manual="$r/usr/share/doc/trv-compteur/manuel"
for img in $(grep -oh 'src="[^"]*"' "$manual"/*.html | sed 's/src="\(.*\)"/\1/'); do
  [[ -f "$manual/$img" ]] || fail "the manual shows $img, which the package lacks"
done

export HOME="$work/home" XDG_DATA_HOME="$work/home/data" XDG_CONFIG_HOME="$work/home/config"
mkdir -p "$HOME"
help="$("$r/usr/bin/trv-board-sim" --help)"
[[ "$help" == *"Affiche"* ]] || fail "trv-board-sim --help is not in French: $help"

# The tool runs until asked to stop, then quits through its own event loop: exit status 0,
# where an unhandled SIGTERM would give 143.
QT_QPA_PLATFORM=offscreen "$r/usr/bin/trv-compteur" 2>"$work/stderr" &
pid=$!
# Ready once it catches SIGTERM (bit 15 of the caught-signals mask); a loaded machine may
# take a while to get there.
for _ in $(seq 200); do
  kill -0 "$pid" 2>/dev/null || { cat "$work/stderr" >&2; fail "trv-compteur stopped on its own"; }
  caught="$(awk '/^SigCgt:/ {print $2}' "/proc/$pid/status")"
  (( (16#$caught >> 14) & 1 )) && break
  sleep 0.1
done
sleep 1
kill -0 "$pid" 2>/dev/null || { cat "$work/stderr" >&2; fail "trv-compteur stopped on its own"; }
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
[[ $status -eq 0 ]] || { cat "$work/stderr" >&2; fail "trv-compteur ended with status $status"; }
echo "check_package: $(basename "$deb") passes"
