#!/usr/bin/env bash
# Remakes the user manual's pictures (docs/manuel/images) from the program, against a
# simulated board linked as COM3 in a private data folder, on a virtual X display with the
# fonts that scripts/install-deps.sh installs.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$root/build"
work="$(mktemp -d)"
sim_pid=""
trap '[[ -n "$sim_pid" ]] && kill "$sim_pid" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
export XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config"
"$root/build/sim/trv-board-sim" --port 3 --image "$work/eeprom.bin" >/dev/null &
sim_pid=$!
for _ in $(seq 50); do [[ -e "$XDG_DATA_HOME/trv-compteur/ports/com3" ]] && break; sleep 0.1; done
xvfb-run -a -s "-screen 0 1280x800x24" "$root/build/docs/trv-screenshots" "$root/docs/manuel/images"
