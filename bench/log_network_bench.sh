#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Many base stations on one machine: N tarnex-log instances, each on its own tarnex-sim
# at 10 data bursts a second on a 115200-baud line, with socat copying the same kind of
# stream from simulators of their own to files beside them (N of them, 10 at most) as the
# yardstick of a raw copy.
# Measured over 10 s from /proc: the loggers' CPU (apart from the simulators) in all, per
# instance and per MB logged, socat's per MB, and the loggers' resident memory. At the
# end every simulator stops its bursts and says how many it sent, and every instance's
# files must be whole and hold every one of them.
#   bench/log_network_bench.sh BUILD_DIR [N...]   (N: 1 10 100 500 unless given)
set -euo pipefail
build=$1
shift
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(1 10 100 500)
command -v socat >/dev/null || { echo "socat is needed: apt-get install socat" >&2; exit 1; }
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
ulimit -n 65536 2>/dev/null || true

# The CPU time of the processes given, all their threads, in nanoseconds: the scheduler's
# own count, where /proc/PID/stat's clock ticks are too coarse for a process that works a
# few milliseconds a second.
cpu_ns() {
  local pid
  for pid in "$@"; do cat /proc/"$pid"/task/*/schedstat; done | awk '{s += $1} END {printf "%.0f\n", s}'
}
bytes_in() { du -sb "$@" | awk '{s += $1} END {print s}'; }

run() {
  local n=$1 i
  rm -rf "${work:?}"/*
  local sims=() loggers=()
  for ((i = 0; i < n; i++)); do
    mkdir "$work/$i"
    "$build/tarnex-sim" --link "$work/$i/rx" --baud 115200 --rate 10 >"$work/$i/sim.out" &
    sims+=($!)
  done
  local copies=$((n < 10 ? n : 10)) socat_sims=() socats=()
  for ((i = 0; i < copies; i++)); do
    "$build/tarnex-sim" --link "$work/socat-rx$i" --baud 115200 --rate 10 >/dev/null &
    socat_sims+=($!)
  done
  for ((i = 0; i < n; i++)); do
    until [ -e "$work/$i/rx" ]; do sleep 0.05; done
    mkdir "$work/$i/logs"
    "$build/tarnex-log" -D "$work/$i/rx" -o "$work/$i/logs" >"$work/$i/log.out" 2>&1 &
    loggers+=($!)
  done
  for ((i = 0; i < copies; i++)); do
    # The simulator sends once spoken to; socat then copies the line as it comes.
    until [ -e "$work/socat-rx$i" ]; do sleep 0.05; done
    stty -F "$work/socat-rx$i" raw -echo 115200
    printf '\005' >"$work/socat-rx$i"
    socat -u -b 8192 "OPEN:$work/socat-rx$i,rawer" "CREATE:$work/socat$i.out" &
    socats+=($!)
  done
  for ((i = 0; i < n; i++)); do
    until grep -q "connected to" "$work/$i/log.out"; do sleep 0.1; done
  done
  sleep 3
  # The loggers' and socat's CPU and bytes, at the start and the end of 10 s.
  sample() {
    echo "$(cpu_ns "${loggers[@]}") $(cpu_ns "${socats[@]}")" \
      "$(bytes_in "$work"/*/logs) $(bytes_in "$work"/socat*.out)"
  }
  local before after
  read -r -a before <<<"$(sample)"
  sleep 10
  read -r -a after <<<"$(sample)"
  local rss_total=0 rss_max=0 rss pid
  for pid in "${loggers[@]}"; do
    rss=$(awk '/VmRSS/ {print $2}' "/proc/$pid/status")
    rss_total=$((rss_total + rss))
    [ "$rss" -le "$rss_max" ] || rss_max=$rss
  done
  # The end: no more bursts, a moment to read the last, then the loggers stop.
  for pid in "${sims[@]}"; do kill -USR1 "$pid"; done
  sleep 2
  local failed=0 incomplete=0
  for ((i = 0; i < n; i++)); do
    kill -TERM "${loggers[$i]}"
    wait "${loggers[$i]}" || failed=$((failed + 1))
  done
  for ((i = 0; i < n; i++)); do
    local sent counts
    sent=$(sed -n 's/^sent \([0-9]*\) data bursts$/\1/p' "$work/$i/sim.out")
    counts=$("$build/bench/dump_check" "$work/$i/logs") || true
    # Each burst: one posn, one obsd and two corr frames. The first goes out as the
    # identification begins, at 9600 baud, and is drained with the rest of what came
    # before the line was switched: every later one must be there.
    local logged=$((sent - 1))
    echo "$counts" | grep -q "^posn $logged obsd $logged corr $((2 * logged)) nmea [0-9]" ||
      { incomplete=$((incomplete + 1)); echo "  instance $i: sent $sent bursts, logged: $counts" >&2; }
  done
  kill "${sims[@]}" "${socat_sims[@]}" "${socats[@]}" 2>/dev/null || true
  wait 2>/dev/null || true
  awk -v n="$n" -v t=$((after[0] - before[0])) -v st=$((after[1] - before[1])) -v hz=1e9 \
    -v b=$((after[2] - before[2])) -v sb=$((after[3] - before[3])) \
    -v rt="$rss_total" -v rm="$rss_max" -v failed="$failed" -v incomplete="$incomplete" 'BEGIN {
      cpu = t / hz; scpu = st / hz
      printf "N=%d: loggers %.1f%% of a core in all, %.3f%% each; %.3f s CPU per MB (socat %.3f s per MB); logged %.1f kB/s each; resident %.1f MB each, %.1f MB at most; %d exited non-zero, %d incomplete\n",
        n, 100 * cpu / 10, 100 * cpu / 10 / n, cpu / (b / 1e6), (sb > 0 ? scpu / (sb / 1e6) : 0),
        b / 10 / n / 1e3, rt / n / 1024, rm / 1024, failed, incomplete
    }'
}

for n in "${counts[@]}"; do run "$n"; done
