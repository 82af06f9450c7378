#!/usr/bin/env bash
# Builds the release packages into dist/:
#   podiant-server-VERSION-win64.msi  the Windows installer
#   podiant-server-VERSION-win64.zip  the same programs and files as one folder
#   podiant-server_VERSION_amd64.deb  the Debian package
# from release builds of their own (build/package-windows, build/package-native).
set -euo pipefail
source_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$source_dir"
scripts/install-packages.sh test
jobs="$(nproc)"
mkdir -p dist

# Windows: the programs and their files staged as one folder, which is what
# the zip holds and what the installer installs.
cmake --preset package-windows >/dev/null
cmake --build --preset package-windows -j"$jobs"
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/package-windows/CMakeCache.txt)"
folder="podiant-server-$version-win64"
stage="build/package-windows/stage/$folder"
rm -rf build/package-windows/stage
cmake --install build/package-windows --prefix "$stage" --strip >/dev/null
epoch="${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}"
find "$stage" -exec touch -h -d "@$epoch" {} +
rm -f "dist/$folder.zip" "dist/$folder.msi"
(cd build/package-windows/stage && find "$folder" | LC_ALL=C sort | zip -q -X -9 -@ "$source_dir/dist/$folder.zip")
packaging/windows/build-msi.sh "$stage" "$version" "dist/$folder.msi"

# Linux, with Debian's hardening flags.
eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
cmake --preset package-native -DCMAKE_C_FLAGS="$CFLAGS $CPPFLAGS" \
  -DCMAKE_CXX_FLAGS="$CXXFLAGS $CPPFLAGS" -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" \
  -DCMAKE_MODULE_LINKER_FLAGS="$LDFLAGS" >/dev/null
cmake --build --preset package-native -j"$jobs"
rm -f dist/podiant-server_"$version"_*.deb
packaging/debian/build-deb.sh build/package-native dist >/dev/null

ls -l dist/"$folder".msi dist/"$folder".zip dist/podiant-server_"$version"_*.deb
