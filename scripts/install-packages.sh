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
run_packages=(cmake make g++ libx11-dev libxtst-dev "${office_packages[@]}" "${web_packages[@]}")
test_packages=(cmake make g++ libx11-dev libxtst-dev "${office_packages[@]}" libgtest-dev
  libgmock-dev googletest g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev wine64 xvfb socat
  imagemagick openbox xdotool x11-utils x11-xkb-utils libbenchmark-dev clang libclang-rt-14-dev
  iproute2 util-linux wixl msitools icoutils zip unzip dpkg-dev lintian systemd
  "${web_packages[@]}" chromium chromium-driver python3-selenium python3-websockets liblo-tools)
bench_packages=(cmake make g++ libx11-dev libxtst-dev libbenchmark-dev iproute2 "${web_packages[@]}"
  python3-websockets liblo-tools "${office_packages[@]}")

case "${1:-test}" in
  run) wanted=("${run_packages[@]}") ;;
  bench) wanted=("${bench_packages[@]}") ;;
  *) wanted=("${test_packages[@]}") ;;
esac

missing=()
for package in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
