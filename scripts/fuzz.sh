#!/usr/bin/env bash
# Fuzzes every reader of outside data for SECONDS each (default 60): with libFuzzer under
# AddressSanitizer and UndefinedBehaviorSanitizer when clang++ is installed, with the seeded
# random loop otherwise (or when TRV_FUZZ_LOOP=1). One line per reader; fails on a crash, a
# sanitizer report or an input slower than 10 ms. Corpora grow in a scratch folder, never in
# the sources; crashing and slow inputs are kept in fuzz-findings/.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
slow_ms=10
findings="$root/fuzz-findings"
mkdir -p "$findings"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$root}"
targets=($(sed -n 's/^set(TRV_FUZZ_TARGETS \(.*\))$/\1/p' "$root/fuzz/CMakeLists.txt"))

# The seeded loop of the ordinary build, for a reader libFuzzer cannot drive here.
run_loop() {
  local t="$1"
  local build="$root/build"
  [[ -f "$build/CMakeCache.txt" ]] || "$root/scripts/build.sh" "$build" >/dev/null
  cmake --build "$build" -j"$(nproc)" --target "fuzz-$t-loop" >/dev/null
  "$build/fuzz/fuzz-$t-loop" --seconds "$seconds" --slow-ms "$slow_ms" \
    --corpus "$root/fuzz/corpus/$t" --artifacts "$findings"
}

status=0
if command -v clang++ >/dev/null && [[ "${TRV_FUZZ_LOOP:-0}" != 1 ]]; then
  build="$root/build-fuzz"
  launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DTRV_FUZZ=ON -DTRV_BUILD_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
  for t in "${targets[@]}"; do
    if ! cmake --build "$build" -j"$(nproc)" --target "fuzz-$t" >"$work/$t.build.log" 2>&1; then
      echo "$t: does not build with clang++ and libFuzzer (see below); seeded loop instead"
      grep -m3 'error' "$work/$t.build.log" || true
      run_loop "$t" || status=1
      continue
    fi
    corpus="$work/$t"
    mkdir -p "$corpus"
    cp "$root/fuzz/corpus/$t"/* "$corpus/"
    log="$work/$t.log"
    if ! ASAN_OPTIONS=detect_leaks=1 "$build/fuzz/fuzz-$t" "$corpus" -max_total_time="$seconds" \
        -timeout=1 -max_len=4096 -print_final_stats=1 -artifact_prefix="$findings/$t-" \
        >"$log" 2>&1; then
      echo "$t: libFuzzer stopped on a finding (log: $findings/$t.log)"
      cp "$log" "$findings/$t.log"
      status=1
      continue
    fi
    runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")"
    slowest="$(sed -n 's/^slowest input: //p' "$log")"
    echo "$t: libFuzzer, $runs inputs in $seconds s: 0 crashes, 0 sanitizer reports," \
      "0 over $slow_ms ms, slowest $slowest"
  done
else
  for t in "${targets[@]}"; do run_loop "$t" || status=1; done
fi
rmdir "$findings" 2>/dev/null || true
exit "$status"
