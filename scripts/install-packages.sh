#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, when missing.
# Usage: scripts/install-packages.sh run|test|bench
set -euo pipefail

# LibreOffice Impress runs the slide shows on Linux: its SDK builds the
# program's office module, and the gtk3 back end paints full-screen shows
# (with the basic one alone they stayed grey on X servers without a desktop).
office_packages=(libreoffice-impress libreoffice-dev libreoffice-gtk3)
# The web remote: Boost.Beast and nlohmann-json, both header-only (one code for
# both targets), and the QR code drawer that its pairing page embeds.
# libboost1.81-dev conflicts with 1.74's headers (libboost-dev): only it.
web_packages=(libboost1.81-dev nlohmann-json3-dev node-qrcode-generator)
# MQTT: the Linux program links Debian's libmosquitto; the tests start brokers
# of their own from Debian's mosquitto (installing it starts none where there
# is no systemd, and no test uses a broker that the machine may run) and talk
# to them with its clients. The Windows program's libmosquitto is built from
# Debian's source package of mosquitto (see below).
mqtt_packages=(libmosquitto-dev)
mqtt_test_packages=(libmosquitto-dev mosquitto mosquitto-clients openssl)
run_packages=(cmake make g++ libx11-dev libxtst-dev "${office_packages[@]}" "${web_packages[@]}"
  "${mqtt_packages[@]}")
test_packages=(cmake make g++ libx11-dev libxtst-dev "${office_packages[@]}" libgtest-dev
  libgmock-dev googletest g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev wine64 xvfb socat
  imagemagick openbox xdotool x11-utils x11-xkb-utils libbenchmark-dev clang libclang-rt-14-dev
  iproute2 util-linux wixl msitools icoutils zip unzip dpkg-dev lintian systemd
  "${web_packages[@]}" chromium chromium-driver python3-selenium python3-websockets liblo-tools
  "${mqtt_test_packages[@]}")
bench_packages=(cmake make g++ libx11-dev libxtst-dev libbenchmark-dev iproute2 "${web_packages[@]}"
  python3-websockets liblo-tools chromium chromium-driver python3-selenium "${office_packages[@]}"
  "${mqtt_test_packages[@]}")

mode="${1:-test}"
case "$mode" in
  run) wanted=("${run_packages[@]}") ;;
  bench) wanted=("${bench_packages[@]}") ;;
  *) mode="test"; wanted=("${test_packages[@]}") ;;
esac

missing=()
for package in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The source of the Windows program's libmosquitto: Debian's source package of
# mosquitto, fetched with apt into build/deps/mosquitto once (about 10 MB of
# source indexes and 0.8 MB of source, some seconds); the first configure of a
# Windows build tree builds it (cmake/mosquitto.cmake).
if [ "$mode" = test ]; then
  "$(dirname "${BASH_SOURCE[0]}")/mosquitto-windows.sh" fetch
fi
