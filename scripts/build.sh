#!/usr/bin/env bash
# Configures and builds into the folder given (default: build), extra CMake options after it.
# Among them, `--target NAME` (repeatable) builds only NAME and what it needs instead of
# everything: the tool starts, or the package is made, without waiting for the tests.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="${1:-$root/build}"
shift || true
options=()
targets=()
while (($#)); do
  if [[ "$1" == --target ]]; then
    targets+=(--target "$2")
    shift 2
  else
    options+=("$1")
    shift
  fi
done
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${options[@]}" >/dev/null
cmake --build "$dir" -j"$(nproc)" "${targets[@]}"
