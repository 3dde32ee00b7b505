#!/usr/bin/env bash
# Installs what is missing, builds the tool and the simulated board (not the tests), starts a
# simulated board on COM3 unless something is already linked there, then starts the tool.
# The simulated board stops with the tool.
set -euo pipefail
build_targets=(trv_run)
# shellcheck source=scripts/simulated-board.sh
source "$(dirname "$0")/simulated-board.sh"
# Any existing com3 is the user's, a dangling link (adapter unplugged) included, except a
# link to a pseudo-terminal that is gone, which the simulator takes over.
com3="${TRV_DATA_HOME:-${XDG_DATA_HOME:-$HOME/.local/share}}/trv-compteur/ports/com3"
if [[ "$(uname)" != MINGW* && ! -e "$com3" &&
      ( ! -L "$com3" || "$(readlink "$com3")" == /dev/pts/* ) ]]; then
  start_board 3
fi
"$root/build/src/gui/trv-compteur"
