#!/usr/bin/env bash
# CPU, wake-ups and memory of vistrel showing the gauge display, in two cases:
#   streaming  the simulated ECM streams at line speed;
#   silent     the port is a pseudo-terminal that never sends a byte.
# For each it prints the whole program's share of one core over the measured
# stretch, its wake-ups a second (context switches of all its threads) and
# its peak resident memory. Linux only.
# Usage: bench/vistrel_resources.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
seconds=${2:-30}
work=$(mktemp -d)
link="$work/tty"
peer=""
app=""
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null || true
  [ -n "$peer" ] && kill "$peer" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

switches() {  # all threads' context switches
  cat /proc/"$1"/task/*/status 2>/dev/null | awk '/ctxt_switches/ {n += $2} END {print n}'
}
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

measure() {  # case name
  printf '[PORT] %s\r\r\n' "$link" > "$work/ZRM_Vistrel.cfg"
  QT_QPA_PLATFORM=offscreen "$build/apps/vistrel/vistrel" --config "$work/ZRM_Vistrel.cfg" \
    --exit-after $((seconds + 10)) &
  app=$!
  sleep 5  # start-up and the first frames are not part of the steady state
  local hz t0 t1 s0 s1 w0 w1 rss
  hz=$(getconf CLK_TCK)
  t0=$(ticks $app); w0=$(switches $app); s0=$(date +%s.%N)
  sleep "$seconds"
  t1=$(ticks $app); w1=$(switches $app); s1=$(date +%s.%N)
  rss=$(awk '/VmHWM/ {print $2}' "/proc/$app/status")
  wait $app || true
  app=""
  awk -v name="$1" -v t0="$t0" -v t1="$t1" -v s0="$s0" -v s1="$s1" -v w0="$w0" -v w1="$w1" -v hz="$hz" -v rss="$rss" 'BEGIN {
    span = s1 - s0
    printf "vistrel %s: %.2f %% of one core, %.0f wake-ups a second over %.0f s, peak resident memory %.1f MB\n",
      name, (t1 - t0) / hz / span * 100, (w1 - w0) / span, span, rss / 1024
  }'
}

"$build/tools/zrmtool/zrmtool" sim --link "$link" --wire-speed >/dev/null &
peer=$!
for _ in $(seq 100); do [ -e "$link" ] && break; sleep 0.05; done
measure streaming
kill "$peer"; wait "$peer" 2>/dev/null || true

# A terminal whose far end stays silent.
python3 -c '
import os, pty, sys, time
master, slave = pty.openpty()
os.symlink(os.ttyname(slave), sys.argv[1])
while True:
    time.sleep(3600)
' "$link" &
peer=$!
for _ in $(seq 100); do [ -e "$link" ] && break; sleep 0.05; done
measure silent
