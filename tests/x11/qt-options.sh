#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Qt's own options are Qt's: the panel started with -style Fusion and -display on a real
# X display must neither ask for slave mode nor read "isplay" as its device. On the wire
# (tarnex-sim --log) it identifies the receiver named by -D and polls, and sends no 0x84.
#   qt-options.sh SIM TARNEX
set -euo pipefail
sim=$1 tarnex=$2
if [ -z "${DISPLAY:-}" ]; then
  echo "no X display: run under xvfb-run"
  exit 77
fi
work=$(mktemp -d)
export XDG_CONFIG_HOME="$work"  # what the program remembers stays in the test's folder
link="$work/receiver"
traffic="$work/traffic.txt"
"$sim" --link "$link" --log "$traffic" >/dev/null &
sim_pid=$!
panel_pid=
finish() {
  [ -z "$panel_pid" ] || kill "$panel_pid" 2>/dev/null || true
  kill "$sim_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap finish EXIT
for _ in $(seq 100); do [ -e "$link" ] && break; sleep 0.05; done
QT_QPA_PLATFORM=xcb "$tarnex" -style Fusion -D "$link" -display "$DISPLAY" >/dev/null 2>&1 &
panel_pid=$!
for _ in $(seq 60); do
  [ "$(grep -c '^82 5 ' "$traffic" 2>/dev/null || true)" -ge 2 ] && break
  sleep 0.25
done
status=0
if grep -q '^82 5 38400$' "$traffic"; then
  echo "ok: the receiver named by -D was identified and polled"
else
  echo "FAILED: no polls at 38400 baud on $link"; status=1
fi
if grep -q '^84 ' "$traffic"; then
  echo "FAILED: -style Fusion sent the slave request"; status=1
else
  echo "ok: no slave request"
fi
[ $status -eq 0 ] || { echo "what the receiver saw:"; cat "$traffic"; }
exit $status
