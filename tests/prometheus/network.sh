#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# A network of two base stations watched by the real Prometheus server: two tarnex-log
# instances, each on its own simulated receiver, scraped with the configuration and alert
# rules in docs/prometheus/. Both must show up connected and logging; then one receiver
# vanishes, and Prometheus must show that station disconnected and its alert pending.
# usage: network.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1 source=$2

for tool in prometheus promtool python3; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIPPED: $tool is not installed (Debian's prometheus package; ./run test installs it)"
    exit 77
  fi
done

scratch=$(mktemp -d "${TMPDIR:-/tmp}/tarnex-prometheus-XXXXXX")
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT

fail() {
  echo "FAILED: $*" >&2
  for log in "$scratch"/*.out; do echo "--- $log" >&2; tail -n 20 "$log" >&2; done
  exit 1
}

# The documented configuration, checked as it stands, then scraped and evaluated every
# second instead of every 15 s so that the test takes seconds.
cp "$source"/docs/prometheus/{prometheus.yml,tarnex-rules.yml} "$source"/tests/prometheus/rules_test.yml "$scratch/"
promtool check config "$scratch/prometheus.yml" >/dev/null || fail "promtool check config"
(cd "$scratch" && promtool test rules rules_test.yml >/dev/null) || fail "promtool test rules"
sed -i 's/_interval: 15s/_interval: 1s/' "$scratch/prometheus.yml"

wait_for() {  # wait_for SECONDS COMMAND...: true once COMMAND succeeds
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.2
  done
}

metrics_port() {
  grep -o 'serving metrics at http://127.0.0.1:[0-9]*' "$scratch/log$1.out" | grep -o '[0-9]*$'
}

targets=""
for n in 1 2; do
  mkdir "$scratch/station$n"
  "$build/tarnex-sim" --link "$scratch/rx$n" --rate 5 >"$scratch/sim$n.out" 2>&1 &
  pids+=($!)
  eval "sim$n=$!"
  wait_for 5 test -e "$scratch/rx$n" || fail "the simulator $n did not start"
  "$build/tarnex-log" -D "$scratch/rx$n" -o "$scratch/station$n" --metrics 127.0.0.1:0 \
    >"$scratch/log$n.out" 2>&1 &
  pids+=($!)
  eval "log$n=$!"
  wait_for 5 metrics_port "$n" >/dev/null || fail "tarnex-log $n serves no metrics"
  targets+="- targets: [\"127.0.0.1:$(metrics_port "$n")\"]
  labels: {station: BASE$n}
"
done
printf '%s' "$targets" >"$scratch/tarnex-targets.yml"

# The text a logger serves, as Prometheus's own parser and linter read it.
python3 -c 'import sys, urllib.request; sys.stdout.write(urllib.request.urlopen(sys.argv[1]).read().decode())' \
  "http://127.0.0.1:$(metrics_port 1)/metrics" >"$scratch/metrics.txt" || fail "no /metrics"
promtool check metrics <"$scratch/metrics.txt" || fail "promtool check metrics: $(cat "$scratch/metrics.txt")"

web=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
prometheus --config.file="$scratch/prometheus.yml" --storage.tsdb.path="$scratch/data" \
  --web.listen-address="127.0.0.1:$web" >"$scratch/prometheus.out" 2>&1 &
pids+=($!)

# The value of an instant query: one number (the sum of what it finds), or "none".
query() {
  python3 - "$web" "$1" <<'PY'
import json, sys, urllib.parse, urllib.request
url = "http://127.0.0.1:%s/api/v1/query?query=%s" % (sys.argv[1], urllib.parse.quote(sys.argv[2]))
try:
    result = json.load(urllib.request.urlopen(url, timeout=2))["data"]["result"]
except Exception:
    print("none")
    sys.exit()
print(sum(float(r["value"][1]) for r in result) if result else "none")
PY
}

is() {  # is QUERY VALUE
  [ "$(query "$1")" = "$2" ]
}

wait_for 30 is 'sum(up{job="tarnex"})' 2.0 || fail "Prometheus does not scrape both loggers"
wait_for 15 is 'sum(tarnex_connected)' 2.0 || fail "the loggers are not both connected"
wait_for 15 is 'count(increase(tarnex_items_total{stream="nmea"}[5s]) > 0)' 2.0 ||
  fail "the loggers are not both logging"

kill "$sim1"
wait_for 15 is 'tarnex_connected{station="BASE1"}' 0.0 || fail "the lost receiver still shows connected"
is 'tarnex_connected{station="BASE2"}' 1.0 || fail "the other station shows disconnected"
wait_for 10 is 'count(ALERTS{alertname="TarnexReceiverLost",station="BASE1"})' 1.0 ||
  fail "no TarnexReceiverLost alert for the lost station"
for logger in "$log1" "$log2"; do
  kill -TERM "$logger"
  status=0
  wait "$logger" || status=$?
  [ "$status" -eq 0 ] || fail "tarnex-log ended with status $status"
done
echo "both stations scraped and logging; the lost one shows disconnected, with its alert"
