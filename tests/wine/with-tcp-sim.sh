#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Runs a Windows test program under Wine against the native simulated receiver served on
# a loopback TCP port; the program gets the name tcp://127.0.0.1:PORT in place of @NAME@.
#   with-tcp-sim.sh WINE_RUN SIM -- PROGRAM [ARGS...]
set -euo pipefail
wine_run=$1 sim=$2
shift 3
port=$((20000 + RANDOM % 20000))
ready=$(mktemp)
"$sim" --tcp "$port" >"$ready" &
sim_pid=$!
trap 'kill $sim_pid 2>/dev/null || true; wait $sim_pid 2>/dev/null || true; rm -f "$ready"' EXIT
# It prints its address once it listens (a probe connection would take its one client).
for _ in $(seq 100); do
  [ -s "$ready" ] && break
  sleep 0.05
done
args=()
for arg in "$@"; do args+=("${arg//@NAME@/tcp://127.0.0.1:$port}"); done
"$wine_run" "${args[@]}"
