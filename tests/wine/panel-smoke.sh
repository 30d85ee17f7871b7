#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# The Windows panel under Wine on an X display, against the native simulated receiver on
# COM8: on the wire it must identify the receiver, switch the line to the receiver's
# 38400 baud, send its keys and poll. With TARNEX_SCREENSHOT_DIR set it leaves a
# screenshot there: windows-panel.png. The build folder holds only the Wine prefix.
#   panel-smoke.sh WINE_RUN SIM TARNEX_EXE BUILD_DIR
set -euo pipefail
wine_run=$1 sim=$2 tarnex=$3 out=$4
if [ -z "${DISPLAY:-}" ]; then
  echo "no X display: run under xvfb-run (./run test does)"
  exit 77
fi
# A prefix of its own, so that ending its Wine processes touches no other test.
export WINEPREFIX="$out/wine-smoke"
"$wine_run" cmd /c exit 0 >/dev/null 2>&1 || true
work=$(mktemp -d)
traffic="$work/traffic.txt"
"$sim" --link "$WINEPREFIX/dosdevices/com8" --log "$traffic" >/dev/null &
sim_pid=$!
finish() {
  wineserver -k 2>/dev/null || true
  kill "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap finish EXIT
for _ in $(seq 100); do [ -e "$WINEPREFIX/dosdevices/com8" ] && break; sleep 0.05; done
"$wine_run" "$tarnex" -D com8 >/dev/null 2>&1 &

# Polls go out every 900 ms once the receiver has been identified and the line switched.
for _ in $(seq 60); do
  [ "$(grep -c '^82 5 38400$' "$traffic" 2>/dev/null || true)" -ge 3 ] && break
  sleep 0.5
done
sleep 1
if [ -n "${TARNEX_SCREENSHOT_DIR:-}" ]; then
  import -window root "$TARNEX_SCREENSHOT_DIR/windows-panel.png" 2>/dev/null ||
    echo "no screenshot (imagemagick)"
fi
status=0
check() {
  if grep -q "$1" "$traffic"; then echo "ok: $2"; else echo "FAILED: $2"; status=1; fi
}
check '^6f 0 9600$' "identification request at 9600 baud"
check '^81 1 38400$' "first key after the switch to 38400 baud"
check '^82 5 38400$' "screen polls at 38400 baud"
[ $status -eq 0 ] || { echo "what the receiver saw:"; cat "$traffic"; }
exit $status
