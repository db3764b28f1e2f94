#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Starts the built program the way a user would, in three kinds of trouble:
#   1. no display: one line on stderr and a non-zero exit;
#   2. another instance running: "すでに起動しています。" is shown, and after
#      OK the second instance ends while the first runs on;
#   3. the first instance killed with SIGKILL: the next one starts normally.
# Cases 2 and 3 run under Xvfb and answer the message box with xdotool.
# The program runs in the POSIX locale throughout: its texts are UTF-8
# whatever the locale, so the message's Japanese title must show there too.
#   bash startup_trouble.sh path/to/pelmora
set -uo pipefail
# The script's own tools match Japanese window names only in a UTF-8 locale.
export LC_ALL=C.UTF-8
# The command prefix that runs a program with no locale set at all (LANG
# and every LC_* unset); a simple command, so that $! is the program's PID.
posix=(env -u LC_ALL -u LANG -u LANGUAGE)
for var in $(compgen -e); do [[ $var == LC_* ]] && posix+=(-u "$var"); done
program="$1"
name="@pelmora-$(id -u)"
children=()
xvfb=""
scratch=$(mktemp -d)

cleanup() {
  for pid in "${children[@]}" $xvfb; do
    kill -9 "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  done
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
# Polls a command for up to five seconds (ten for a window to appear).
poll() {
  local tries=$1
  shift
  for ((i = 0; i < tries; ++i)); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}
holds_name() { grep -q " ${name}\$" /proc/net/unix; }
alive() { kill -0 "$1" 2>/dev/null && [[ $(awk '{print $3}' "/proc/$1/stat" 2>/dev/null) != Z ]]; }
window_named() { xdotool search --name "$1" >/dev/null 2>&1; }

if holds_name; then
  echo "SKIP: a Pelmora of this user is running already"
  exit 77
fi

# 1. No display.
"${posix[@]}" -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 20 "$program" \
  >"$scratch/out" 2>"$scratch/err"
status=$?
[[ $status -ne 0 && $status -ne 124 ]] || fail "without a display the exit status is $status"
[[ $(wc -l <"$scratch/err") -eq 1 ]] || fail "without a display stderr holds: $(cat "$scratch/err")"
[[ ! -s "$scratch/out" ]] || fail "without a display stdout holds: $(cat "$scratch/out")"
echo "ok: no display -> exit $status, stderr: $(cat "$scratch/err")"

if ! command -v Xvfb >/dev/null || ! command -v xdotool >/dev/null; then
  echo "SKIP: Xvfb and xdotool are needed for the cases with a window"
  exit 77
fi
Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$scratch/display" 2>/dev/null &
xvfb=$!
poll 100 test -s "$scratch/display" || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$scratch/display")"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY

# 2. Another instance running.
"${posix[@]}" "$program" 2>"$scratch/first.err" &
first=$!
children+=("$first")
poll 100 holds_name || fail "the first instance did not claim the instance name"
poll 100 window_named "^Pelmora Ver" || fail "the first instance shows no window"
"${posix[@]}" "$program" 2>"$scratch/second.err" &
second=$!
children+=("$second")
poll 100 window_named "Pelmora 二重起動エラー" || fail "the second instance shows no message"
window=$(xdotool search --name "Pelmora 二重起動エラー" | head -n1)
title=$(xdotool getwindowname "$window")
[[ $title == "Pelmora 二重起動エラー" ]] || fail "the message's title reads: $title"
xdotool windowfocus --sync "$window" 2>/dev/null || true
xdotool key --window "$window" Return 2>/dev/null
if ! poll 50 bash -c "! kill -0 $second 2>/dev/null || [[ \$(awk '{print \$3}' /proc/$second/stat) == Z ]]"; then
  fail "the second instance did not end after OK"
fi
wait "$second"
status=$?
[[ $status -eq 0 ]] || fail "the second instance ended with $status"
alive "$first" || fail "the first instance ended too"
echo "ok: in the POSIX locale the second instance showed \"$title\" and ended; the first runs on"

# 3. The first instance killed: nothing of it blocks the next start.
kill -9 "$first"
wait "$first" 2>/dev/null
poll 50 bash -c "! grep -q ' ${name}\$' /proc/net/unix" || fail "the killed instance's name stays"
"${posix[@]}" "$program" 2>"$scratch/third.err" &
third=$!
children+=("$third")
poll 100 holds_name || fail "the instance after the killed one did not claim the name"
poll 100 window_named "^Pelmora Ver" || fail "the instance after the killed one shows no window"
window_named "Pelmora 二重起動エラー" && fail "the instance after the killed one took it for running"
alive "$third" || fail "the instance after the killed one ended"
echo "ok: after SIGKILL the next instance starts"
exit 0
