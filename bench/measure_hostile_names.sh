#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Pelmora beside processes with hostile command lines. Pelmora runs under
# Xvfb as uid 65534 (nobody) in the host's PID namespace, at its starting
# interval of 1 s, beside COUNT sleeping processes of another user (uid
# 65533) whose argv[0] is an absolute path-like string of LENGTH bytes, and
# one more such process every 0.5 s (each living 10 s), so that the list is
# rebuilt again and again. Another user's executable link cannot be read,
# so Pelmora shows argv[0] as their path. Prints, for each length, the CPU
# Pelmora used over the span (% of one core, schedstat), its resident memory
# at the end and at its peak (VmHWM). One run each of 20 bytes, 4 095 bytes
# and 131 071 bytes (128 KiB, the kernel's limit for one argument).
#
#   bench/measure_hostile_names.sh [SPAN] [COUNT]
# SPAN defaults to 30 s after a warm-up of 10 s, COUNT to 300. Runs as root;
# installs what it needs (scripts/setup.sh --bench). The program comes from
# build/, or from the folder in $BUILD, which nobody must be able to read.
set -euo pipefail
# Numbers are read and printed, and window names matched, in one locale
# whatever the caller's.
export LC_ALL=C.UTF-8
cd "$(dirname "$0")/.."

span="${1:-30}"
count="${2:-300}"
if ! [[ "$span" =~ ^[0-9]+$ && "$count" =~ ^[0-9]+$ ]]; then
  echo "usage: bench/measure_hostile_names.sh [SPAN] [COUNT]" >&2
  exit 2
fi
if [[ $(id -u) -ne 0 ]]; then
  echo "measure_hostile_names: runs as root (it runs processes as other users)" >&2
  exit 1
fi
program="${BUILD:-build}/src/app/qt/pelmora"
bash scripts/setup.sh --bench
[[ -x "$program" ]] || { echo "measure_hostile_names: $program is missing; build it first" >&2; exit 1; }
program=$(realpath "$program")
as_nobody=(setpriv --reuid=65534 --regid=65534 --clear-groups)
as_other=(setpriv --reuid=65533 --regid=65533 --clear-groups)
if ! "${as_nobody[@]}" test -x "$program"; then
  echo "measure_hostile_names: nobody cannot run $program (its folders must be open to all)" >&2
  exit 1
fi

tmp=$(mktemp -d)
xvfb=""
churn=""
started=()
# shellcheck disable=SC2317  # called by the trap
cleanup_processes() {
  if [[ -n "$churn" ]]; then
    # The starter ends the processes it started.
    kill -TERM "$churn" 2>/dev/null || true
    wait "$churn" 2>/dev/null || true
    churn=""
  fi
  if ((${#started[@]})); then
    kill -KILL "${started[@]}" 2>/dev/null || true
    wait "${started[@]}" 2>/dev/null || true
    started=()
  fi
}
# shellcheck disable=SC2317  # called by the trap
cleanup() {
  cleanup_processes
  if [[ -n "$xvfb" ]]; then
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
    xvfb=""
  fi
  rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

chmod 755 "$tmp"
mkdir -m 700 "$tmp/run-nobody" "$tmp/home-nobody"
chown 65534:65534 "$tmp/run-nobody" "$tmp/home-nobody"
mkfifo "$tmp/pause"
exec 9<>"$tmp/pause"
pause() { read -r -t "$1" -u 9 || true; }

for n in 1 2 3 4 5; do
  n=$((200 + RANDOM % 700))
  [[ -e "/tmp/.X$n-lock" || -e "/tmp/.X11-unix/X$n" ]] && continue
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >>"$tmp/xvfb.log" 2>&1 &
  xvfb=$!
  for _ in $(seq 50); do
    [[ -S "/tmp/.X11-unix/X$n" ]] && break
    sleep 0.1
  done
  [[ -S "/tmp/.X11-unix/X$n" ]] && { display=":$n"; break; }
done
[[ -n "${display:-}" ]] || { echo "measure_hostile_names: Xvfb did not start" >&2; exit 1; }

# name LENGTH: an absolute path-like string of LENGTH bytes.
name() {
  local s="/hostile" part
  printf -v part '%*s' 64 ''
  part="/${part// /x}"
  while ((${#s} < $1)); do s+=$part; done
  printf '%s' "${s:0:$1}"
}
# cpu PID NAME sets NAME to the nanoseconds PID's threads were on CPU.
cpu() {
  local ns=0 run rest task
  for task in /proc/"$1"/task/*/schedstat; do
    if { read -r run rest <"$task"; } 2>/dev/null; then ns=$((ns + run)); fi
  done
  printf -v "$2" '%s' "$ns"
}
# status PID KEY: a field of /proc/PID/status in kB.
status() {
  local key value
  while read -r key value _; do
    if [[ $key == "$2:" ]]; then
      echo "$value"
      return
    fi
  done <"/proc/$1/status"
  echo 0
}

printf '%8s %6s | %7s %9s %9s\n' "argv[0]" "procs" "Pelmora" "RSS" "peak RSS"
printf '%8s %6s | %7s %9s %9s\n' "bytes" "" "% CPU" "MB" "MB"
for length in 20 4095 131071; do
  argv0=$(name "$length")
  # shellcheck disable=SC2016  # $1 is the inner shell's
  for ((i = 0; i < count; i++)); do
    "${as_other[@]}" bash -c 'exec -a "$1" sleep 100000' _ "$argv0" &
    started+=($!)
  done
  (
    trap 'kill -KILL $(jobs -p) 2>/dev/null; exit 0' TERM INT
    while :; do
      # shellcheck disable=SC2016  # $1 is the inner shell's
      "${as_other[@]}" bash -c 'exec -a "$1" sleep 10' _ "$argv0" &
      pause 0.5
    done
  ) &
  churn=$!

  unshare --net "${as_nobody[@]}" env -i HOME="$tmp/home-nobody" \
    XDG_RUNTIME_DIR="$tmp/run-nobody" DISPLAY="$display" "$program" >/dev/null 2>&1 &
  pelmora=$!
  started+=("$pelmora")
  pause 10
  t0=$EPOCHREALTIME
  p0=0 p1=0
  cpu "$pelmora" p0
  pause "$span"
  cpu "$pelmora" p1
  t1=$EPOCHREALTIME
  if ! kill -0 "$pelmora" 2>/dev/null; then
    echo "measure_hostile_names: Pelmora ended during the span" >&2
    exit 1
  fi
  procs=(/proc/[0-9]*)
  awk -v l="$length" -v n="${#procs[@]}" -v t0="$t0" -v t1="$t1" -v p0="$p0" -v p1="$p1" \
    -v rss="$(status "$pelmora" VmRSS)" -v hwm="$(status "$pelmora" VmHWM)" \
    'BEGIN { printf "%8d %6d | %7.2f %9.1f %9.1f\n", l, n, (p1 - p0) / 1e7 / (t1 - t0),
      rss / 1024, hwm / 1024 }'
  # This length's processes end before the next length's start.
  cleanup_processes
done
