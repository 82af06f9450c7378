#!/usr/bin/env bash
# libmosquitto for the Windows program. Debian has no mingw-w64 build of it, so
# it is made here from Debian's own source package of mosquitto (the source of
# the Linux program's libmosquitto, with Debian's patches), fetched with apt and
# checked by apt against the signed Sources index, then built as a static
# client library with the project's mingw-w64 toolchain (no TLS, no threads).
#
# Usage: scripts/mosquitto-windows.sh fetch|build [DIR]
#   fetch  puts the unpacked source in DIR/source, unless it is there already
#          (scripts/install-packages.sh test does this)
#   build  fetches when needed, then builds DIR/mingw64/lib/libmosquitto_static.a,
#          unless it was built already with the same toolchain and options
#          (the Windows build's configure step does this: cmake/mosquitto.cmake)
# DIR is build/deps/mosquitto by default: one copy for every Windows build tree
# of the checkout (build/windows, build/package-windows). Nothing is done when
# both are there; delete DIR to start again.
set -euo pipefail
source_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
action="${1:-}"
dir="${2:-$source_dir/build/deps/mosquitto}"
case "$action" in
  fetch|build) ;;
  *) echo "usage: $0 fetch|build [DIR]" >&2; exit 2 ;;
esac

fail() {
  echo "mosquitto-windows: $*" >&2
  exit 1
}

# The package that brings a missing command.
need() {
  command -v "$1" >/dev/null 2>&1 ||
    fail "'$1' is missing: install the Debian package $2 (scripts/install-packages.sh test)"
}

mkdir -p "$dir"
dir="$(cd "$dir" && pwd)"
# One run at a time (two build trees may be configured at once).
need flock util-linux
exec 9>"$dir/.lock"
flock 9

# Debian's source indexes, in a private apt state under `$1`: the machine's
# own Debian sources (its deb822 file, or else its one-line list) as deb-src
# entries with their keyrings. The machine's apt configuration (proxy and the
# like) is kept, and its sources, lists and caches are not touched.
apt_options=()
private_apt() {
  local work="$1"
  mkdir -p "$work/parts" "$work/lists/partial" "$work/cache/archives/partial"
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources >"$work/parts/debian.sources"
  elif [ -f /etc/apt/sources.list ]; then
    sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' /etc/apt/sources.list | grep debian \
      >"$work/parts/debian.list" || true
  fi
  if ! grep -qs . "$work/parts/"*; then
    fail "no Debian archive in apt's sources (/etc/apt/sources.list.d/debian.sources or" \
      "/etc/apt/sources.list): the source package of mosquitto cannot be fetched"
  fi
  apt_options=(-o "Dir::Etc::SourceList=/dev/null" -o "Dir::Etc::SourceParts=$work/parts"
    -o "Dir::State::Lists=$work/lists" -o "Dir::Cache=$work/cache")
}

fetch() {
  if [ -f "$dir/source.stamp" ] && [ -f "$dir/source/include/mosquitto.h" ]; then
    return 0
  fi
  need apt-get apt
  need dpkg-source dpkg-dev
  local work
  work="$(mktemp -d "${TMPDIR:-/tmp}/podiant-mosquitto.XXXXXX")"
  # shellcheck disable=SC2064
  trap "rm -rf '$work'" EXIT
  mkdir -p "$work/download"
  # As root, apt downloads as its own user _apt, who must be able to write here.
  if [ "$(id -u)" -eq 0 ] && id _apt >/dev/null 2>&1; then
    chmod 755 "$work"
    chown _apt "$work/download"
  fi
  private_apt "$work/apt"
  echo "mosquitto-windows: fetching Debian's source package of mosquitto with apt" >&2
  # apt-get update may end well with every index missing (only warnings).
  if ! apt-get "${apt_options[@]}" -qq update >"$work/apt.log" 2>&1 ||
    ! find "$work/apt/lists" -name '*_Sources*' | grep -q .; then
    cat "$work/apt.log" >&2
    fail "apt-get update fetched no Sources index of Debian (is the Debian archive reachable?)"
  fi
  if ! (cd "$work/download" &&
    apt-get "${apt_options[@]}" -qq --only-source source --download-only mosquitto) \
    >"$work/apt.log" 2>&1; then
    cat "$work/apt.log" >&2
    fail "apt-get source --download-only mosquitto failed"
  fi
  local dsc
  dsc="$(find "$work/download" -name 'mosquitto_*.dsc' | head -n1)"
  [ -n "$dsc" ] || fail "apt fetched no mosquitto_*.dsc"
  # dpkg-source checks the tarballs against the .dsc (whose own checksums apt
  # checked against the signed index) and applies Debian's patches.
  if ! dpkg-source -x "$dsc" "$work/source" >"$work/unpack.log" 2>&1; then
    cat "$work/unpack.log" >&2
    fail "dpkg-source -x $(basename "$dsc") failed"
  fi
  rm -rf "$dir/source" "$dir/source.stamp" "$dir/archives"
  mkdir -p "$dir/archives"
  cp "$work/download/"* "$dir/archives/"
  mv "$work/source" "$dir/source"
  basename "$dsc" .dsc | sed 's/^mosquitto_//' >"$dir/source.stamp"
  echo "mosquitto-windows: source of mosquitto $(cat "$dir/source.stamp") in $dir/source" >&2
}

build() {
  fetch
  local toolchain="$source_dir/cmake/mingw-w64-x86_64.cmake"
  local options=(-DCMAKE_BUILD_TYPE=Release -DWITH_TLS=OFF -DWITH_STATIC_LIBRARIES=ON
    -DWITH_CJSON=OFF -DWITH_CLIENTS=OFF -DWITH_BROKER=OFF -DWITH_APPS=OFF -DWITH_PLUGINS=OFF
    -DDOCUMENTATION=OFF -DWITH_THREADING=OFF -DWITH_SOCKS=OFF -DWITH_UNIX_SOCKETS=OFF)
  local lib="$dir/mingw64/lib/libmosquitto_static.a"
  local recipe
  recipe="mosquitto $(cat "$dir/source.stamp"); toolchain $(sha256sum <"$toolchain" | cut -d' ' -f1); ${options[*]}"
  if [ -f "$lib" ] && [ "$(cat "$dir/mingw64.stamp" 2>/dev/null)" = "$recipe" ]; then
    return 0
  fi
  need cmake cmake
  need make make
  need x86_64-w64-mingw32-gcc-posix gcc-mingw-w64-x86-64-posix
  need x86_64-w64-mingw32-ar binutils-mingw-w64-x86-64
  echo "mosquitto-windows: building libmosquitto_static with mingw-w64 (about a minute of CPU)" >&2
  rm -rf "$dir/mingw64" "$dir/mingw64.stamp" "$dir/mingw64-build"
  local log="$dir/mingw64-build.log"
  if ! {
    cmake -S "$dir/source" -B "$dir/mingw64-build" -G "Unix Makefiles" \
      -DCMAKE_TOOLCHAIN_FILE="$toolchain" "${options[@]}" &&
      cmake --build "$dir/mingw64-build" --target libmosquitto_static -j"$(nproc)"
  } >"$log" 2>&1; then
    tail -n 40 "$log" >&2
    fail "building libmosquitto_static with mingw-w64 failed (whole log: $log)"
  fi
  mkdir -p "$dir/mingw64/lib"
  cp "$dir/mingw64-build/lib/libmosquitto_static.a" "$lib"
  echo "$recipe" >"$dir/mingw64.stamp"
  echo "mosquitto-windows: built $lib" >&2
}

"$action"
