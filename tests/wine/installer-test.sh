#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# The Windows installer as a user meets it, under Wine in a prefix of its own: msiexec
# installs it silently; every file of the zip is in Program Files\Tarnex, the Start menu
# has its shortcut and Apps & features its entry; the installed tarnex.exe, with only the
# DLLs the installer brought, identifies the simulated receiver and polls it, and the
# installed tarnex-log.exe logs it for a few seconds; a newer
# version replaces it in place; the uninstall leaves nothing behind.
#   installer-test.sh SIM BUILD_DIR SOURCE_DIR VERSION
set -euo pipefail
sim=$1 build=$2 source=$3 version=$4
msi="$build/Tarnex-$version-x64.msi"
stage="Tarnex-$version-windows-x64"
[ -f "$msi" ] || { echo "FAILED: no $msi: make it with ./run windows"; exit 1; }
if [ -z "${DISPLAY:-}" ]; then
  echo "no X display: run under xvfb-run (./run test does)"
  exit 77
fi

scratch=$(mktemp -d "${TMPDIR:-/tmp}/tarnex-installer-XXXXXX")
# The prefix's name is the one panel-smoke.sh runs the panel in, below the folder given.
export WINEPREFIX="$scratch/wine-smoke" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset WINEPATH  # the installed program must find its DLLs where the installer put them
finish() {
  wineserver -k 2>/dev/null || true
  rm -rf "$scratch"
}
trap finish EXIT
fail() {
  echo "FAILED: $*"
  exit 1
}
wineboot --init >/dev/null 2>&1 || true
# wineboot returns while what it started may still run; an install begun meanwhile can be
# refused as "another installation is in progress".
wineserver -w
installed="$WINEPREFIX/drive_c/Program Files/Tarnex"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'

# The entries in Apps & features that name Tarnex, as "name version" lines.
entries() {
  wine reg query "$uninstall_key" /s 2>/dev/null | tr -d '\r' |
    awk '$1 == "DisplayName" {name = $3} $1 == "DisplayVersion" && name == "Tarnex" {print name, $3; name = ""}'
}

# msiexec, silent, with its log; a failure shows the exit status and the end of the log.
msi_log="$scratch/msiexec.log"
msiexec() {
  local status=0
  wine msiexec "$@" /qn /l*v "$msi_log" || status=$?
  [ "$status" -eq 0 ] && return 0
  echo "msiexec $* ended with status $status; the end of its log:"
  tail -30 "$msi_log" 2>/dev/null | tr -d '\r'
  return 1
}

# The first install in a new prefix failed once in a clean clone's run, silently and not
# again in many tries since; it is tried a second time, after Wine has settled, and the
# first failure stays in the output above.
if ! msiexec /i "$msi"; then
  echo "trying the first install again"
  wineserver -w
  msiexec /i "$msi" || fail "msiexec /i $msi"
fi
(cd "$build/$stage" && find . -type f) | while read -r file; do
  [ -f "$installed/$file" ] || fail "$file of the zip is not installed"
done
shortcut=$(find "$WINEPREFIX/drive_c" -name Tarnex.lnk | head -1)
[ -n "$shortcut" ] || fail "no Start menu shortcut"
[ "$(entries)" = "Tarnex $version" ] || fail "Apps & features: $(entries)"
echo "ok: installed, every file of the zip in Program Files\\Tarnex, the shortcut, the entry"

"$source/tests/wine/panel-smoke.sh" wine "$sim" 'C:\Program Files\Tarnex\tarnex.exe' "$scratch" ||
  fail "the installed tarnex.exe"

# The installed logger, for a few seconds: its dump files hold whole items, and it says so.
logs="$scratch/logs"
mkdir "$logs"
"$sim" --link "$WINEPREFIX/dosdevices/com9" --rate 5 >/dev/null &
sim_pid=$!
for _ in $(seq 100); do [ -e "$WINEPREFIX/dosdevices/com9" ] && break; sleep 0.05; done
(cd "$logs" && wine 'C:\Program Files\Tarnex\tarnex-log.exe' -D com9 --for 4s >log.txt 2>&1) ||
  fail "tarnex-log.exe: $(cat "$logs/log.txt")"
kill "$sim_pid" 2>/dev/null || true
wait "$sim_pid" 2>/dev/null || true
grep -q "connected to MORWICK on com9 at 38400 baud" "$logs/log.txt" || fail "$(cat "$logs/log.txt")"
grep -q "stopped; every item is on disk" "$logs/log.txt" || fail "$(cat "$logs/log.txt")"
[ -s "$logs/nmea.dmp" ] && [ -s "$logs/posn.dmp" ] || fail "no dump files: $(ls "$logs")"
echo "ok: the installed tarnex-log.exe logged for 4 s"

# A newer version of the same files replaces this one in place.
newer="${version%.*}.$((${version##*.} + 1))"
(cd "$build" && wixl -a x64 -D Version="$newer" -D SourceDir="$stage" -D IconFile=tarnex.ico \
  -o "$scratch/newer.msi" "$source/res/windows/tarnex.wxs") || fail "wixl for $newer"
msiexec /i "$scratch/newer.msi" || fail "msiexec /i newer.msi"
[ "$(entries)" = "Tarnex $newer" ] || fail "after the upgrade Apps & features has: $(entries)"
[ -f "$installed/tarnex.exe" ] || fail "tarnex.exe gone after the upgrade"
echo "ok: $newer replaced $version: one entry, the files in place"

msiexec /x "$scratch/newer.msi" || fail "msiexec /x"
[ ! -e "$installed" ] || fail "Program Files\\Tarnex left behind: $(ls -R "$installed")"
[ -z "$(find "$WINEPREFIX/drive_c" -name Tarnex.lnk)" ] || fail "the shortcut left behind"
[ -z "$(entries)" ] || fail "Apps & features still has: $(entries)"
if wine reg query 'HKLM\Software\Tarnex' >/dev/null 2>&1; then fail "HKLM\\Software\\Tarnex left behind"; fi
echo "ok: uninstalled, nothing left behind"
