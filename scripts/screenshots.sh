#!/usr/bin/env bash
# Remakes the user manual's pictures (docs/manuel/images) and the README's (docs) from the
# program, against a simulated board linked as COM3 in a private data folder, on a virtual X
# display with the fonts that scripts/install-deps.sh installs.
set -euo pipefail
build_targets=(trv-screenshots trv-board-sim)
# shellcheck source=scripts/simulated-board.sh
source "$(dirname "$0")/simulated-board.sh"
work="$(mktemp -d)"
on_exit() { rm -rf "$work"; }
export XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config"
export TRV_DATA_HOME="$work/data" TRV_CONFIG_HOME="$work/config"
start_board 3 --image "$work/eeprom.bin" >/dev/null
xvfb-run -a -s "-screen 0 1280x800x24" "$root/build/docs/trv-screenshots" "$root/docs/manuel/images" \
  "$root/docs"
