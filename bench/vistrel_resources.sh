#!/usr/bin/env bash
# CPU and memory of vistrel showing the gauge display while the simulated ECM
# streams at line speed. Prints the share of one core over the measured
# stretch and the peak resident memory. Usage: bench/vistrel_resources.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
seconds=${2:-30}
link=/tmp/ttyZRMbench$$
work=$(mktemp -d)
trap 'kill $sim 2>/dev/null || true; rm -rf "$work"' EXIT
"$build/tools/zrmtool/zrmtool" sim --link "$link" --wire-speed >/dev/null &
sim=$!
for _ in $(seq 100); do [ -e "$link" ] && break; sleep 0.05; done
printf '[PORT] %s\r\r\n' "$link" > "$work/ZRM_Vistrel.cfg"
QT_QPA_PLATFORM=offscreen "$build/apps/vistrel/vistrel" --config "$work/ZRM_Vistrel.cfg" \
  --exit-after $((seconds + 10)) &
app=$!
sleep 5  # start-up and the first frames are not part of the steady state
ticks() { awk '{print $14 + $15}' "/proc/$app/stat"; }
hz=$(getconf CLK_TCK)
t0=$(ticks)
s0=$(date +%s.%N)
sleep "$seconds"
t1=$(ticks)
s1=$(date +%s.%N)
rss=$(awk '/VmHWM/ {print $2}' "/proc/$app/status")
wait $app
awk -v t0="$t0" -v t1="$t1" -v s0="$s0" -v s1="$s1" -v hz="$hz" -v rss="$rss" 'BEGIN {
  cpu = (t1 - t0) / hz / (s1 - s0) * 100
  printf "vistrel: %.2f %% of one core over %.0f s, peak resident memory %.1f MB\n", cpu, s1 - s0, rss / 1024
}'
