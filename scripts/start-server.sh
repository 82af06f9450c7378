#!/usr/bin/env bash
# Builds the native program and starts it in the current directory, where it
# reads podiant.ini. Stop it with Ctrl+C.
set -euo pipefail
source_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$source_dir/scripts/install-packages.sh" run
cmake -S "$source_dir" -B "$source_dir/build/server" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPODIANT_BUILD_TESTS=OFF >/dev/null
cmake --build "$source_dir/build/server" --target podiant-server podiant-send -j"$(nproc)"
exec "$source_dir/build/server/shell/podiant-server"
