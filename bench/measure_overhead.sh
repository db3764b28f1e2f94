#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Measures the whole program: its CPU use (utime + stime of /proc/PID/stat)
# over a span at the 1 s and the 0.2 s interval, and its resident memory,
# running under Xvfb as a user would run it.
#   bench/measure_overhead.sh [seconds] [program]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
program="${2:-build/src/app/pelmora}"
display=":$((90 + RANDOM % 100))"

Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$pid" "$xvfb" 2>/dev/null || true' EXIT
sleep 1

# Its own network namespace (when root) keeps it apart from an instance that
# may already run on this machine: the single-instance check uses an
# abstract socket, which belongs to the network namespace.
isolate=()
if [[ $(id -u) -eq 0 ]] && command -v unshare >/dev/null; then isolate=(unshare --net); fi
DISPLAY="$display" "${isolate[@]}" "$program" 2>/dev/null &
pid=$!
sleep 3
hz=$(getconf CLK_TCK)

cpu_ticks() { awk '{ sub(/.*\) /, ""); print $12 + $13 }' "/proc/$pid/stat"; }
rss_kb() { awk '/^VmRSS/ { print $2 }' "/proc/$pid/status"; }

measure() {
  local label="$1" start end
  start=$(cpu_ticks)
  sleep "$seconds"
  end=$(cpu_ticks)
  awk -v l="$label" -v t="$((end - start))" -v hz="$hz" -v s="$seconds" -v rss="$(rss_kb)" \
    'BEGIN { printf "%-12s CPU %.3f %% of one core over %d s; resident %.1f MB\n", l, 100 * t / hz / s, s, rss / 1024 }'
}

echo "processes running: $(ls -d /proc/[0-9]* | wc -l)"
measure "interval 1 s"

# Four clicks on the scroll bar's left arrow: 1.0 s -> 0.2 s.
window=$(DISPLAY="$display" xdotool search --sync --name "^Pelmora Ver" | head -1)
for _ in 1 2 3 4; do
  DISPLAY="$display" xdotool mousemove --window "$window" 339 240 click 1
  sleep 0.3
done
sleep 2
shown=$(DISPLAY="$display" xdotool getwindowname "$window")
echo "after the clicks the window reads: $shown"
measure "interval 0.2 s"
