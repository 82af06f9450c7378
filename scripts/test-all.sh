#!/usr/bin/env bash
# Builds both targets and the release packages (scripts/package.sh) and runs
# every test: the native tests, the Windows test executables under Wine, the
# end-to-end tests of both programs (the Windows one under Wine on a private
# Xvfb display) and of the packages; then the native tests under the
# sanitizers, the fuzz targets' smoke runs and a quick benchmark run.
set -euo pipefail
source_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$source_dir"
scripts/install-packages.sh test

jobs="$(nproc)"
cmake --preset windows >/dev/null
cmake --build --preset windows -j"$jobs"
# The release packages in dist/ (their own builds), which the package tests
# check, install and run.
scripts/package.sh
cmake --preset native -DPODIANT_WINDOWS_BINARY_DIR="$source_dir/build/windows" \
  -DPODIANT_PACKAGE_DIR="$source_dir/dist" >/dev/null
cmake --build --preset native -j"$jobs"

# A private Wine prefix and X display for this run, removed at the end.
work_dir="$(mktemp -d /tmp/podiant-test.XXXXXX)"
source scripts/wine-session.sh
cleanup() {
  set +e
  stop_wine_session
  rm -rf "$work_dir"
}
trap cleanup EXIT
start_wine_session "$work_dir"

status=0
ctest --preset native -j"$jobs" || status=1
ctest --preset windows || status=1

# The native unit and end-to-end tests again under AddressSanitizer with
# UndefinedBehaviorSanitizer and under ThreadSanitizer (build/asan, build/tsan).
scripts/sanitize.sh all || status=1
# Every fuzz target for a few thousand runs (build/fuzz).
scripts/fuzz.sh smoke || status=1
# The benchmarks, once and briefly, so that they keep working (build/bench).
scripts/bench.sh --quick || status=1
exit $status
