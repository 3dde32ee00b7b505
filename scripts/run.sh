#!/usr/bin/env bash
# Installs what is missing, builds, starts a simulated board on COM3 unless something is
# already linked there, then starts the tool. The simulated board stops with the tool.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$root/build"
sim_pid=""
data="${XDG_DATA_HOME:-$HOME/.local/share}"
# Any existing com3 is the user's, a dangling link (adapter unplugged) included.
com3="$data/trv-compteur/ports/com3"
if [[ "$(uname)" != MINGW* && ! -e "$com3" && ! -L "$com3" ]]; then
  "$root/build/sim/trv-board-sim" --port 3 &
  sim_pid=$!
  trap '[[ -n "$sim_pid" ]] && kill "$sim_pid" 2>/dev/null; wait 2>/dev/null' EXIT
  sleep 1
fi
"$root/build/src/app/trv-compteur"
