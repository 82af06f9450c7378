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
xvfb_pid=""
cleanup() {
  set +e
  if [ -n "${WINEPREFIX:-}" ]; then /usr/lib/wine/wineserver -k >/dev/null 2>&1; fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; fi
  rm -rf "$work_dir"
}
trap cleanup EXIT

exec 3>"$work_dir/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >"$work_dir/xvfb.log" 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 100); do
  [ -s "$work_dir/display" ] && break
  sleep 0.1
done
export DISPLAY=":$(head -n1 "$work_dir/display")"
echo "Xvfb on $DISPLAY (pid $xvfb_pid)"

export WINEPREFIX="$work_dir/wineprefix" WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
# The wineserver is started on its own, so that no test's pipe is inherited by it.
/usr/lib/wine/wineserver -p </dev/null >/dev/null 2>&1
/usr/lib/wine/wine64 wineboot --init </dev/null >/dev/null 2>&1
# No window manager runs on this display for the Wine tests: Wine draws the
# title bars itself, so that windows and screenshots look as on Windows.
/usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f \
  </dev/null >/dev/null 2>&1
# The new prefix is started once more before the tests. Right after its
# creation it runs two service managers for a while, and the first
# out-of-process COM activation then never completes (measured: the class
# server starts, but its registration never reaches the client).
/usr/lib/wine/wineserver -k
/usr/lib/wine/wineserver -w
/usr/lib/wine/wineserver -p </dev/null >/dev/null 2>&1

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
