#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs a benchmark program in a PID namespace of its own, with its own /proc
# holding N quiet processes (default 300), so that no process starts or ends
# elsewhere while it measures.   bench/run_in_quiet_proc.sh [N] program [args...]
set -euo pipefail
count=300
if [[ "${1:-}" =~ ^[0-9]+$ ]]; then count="$1"; shift; fi
exec unshare --pid --net --fork --mount-proc bash -c '
  count=$1; shift
  for ((i = 1; i < count - 1; i++)); do sleep 100000 & done
  "$@"
  kill $(jobs -p) 2>/dev/null || true
' bash "$count" "$@"
