#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Measures the whole program against two yardsticks, side by side in one run:
# Pelmora under Xvfb, bare_tick (the reads of a tick and nothing else) and
# top, all at the same interval over the same span, in a PID namespace of
# their own with N quiet processes. Prints the CPU each used, as % of one
# core (time on CPU summed over /proc/PID/task/*/schedstat; utime + stime as
# a cross-check), the ratios, and Pelmora's resident memory. perf counts
# Pelmora's ticks and rebuilds of its list over the span: a busy machine may
# make it fall behind its interval, hence also the ratio of CPU per tick.
#
# In churn mode about ten short-lived processes a second start from seven
# executables in turn, as during a compile: the paths in PID order differ
# from one tick to the next, so every tick of Pelmora rebuilds its list, and
# bare_tick reads the stat of every process too. A second bare_tick, the
# floor, reads in churn mode all that a rebuild must: the stat and the
# descriptor count of every process besides its link. The starter's own CPU
# is not measured.
#
#   bench/measure_overhead.sh PROCESSES steady|churn INTERVAL [SPAN]
#   bench/measure_overhead.sh all [SPAN]
#   bench/measure_overhead.sh user steady|churn INTERVAL [SPAN] [RUNS]
# INTERVAL in seconds: 1, 0.8, 0.6, 0.4 or 0.2 (Pelmora starts at 1 s; each
# click on the scroll bar's left arrow takes 0.2 s off). SPAN defaults to
# 60 s, after a warm-up of a few seconds. "all" runs {380, 2000} processes x
# {steady, churn} x {1 s, 0.2 s}. Runs as root (namespaces); installs what
# it needs (Xvfb, xdotool, top, perf: scripts/setup.sh --bench). The
# programs come from build/, or from the folder in $BUILD.
#
# "user" measures as an ordinary user sees it: Pelmora and top both run as
# uid 65534 (nobody) in the host's own PID namespace, among the host's
# kernel threads and whatever else runs there, plus 150 quiet processes of
# root and 100 of nobody; churn starts ten short-lived processes of nobody a
# second from the seven executables. Pelmora keeps a network namespace of
# its own, so that its abstract single-instance name meets no other
# Pelmora of nobody, and a runtime directory of nobody's made for the run.
# RUNS runs (3 by default), each with Pelmora and top started afresh; the
# medians of their CPU use (% of one core, schedstat) and of Pelmora's
# resident memory. Other work on the host counts in the figures: run it on
# a quiet machine. The build folder must be readable by nobody.
#
# With BESIDE set to another build folder, that build's Pelmora runs beside
# in every run (in a network namespace of its own, so that the two do not
# take each other for a second instance), ticking at the same interval on
# the same processes: the ratio of the two (P/beside: below 1, this build is
# the lighter) and both resident memories, from one run.
set -euo pipefail
# Numbers are read and printed, and window names matched, in one locale
# whatever the caller's.
export LC_ALL=C.UTF-8

# set_interval DISPLAY PID CLICKS: waits for the window of the Pelmora PID
# and clicks its scroll bar's left arrow CLICKS times.
set_interval() {
  local window i
  window=$(DISPLAY="$1" timeout 30 xdotool search --sync --pid "$2" --name "^Pelmora Ver" |
    head -1) || true
  if [[ -z "$window" ]]; then
    echo "measure_overhead: the window of Pelmora ($2) did not appear on $1" >&2
    return 1
  fi
  read -r -t 1 -u 9 || true  # a window just mapped may not take clicks yet
  for ((i = 0; i < $3; i++)); do
    DISPLAY="$1" xdotool mousemove --window "$window" 339 240 click 1
    read -r -t 0.3 -u 9 || true
  done
}
# tick_gap PID INTERVAL NAME: the spacing of the Pelmora PID's ticks (each
# lists /proc from its start: one lseek), over 5 s, warning when it is not
# INTERVAL.
tick_gap() {
  local out seeks gap
  out=$(perf stat -x, -e syscalls:sys_enter_lseek -p "$1" -- sleep 5 2>&1 >/dev/null)
  seeks=$(awk -F, '$3 ~ /lseek/ { print $1 + 0 }' <<<"$out")
  gap=$(awk -v t="${seeks:-0}" 'BEGIN { printf "%.3f", (t > 0 ? 5 / t : 0) }')
  echo "  $3 ticks every ${gap} s (${seeks:-0} ticks in 5 s)"
  if awk -v g="$gap" -v s="$2" 'BEGIN { exit !(g < 0.8 * s || g > 1.25 * s) }'; then
    echo "  warning: $3 ticks every ${gap} s, not every $2 s" >&2
  fi
}
# resident PID: its VmRSS in kB.
resident() {
  local key value rss=0
  while read -r key value _; do
    if [[ $key == VmRSS: ]]; then rss=$value; fi
  done <"/proc/$1/status"
  echo "$rss"
}

# ---------------------------------------------------------------------------
# Inside the namespace: this script again, as its PID 1. When it ends, the
# kernel ends every process of the namespace.
inside() {
  local count=$1 mode=$2 interval=$3 span=$4 display=$5 program=$6 bare=$7 tmp=$8 beside=${9:-}
  local ms clicks
  ms=$(awk -v s="$interval" 'BEGIN { printf "%d", s * 1000 + 0.5 }')
  clicks=$(((1000 - ms) / 200))

  # A pause that starts no process: a read with a timeout on a FIFO that
  # nobody writes to.
  exec 9<>"$tmp/pause"
  pause() { read -r -t "$1" -u 9 || true; }

  # The quiet processes; this shell, Pelmora, bare_tick and top make up the
  # rest of the count.
  local i
  for ((i = 0; i < count - 4 - (${#beside} > 0); i++)); do sleep 100000 & done

  # Without a runtime directory the single-instance check uses only the
  # abstract name, which belongs to this network namespace: a Pelmora the
  # user runs elsewhere does not count.
  DISPLAY="$display" env -u XDG_RUNTIME_DIR "$program" >/dev/null 2>&1 &
  local pelmora=$! beside_pid=""
  set_interval "$display" "$pelmora" "$clicks" || return 1
  if [[ -n "$beside" ]]; then
    DISPLAY="$display" unshare --net env -u XDG_RUNTIME_DIR "$beside" >/dev/null 2>&1 &
    beside_pid=$!
    set_interval "$display" "$beside_pid" "$clicks" || return 1
  fi

  local stat_flag=()
  if [[ $mode == churn ]]; then stat_flag=(--stat); fi
  "$bare" "$ms" "${stat_flag[@]}" &
  local bare_pid=$!
  local floor_pid=$bare_pid
  if [[ $mode == churn ]]; then
    "$bare" "$ms" --stat --fds &
    floor_pid=$!
  fi
  HOME="$tmp" top -b -d "$interval" >/dev/null &
  local top_pid=$!

  # Pelmora's ticks and rebuilds of its list are counted by the kernel
  # (perf), which does not slow them down: each tick lists /proc from its
  # start (one lseek); each rebuild stats the fd directory of every process
  # (one newfstatat each, and one more for an executable not seen before).
  # perf_counts FILE PROCESSES sets ticks and rebuilt from what perf wrote
  # to FILE.
  local events=syscalls:sys_enter_lseek,syscalls:sys_enter_newfstatat ticks rebuilt
  perf_counts() {
    read -r ticks rebuilt < <(awk -F, -v n="$2" '
      $3 ~ /lseek/ { seeks = $1 + 0 }
      $3 ~ /newfstatat/ { stats = $1 + 0 }
      END { printf "%d %d\n", seeks, int(stats / n + 0.5) }' "$1")
  }

  # The interval, checked before the churn starts.
  pause 2
  local procs=(/proc/[0-9]*) gap
  perf stat -x, -e "$events" -p "$pelmora" -o "$tmp/perf" -- sleep 5
  perf_counts "$tmp/perf" "${#procs[@]}"
  gap=$(awk -v t="$ticks" 'BEGIN { printf "%.3f", (t > 0 ? 5 / t : 0) }')
  echo "  Pelmora ticks every ${gap} s (${ticks} ticks in 5 s)"
  if awk -v g="$gap" -v s="$interval" 'BEGIN { exit !(g < 0.8 * s || g > 1.25 * s) }'; then
    echo "  warning: Pelmora ticks every ${gap} s, not every ${interval} s" >&2
  fi
  [[ -z "$beside_pid" ]] || tick_gap "$beside_pid" "$interval" "the Pelmora beside"

  if [[ $mode == churn ]]; then
    (
      names=(cc1 as ld make sh-helper collect2 ar)
      lives=(0.3 0.9 0.5 0.7 0.4 0.8 0.6)
      for ((i = 0; ; i++)); do
        "$tmp/bin/${names[i % 7]}" "${lives[i % 7]}" &
        pause 0.1
      done
    ) &
  fi
  # perf for the span starts now, its events off until the span begins.
  exec 10<>"$tmp/perf-ack"
  perf stat -x, -e "$events" -p "$pelmora" -D -1 --control "fifo:$tmp/perf-ctl,$tmp/perf-ack" \
    -o "$tmp/perf-span" 2>/dev/null &
  local perf_pid=$!
  pause 5

  # The span, after the warm-up. Only shell builtins run from here to its
  # end, so that in the steady mode nothing starts in the namespace.
  # cpu PID NAME sets NAME to "nanoseconds-on-CPU utime+stime-ticks".
  cpu() {
    local ns=0 run rest task fields
    for task in /proc/"$1"/task/*/schedstat; do
      if { read -r run rest <"$task"; } 2>/dev/null; then ns=$((ns + run)); fi
    done
    read -r fields <"/proc/$1/stat"
    read -ra fields <<<"${fields##*) }"
    printf -v "$2" '%s %s' "$ns" "$((fields[11] + fields[12]))"
  }
  local pids=(/proc/[0-9]*) first_pid last_pid pid_max
  read -r pid_max </proc/sys/kernel/pid_max
  read -r _ _ _ _ first_pid </proc/loadavg
  echo enable >"$tmp/perf-ctl"
  read -r -t 5 -u 10 _ || true
  local t0=$EPOCHREALTIME p0 b0 o0 f0 s0="0 0"
  cpu "$pelmora" p0
  cpu "$bare_pid" b0
  cpu "$top_pid" o0
  cpu "$floor_pid" f0
  [[ -z "$beside_pid" ]] || cpu "$beside_pid" s0
  pause "$span"
  local p1 b1 o1 f1 s1="0 0"
  cpu "$pelmora" p1
  cpu "$bare_pid" b1
  cpu "$top_pid" o1
  cpu "$floor_pid" f1
  [[ -z "$beside_pid" ]] || cpu "$beside_pid" s1
  local t1=$EPOCHREALTIME
  kill -INT "$perf_pid"
  read -r _ _ _ _ last_pid </proc/loadavg
  local rss beside_rss=0
  rss=$(resident "$pelmora")
  [[ -z "$beside_pid" ]] || beside_rss=$(resident "$beside_pid")
  local started=$(((last_pid - first_pid + pid_max) % pid_max))
  kill -0 "$pelmora" "$bare_pid" "$top_pid" "$floor_pid" $beside_pid

  wait "$perf_pid" || true
  perf_counts "$tmp/perf-span" "${#pids[@]}"
  echo "$count $mode $interval ${#pids[@]} $started $gap $ticks $rebuilt $t0 $t1" \
    "$p0 $p1 $b0 $b1 $o0 $o1 $rss $f0 $f1 $s0 $s1 $beside_rss" >>"$tmp/rows"
}

if [[ "${1:-}" == --inside ]]; then
  shift
  inside "$@"
  exit
fi

# ---------------------------------------------------------------------------
# Outside: Xvfb, the copies of sleep the churn starts, one namespace per
# configuration, and the table.
cd "$(dirname "$0")/.."
usage() {
  echo "usage: bench/measure_overhead.sh PROCESSES steady|churn INTERVAL [SPAN]" >&2
  echo "       bench/measure_overhead.sh all [SPAN]" >&2
  echo "       bench/measure_overhead.sh user steady|churn INTERVAL [SPAN] [RUNS]" >&2
  exit 2
}
configs=()
user_mode=""
if [[ "${1:-}" == user ]]; then
  [[ $# -ge 3 && "$2" =~ ^(steady|churn)$ && "$3" =~ ^(1|1\.0|0\.[2468])$ ]] || usage
  user_mode=$2
  user_interval=$3
  span="${4:-60}"
  runs="${5:-3}"
  [[ "$runs" =~ ^[1-9][0-9]*$ ]] || usage
elif [[ "${1:-}" == all ]]; then
  span="${2:-60}"
  for count in 380 2000; do
    for mode in steady churn; do
      for interval in 1 0.2; do configs+=("$count $mode $interval"); done
    done
  done
elif [[ $# -ge 3 && "$1" =~ ^[0-9]+$ && "$2" =~ ^(steady|churn)$ &&
  "$3" =~ ^(1|1\.0|0\.[2468])$ ]]; then
  span="${4:-60}"
  configs+=("$1 $2 $3")
else
  usage
fi
[[ "$span" =~ ^[0-9]+$ ]] || usage
if [[ $(id -u) -ne 0 ]]; then
  echo "measure_overhead: runs as root (it makes PID and network namespaces)" >&2
  exit 1
fi
build="${BUILD:-build}"
program="$build/src/app/qt/pelmora"
bare="$build/bench/bare_tick"
beside=""
[[ -z "${BESIDE:-}" ]] || beside=$(realpath "$BESIDE/src/app/qt/pelmora")
bash scripts/setup.sh --bench
needed=("$program" "$bare" $beside)
if [[ -n "$user_mode" ]]; then needed=("$program" $beside); fi
for p in "${needed[@]}"; do
  [[ -x "$p" ]] || { echo "measure_overhead: $p is missing; build it first" >&2; exit 1; }
done
for tool in Xvfb xdotool top perf unshare setpriv; do
  command -v "$tool" >/dev/null || { echo "measure_overhead: $tool is missing" >&2; exit 1; }
done

tmp=$(mktemp -d)
xvfb=""
namespace=""
# Processes started outside a namespace (the user mode): ended by their IDs.
started=()
# shellcheck disable=SC2317  # called by the trap
cleanup() {
  if ((${#started[@]})); then
    kill -KILL "${started[@]}" 2>/dev/null || true
    wait "${started[@]}" 2>/dev/null || true
    started=()
  fi
  if [[ -n "$namespace" ]]; then
    # The namespace's PID 1 first: every process in it ends with it.
    local children=()
    { read -ra children <"/proc/$namespace/task/$namespace/children"; } 2>/dev/null || true
    if ((${#children[@]})); then kill -KILL "${children[@]}" 2>/dev/null || true; fi
    kill -KILL "$namespace" 2>/dev/null || true
    wait "$namespace" 2>/dev/null || true
    namespace=""
  fi
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

mkfifo "$tmp/pause" "$tmp/perf-ctl" "$tmp/perf-ack"
mkdir "$tmp/bin"
for name in cc1 as ld make sh-helper collect2 ar; do cp "$(command -v sleep)" "$tmp/bin/$name"; done

# Xvfb on a display number of its own, well away from the ones people
# choose; started again should it end between two configurations.
display=""
failed=0
start_xvfb() {
  local n
  for _ in 1 2 3 4 5; do
    n=$((200 + RANDOM % 700))
    [[ -e "/tmp/.X$n-lock" || -e "/tmp/.X11-unix/X$n" ]] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >>"$tmp/xvfb.log" 2>&1 &
    xvfb=$!
    for _ in $(seq 50); do
      [[ -S "/tmp/.X11-unix/X$n" ]] && { display=":$n"; return; }
      kill -0 "$xvfb" 2>/dev/null || break
      sleep 0.1
    done
  done
  echo "measure_overhead: Xvfb did not start" >&2
  exit 1
}
start_xvfb

# ---------------------------------------------------------------------------
# The user mode: everything in the host's PID namespace, ended by its ID.
if [[ -n "$user_mode" ]]; then
  as_nobody=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  program=$(realpath "$program")
  if ! "${as_nobody[@]}" test -x "$program"; then
    echo "measure_overhead: nobody cannot run $program (its folders must be open to all)" >&2
    exit 1
  fi
  chmod 755 "$tmp"
  chmod 755 "$tmp/bin"
  mkdir -m 700 "$tmp/run-nobody" "$tmp/run-beside" "$tmp/home-nobody"
  chown 65534:65534 "$tmp/run-nobody" "$tmp/run-beside" "$tmp/home-nobody"
  exec 9<>"$tmp/pause"
  pause() { read -r -t "$1" -u 9 || true; }
  # cpu PID NAME sets NAME to the nanoseconds PID's threads were on CPU.
  cpu() {
    local ns=0 run rest task
    for task in /proc/"$1"/task/*/schedstat; do
      if { read -r run rest <"$task"; } 2>/dev/null; then ns=$((ns + run)); fi
    done
    printf -v "$2" '%s' "$ns"
  }
  # forget PID...: drops ended processes from the list the cleanup kills.
  forget() {
    local keep=() p q
    for p in "${started[@]}"; do
      for q in "$@"; do [[ $p == "$q" ]] && continue 2; done
      keep+=("$p")
    done
    started=("${keep[@]}")
  }
  ms=$(awk -v s="$user_interval" 'BEGIN { printf "%d", s * 1000 + 0.5 }')
  clicks=$(((1000 - ms) / 200))

  # The quiet processes, for all the runs.
  for ((i = 0; i < 150; i++)); do
    sleep 100000 &
    started+=($!)
  done
  for ((i = 0; i < 100; i++)); do
    "${as_nobody[@]}" sleep 100000 &
    started+=($!)
  done

  procs=(/proc/[0-9]*)
  echo "user $user_mode, interval $user_interval s, span $span s, $runs runs," \
    "${#procs[@]} processes in /proc"
  for ((run = 1; run <= runs; run++)); do
    if ! kill -0 "$xvfb" 2>/dev/null || [[ ! -S "/tmp/.X11-unix/X${display#:}" ]]; then
      echo "  Xvfb on $display has ended; starting another" >&2
      start_xvfb
    fi
    unshare --net "${as_nobody[@]}" env -i HOME="$tmp/home-nobody" \
      XDG_RUNTIME_DIR="$tmp/run-nobody" DISPLAY="$display" "$program" >/dev/null 2>&1 &
    pelmora=$!
    started+=("$pelmora")
    set_interval "$display" "$pelmora" "$clicks" || exit 1
    beside_pid=""
    if [[ -n "$beside" ]]; then
      unshare --net "${as_nobody[@]}" env -i HOME="$tmp/home-nobody" \
        XDG_RUNTIME_DIR="$tmp/run-beside" DISPLAY="$display" "$beside" >/dev/null 2>&1 &
      beside_pid=$!
      started+=("$beside_pid")
      set_interval "$display" "$beside_pid" "$clicks" || exit 1
    fi
    "${as_nobody[@]}" env -i HOME="$tmp/home-nobody" top -b -d "$user_interval" >/dev/null &
    top_pid=$!
    started+=("$top_pid")
    churn=""
    if [[ $user_mode == churn ]]; then
      (
        names=(cc1 as ld make sh-helper collect2 ar)
        lives=(0.3 0.9 0.5 0.7 0.4 0.8 0.6)
        for ((i = 0; ; i++)); do
          "${as_nobody[@]}" "$tmp/bin/${names[i % 7]}" "${lives[i % 7]}" &
          pause 0.1
        done
      ) &
      churn=$!
      started+=("$churn")
    fi
    tick_gap "$pelmora" "$user_interval" Pelmora
    [[ -z "$beside_pid" ]] || tick_gap "$beside_pid" "$user_interval" "the Pelmora beside"
    read -r _ _ _ _ first_pid </proc/loadavg
    t0=$EPOCHREALTIME
    s0=0 s1=0 beside_rss=0
    cpu "$pelmora" p0
    cpu "$top_pid" o0
    [[ -z "$beside_pid" ]] || cpu "$beside_pid" s0
    pause "$span"
    cpu "$pelmora" p1
    cpu "$top_pid" o1
    [[ -z "$beside_pid" ]] || cpu "$beside_pid" s1
    t1=$EPOCHREALTIME
    read -r _ _ _ _ last_pid </proc/loadavg
    read -r pid_max </proc/sys/kernel/pid_max
    rss=$(resident "$pelmora")
    [[ -z "$beside_pid" ]] || beside_rss=$(resident "$beside_pid")
    procs=(/proc/[0-9]*)
    nprocs=${#procs[@]}
    if ! kill -0 "$pelmora" "$top_pid" $beside_pid; then
      echo "measure_overhead: Pelmora or top ended during the span" >&2
      exit 1
    fi
    kill -KILL "$pelmora" "$top_pid" $beside_pid $churn 2>/dev/null || true
    wait "$pelmora" "$top_pid" $beside_pid $churn 2>/dev/null || true
    forget "$pelmora" "$top_pid" $beside_pid $churn
    echo "$run $t0 $t1 $p0 $p1 $o0 $o1 $rss $(((last_pid - first_pid + pid_max) % pid_max))" \
      "$nprocs $s0 $s1 $beside_rss" >>"$tmp/user-rows"
    awk '{ w = $3 - $2; printf "  run %d: Pelmora %.2f %% CPU, top %.2f %% CPU, top/Pelmora %.2f," \
      " RSS %.1f MB, %.1f new PIDs/s, %d processes", $1, ($5 - $4) / 1e7 / w,
      ($7 - $6) / 1e7 / w, (($5 - $4) > 0 ? ($7 - $6) / ($5 - $4) : 0), $8 / 1024, $9 / w, $10
      if ($13 > 0) printf "; beside %.2f %% CPU, P/beside %.2f, RSS %.1f MB", ($12 - $11) / 1e7 / w,
        (($12 - $11) > 0 ? ($5 - $4) / ($12 - $11) : 0), $13 / 1024
      printf "\n" }' <(tail -1 "$tmp/user-rows")
  done
  # The medians over the runs.
  awk -v mode="$user_mode" -v interval="$user_interval" '
    function median(a, n,   i, j, t) {
      for (i = 2; i <= n; i++) for (j = i; j > 1 && a[j - 1] > a[j]; j--) {
        t = a[j]; a[j] = a[j - 1]; a[j - 1] = t
      }
      return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
    }
    {
      w = $3 - $2; n++
      p[n] = ($5 - $4) / 1e7 / w; o[n] = ($7 - $6) / 1e7 / w
      r[n] = ($5 - $4) > 0 ? ($7 - $6) / ($5 - $4) : 0; m[n] = $8 / 1024
      s[n] = ($12 - $11) > 0 ? ($5 - $4) / ($12 - $11) : 0; sm[n] = $13 / 1024; beside += $13 > 0
    }
    END {
      printf "median of %d: user %s %s s: Pelmora %.2f %% CPU, top %.2f %% CPU," \
        " top/Pelmora %.2f, Pelmora RSS %.1f MB", n, mode, interval, median(p, n),
        median(o, n), median(r, n), median(m, n)
      if (beside) printf "; P/beside %.2f, beside RSS %.1f MB", median(s, n), median(sm, n)
      printf "\n"
    }' "$tmp/user-rows"
  exit 0
fi

for config in "${configs[@]}"; do
  read -r count mode interval <<<"$config"
  echo "$count processes, $mode, interval $interval s, span $span s"
  if ! kill -0 "$xvfb" 2>/dev/null || [[ ! -S "/tmp/.X11-unix/X${display#:}" ]]; then
    echo "  Xvfb on $display has ended; starting another" >&2
    start_xvfb
  fi
  unshare --pid --net --fork --kill-child --mount-proc \
    "$0" --inside "$count" "$mode" "$interval" "$span" "$display" "$program" "$bare" "$tmp" \
    "$beside" &
  namespace=$!
  if ! wait "$namespace"; then
    echo "  this configuration failed" >&2
    failed=1
  fi
  namespace=""
done

[[ -s "$tmp/rows" ]] || exit 1
echo
# A row: processes mode interval in-/proc PIDs-started tick-gap-before
# ticks rebuilds t0 t1, then "ns ticks" at the start and at the end for
# Pelmora, bare_tick and top, then Pelmora's VmRSS in kB, then "ns ticks" at
# the start and at the end for the floor (bare_tick itself when steady), then
# the same for the Pelmora beside and its VmRSS (zeros without one). bare_tick keeps
# its nominal ticks (absolute sleeps catch up); Pelmora may fall behind, so
# its CPU per tick is set against bare_tick's too.
awk -v hz="$(getconf CLK_TCK)" '
  function pct(ns0, ns1) { return (ns1 - ns0) / 1e7 / wall }
  function tpct(t0, t1) { return (t1 - t0) * 100 / hz / wall }
  BEGIN {
    f = "%5s %-6s %4s %5s %5s %5s %9s %7s | %7s %6s %6s %6s | %6s %6s %6s %7s | %17s | %5s\n"
    printf f, "procs", "mode", "int.", "/proc", "new", "tick", "ticks", "rebuilt", "Pelmora",
      "bare", "floor", "top", "P/bare", "P/top", "P/bare", "P/floor", "utime+stime P b t", "RSS"
    printf f, "", "", "s", "", "/s", "s", "/nominal", "", "% CPU", "% CPU", "% CPU", "% CPU", "", "",
      "/tick", "", "% CPU", "MB"
  }
  {
    wall = $10 - $9
    nominal = int(wall / $3 + 0.5)
    p = pct($11, $13); b = pct($15, $17); o = pct($19, $21); fl = pct($24, $26)
    printf "%5d %-6s %4s %5d %5.1f %5.3f %4d/%-4d %7d | %7.2f %6.2f %6.2f %6.2f | %6.2f %6.2f %6.2f" \
      " %7.2f | %5.2f %5.2f %5.2f | %5.1f", $1, $2, $3, $4, $5 / wall, $6, $7, nominal, $8, p, b,
      fl, o, (b > 0 ? p / b : 0), (o > 0 ? p / o : 0),
      (b > 0 && $7 > 0 ? p / $7 / (b / nominal) : 0), (fl > 0 ? p / fl : 0),
      tpct($12, $14), tpct($16, $18), tpct($20, $22), $23 / 1024
    # The Pelmora beside (BESIDE): its CPU, this one against it, its RSS.
    if ($32 > 0) {
      sb = pct($28, $30)
      printf " | beside %6.2f %% CPU, P/beside %5.2f, RSS %5.1f MB", sb, (sb > 0 ? p / sb : 0), $32 / 1024
    }
    printf "\n"
  }' "$tmp/rows"
exit "$failed"
