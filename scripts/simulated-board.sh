# shellcheck shell=bash
# Sourced (not run) by the scripts that start the programs beside a simulated board: installs
# what is missing and builds the targets that the sourcing script names in build_targets
# (everything when it names none), then offers start_board. The simulated board stops, and
# on_exit (which the sourcing script may define again) runs, when that script ends.
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh"
target_options=()
# shellcheck disable=SC2154  # set by the sourcing script, if at all
for t in ${build_targets[@]+"${build_targets[@]}"}; do target_options+=(--target "$t"); done
"$root/scripts/build.sh" "$root/build" "${target_options[@]}"
sim_pid=""
on_exit() { :; }
trap '[[ -n "$sim_pid" ]] && kill "$sim_pid" 2>/dev/null; wait 2>/dev/null; on_exit' EXIT

# start_board N [OPTION...]: a simulated board on COMn; returns once its link is in the port
# map of the data folder ($TRV_DATA_HOME, else $XDG_DATA_HOME).
start_board() {
  local port="$1"
  shift
  "$root/build/sim/trv-board-sim" --port "$port" "$@" &
  sim_pid=$!
  local link="${TRV_DATA_HOME:-${XDG_DATA_HOME:-$HOME/.local/share}}/trv-compteur/ports/com$port"
  for _ in $(seq 50); do [[ -e "$link" ]] && return; sleep 0.1; done
}
