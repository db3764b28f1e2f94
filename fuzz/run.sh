#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the fuzz targets with clang and runs each for the given number of
# seconds (default 60), one after the other. New inputs go to a working
# corpus in the build folder, seeded from fuzz/corpus/<target>; the
# committed seeds stay as they are. Exits non-zero on the first finding and
# leaves the input that caused it in build-fuzz/findings/.
#   bash fuzz/run.sh [seconds-per-target] [target ...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
dir=build-fuzz
# The release's own clang, whichever version it is.
cxx="${CXX_FUZZ:-clang++}"
if ! command -v "$cxx" >/dev/null; then
  echo "pelmora: $cxx is missing; bash scripts/setup.sh --test installs it" >&2
  exit 1
fi
if [[ ! -f "$dir/build.ninja" ]]; then
  CXX="$cxx" cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPELMORA_FUZZ=ON -DPELMORA_TESTS=OFF -DPELMORA_BENCH=OFF >/dev/null
fi
cmake --build "$dir" --target fuzz_all -j2

targets=("$@")
if ((${#targets[@]} == 0)); then
  for seeds in fuzz/corpus/*/; do targets+=("$(basename "$seeds")"); done
fi
mkdir -p "$dir/findings"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export ASAN_OPTIONS="detect_leaks=1"
printf '%-22s %14s %10s %8s\n' target executions "exec/s" corpus
for target in "${targets[@]}"; do
  work="$dir/corpus/$target"
  mkdir -p "$work"
  log="$dir/$target.log"
  if ! "$dir/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -max_len=4096 -print_final_stats=1 -artifact_prefix="$dir/findings/$target-" \
      "$work" "fuzz/corpus/$target" >"$log" 2>&1; then
    echo "pelmora: $target found a fault; see $log and $dir/findings/" >&2
    tail -n 40 "$log" >&2
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  size=$(find "$work" -type f | wc -l)
  printf '%-22s %14s %10s %8s\n' "$target" "$runs" "$rate" "$size"
done
