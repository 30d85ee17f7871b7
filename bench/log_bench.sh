#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# tarnex-log's cost: resident memory and CPU while it logs a 115200-baud line that is
# nearly full (tarnex-sim --line-time paces the stream as a real line would), its CPU
# when the receiver sends nothing, and the time from identification to the first item
# on disk.   bench/log_bench.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
ticks=$(getconf CLK_TCK)

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

# One run: the simulator at a data rate, tarnex-log on it, measured over 10 s.
# The start-up figure is taken on a run without the line's pace.
measure() {
  local rate=$1 label=$2 pacing=${3:-} extra=${4:-}
  rm -f "$work"/*.dmp "$work/receiver" "$work/session.rec"
  "$build/tarnex-sim" --link "$work/receiver" --baud 115200 --rate "$rate" $pacing >/dev/null &
  local sim=$!
  for _ in $(seq 100); do [ -e "$work/receiver" ] && break; sleep 0.05; done
  local started
  started=$(date +%s%N)
  # shellcheck disable=SC2086
  "$build/tarnex-log" -D "$work/receiver" -o "$work" $extra >"$work/out.txt" 2>&1 &
  local logger=$!
  for _ in $(seq 400); do grep -q "connected to" "$work/out.txt" && break; sleep 0.01; done
  local connected
  connected=$(date +%s%N)
  if [ "$rate" != 0 ] && [ -z "$pacing" ]; then
    for _ in $(seq 1000); do
      [ -s "$work/nmea.dmp" ] || [ -s "$work/posn.dmp" ] || [ -s "$work/obsd.dmp" ] && break
      sleep 0.002
    done
    echo "tarnex-log, start to identified: $(((connected - started) / 1000000)) ms; identified to the first item on disk: $((($(date +%s%N) - connected) / 1000000)) ms"
  fi
  sleep 2
  local before after bytes_before bytes_after
  before=$(cpu_ticks "$logger")
  bytes_before=$( (cat "$work"/*.dmp 2>/dev/null || true) | wc -c)
  sleep 10
  after=$(cpu_ticks "$logger")
  bytes_after=$( (cat "$work"/*.dmp 2>/dev/null || true) | wc -c)
  local rss
  rss=$(awk '/VmRSS/ {print $2}' "/proc/$logger/status")
  echo "tarnex-log, $label: CPU $(awk -v t=$((after - before)) -v hz="$ticks" 'BEGIN {printf "%.2f", 100 * t / hz / 10}')% of one core over 10 s, resident ${rss} kB, logging $(((bytes_after - bytes_before) / 10)) bytes/s"
  kill -TERM "$logger"
  wait "$logger" || true
  kill "$sim" 2>/dev/null || true
  wait "$sim" 2>/dev/null || true
}

# The line's pace (--line-time) for the load; without it for the start-up, whose first
# burst would otherwise still be crawling along at the 9600 baud of identification.
measure 12 "115200 baud, 12 data bursts a second at once" ""
measure 12 "115200 baud line nearly full (12 data bursts a second)" --line-time
measure 12 "the same, recording the session (--record)" --line-time "--record $work/session.rec"
measure 0 "connected and idle"
