#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# The Debian package as a user meets it: its desktop entry, metadata and manual pages
# valid, installed with apt-get, its programs run from the installed paths (a short
# tarnex-log session against tarnex-sim), removed again. Installing needs root, so as
# any other user the install part is skipped (77).
#   package-test.sh DEB SOURCE_DIR
set -euo pipefail
deb=$(realpath "$1")
source=$2

desktop-file-validate "$source/res/desktop/net.tarnex.Tarnex.desktop"
appstreamcli validate --no-net "$source/res/desktop/net.tarnex.Tarnex.metainfo.xml" >/dev/null
for page in "$source"/docs/man/*.1; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || { echo "FAILED: $page: $warnings"; exit 1; }
done
echo "ok: desktop entry, AppStream metadata and manual pages are valid"

if [ "$(id -u)" -ne 0 ]; then
  echo "not root: installing the package is left out"
  exit 77
fi
if dpkg-query -W -f='${Status}' tarnex 2>/dev/null | grep -q 'install ok installed'; then
  echo "tarnex is installed on this machine already: left alone, the test is skipped"
  exit 77
fi
work=$(mktemp -d)
sim=
finish() {
  [ -z "$sim" ] || kill "$sim" 2>/dev/null || true
  wait 2>/dev/null || true
  DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq tarnex >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap finish EXIT
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null
[ "$(/usr/bin/tarnex --version)" = "tarnex 1.0.2" ]
/usr/bin/tarnex-sim --help | grep -q "usage: tarnex-sim"
/usr/bin/tarnex-log --version | grep -q "tarnex-log 1.0.2"
for f in /usr/share/applications/net.tarnex.Tarnex.desktop \
  /usr/share/metainfo/net.tarnex.Tarnex.metainfo.xml \
  /usr/share/icons/hicolor/48x48/apps/tarnex.png /usr/share/man/man1/tarnex-log.1.gz \
  /usr/share/doc/tarnex/copyright; do
  [ -e "$f" ] || { echo "FAILED: $f is not installed"; exit 1; }
done
/usr/bin/tarnex-sim --link "$work/receiver" --rate 5 >/dev/null &
sim=$!
for _ in $(seq 100); do [ -e "$work/receiver" ] && break; sleep 0.05; done
/usr/bin/tarnex-log -D "$work/receiver" -o "$work" --for 3s --metrics 0 >"$work/log.txt"
grep -q "connected to MORWICK" "$work/log.txt"
grep -q "serving metrics at http://127.0.0.1:" "$work/log.txt"  # its module found
[ -s "$work/nmea.dmp" ] && [ -s "$work/posn.dmp" ]
unit="$work/tarnex-log@dev-ttyUSB0.service"  # the example unit, for one receiver
cp /usr/share/doc/tarnex/examples/tarnex-log@.service "$unit"
systemd-analyze verify "$unit" || { echo "FAILED: systemd-analyze verify $unit"; exit 1; }
echo "ok: installed, run from /usr/bin, a tarnex-log session logged, the unit verified"
DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq tarnex >/dev/null
[ ! -e /usr/bin/tarnex ] || { echo "FAILED: /usr/bin/tarnex left behind"; exit 1; }
echo "ok: removed cleanly"
