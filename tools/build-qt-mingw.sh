#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Builds Qt 6 (Core, Gui, Widgets and the platform plugins) for 64-bit Windows with
# MinGW-w64, from Debian's own qt6-base source package, as shared libraries so that the
# Windows zip ships Qt's DLLs (LGPL). The result is cached outside any build tree:
# a second run finds it and returns at once.
#
#   tools/build-qt-mingw.sh [PREFIX]     default: $TARNEX_QT_MINGW or
#                                        /var/cache/tarnex/qt6-mingw (root),
#                                        ~/.cache/tarnex/qt6-mingw (others)
# Prints the prefix on its last line.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"

default_prefix() {
  if [ -n "${TARNEX_QT_MINGW:-}" ]; then
    echo "$TARNEX_QT_MINGW"
  elif [ "$(id -u)" -eq 0 ]; then
    echo /var/cache/tarnex/qt6-mingw
  else
    echo "${XDG_CACHE_HOME:-$HOME/.cache}/tarnex/qt6-mingw"
  fi
}

prefix="${1:-$(default_prefix)}"
host_version=$(dpkg-query -W -f='${Version}' qt6-base-dev)
stamp="$prefix/.tarnex-built-from"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "qt6-base $host_version" ]; then
  echo "$prefix"
  exit 0
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/tarnex-qt-XXXXXX")
trap 'rm -rf "$work"' EXIT
echo "Building Qt $host_version for MinGW-w64 in $work (about 16 minutes on two cores)" >&2

# apt-get source needs a deb-src entry for the archive this machine installs from; it is
# given in a private sources directory, so that /etc/apt stays as it is.
mkdir -p "$work/sources" "$work/lists/partial"
sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
  > "$work/sources/debian-src.sources"
apt_private=(-o Dir::Etc::SourceParts="$work/sources" -o Dir::Etc::SourceList=/dev/null
  -o Dir::State::Lists="$work/lists")
apt-get "${apt_private[@]}" update -qq
(cd "$work" && apt-get "${apt_private[@]}" source -qq "qt6-base=$host_version" >&2)
source_dir=$(find "$work" -maxdepth 1 -type d -name 'qt6-base-*' | head -1)

# Debian's repack lacks wintab and iaccessible2: tablet events and accessibility go; the
# Windows platform plugin needs OpenGL on in 6.4.
cmake -S "$source_dir" -B "$work/build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DBUILD_SHARED_LIBS=ON \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF \
  -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_vulkan=OFF -DFEATURE_testlib=OFF \
  -DFEATURE_tabletevent=OFF -DFEATURE_accessibility=OFF -DFEATURE_opengl=ON >&2
cmake --build "$work/build" >&2
rm -rf "$prefix"
cmake --install "$work/build" >&2
echo "qt6-base $host_version" > "$stamp"
echo "$prefix"
