#!/usr/bin/env bash
# The board layer stays below the windows: no file under src/board includes a gui header or a
# widget/GUI header, and trvctl, built from the board layer alone, links no GUI library.
# Takes the build folder that holds trvctl.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
gui_dirs=$(cd "$root/src/gui" && find . -mindepth 1 -maxdepth 1 -type d -printf '%f|' | sed 's/|$//')
if grep -rnE "#include +[\"<](gui/|($gui_dirs)/|QtWidgets|QtGui|Q(Widget|MainWindow|MessageBox|FileDialog|Color|Font|Painter|Pixmap|GuiApplication|Application|Dialog)\b)" \
     "$root/src/board"; then
  echo "check-layers: src/board reaches up into the windows" >&2
  exit 1
fi
if ldd "$build/cli/trvctl" | grep -E 'libQt6(Widgets|Gui)'; then
  echo "check-layers: trvctl links a GUI library" >&2
  exit 1
fi
echo "check-layers: src/board includes nothing of src/gui; trvctl links no GUI library"
