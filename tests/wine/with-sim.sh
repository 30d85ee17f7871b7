#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Runs a Windows test program under Wine against the native simulated receiver, whose
# pseudo-terminal is mapped to a COM port of the build's Wine prefix.
#   with-sim.sh WINE_RUN SIM COM [SIM OPTIONS...] -- PROGRAM [ARGS...]
set -euo pipefail
wine_run=$1 sim=$2 com=$3
shift 3
sim_args=()
while [ "$1" != "--" ]; do
  sim_args+=("$1")
  shift
done
shift
# The prefix is made on first use; its dosdevices folder is where COM ports are mapped.
prefix=$(sed -n 's/^export WINEPREFIX="\${WINEPREFIX:-\(.*\)}"$/\1/p' "$wine_run")
"$wine_run" cmd /c exit 0 >/dev/null 2>&1 || true
link="$prefix/dosdevices/$com"
"$sim" --link "$link" "${sim_args[@]}" >/dev/null &
sim_pid=$!
trap 'kill $sim_pid 2>/dev/null || true; wait $sim_pid 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -e "$link" ] && break; sleep 0.05; done
"$wine_run" "$@"
