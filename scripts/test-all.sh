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

# Each step's failure is remembered and the run goes on; the end of the log
# names the failed steps and shows the end of each failed test's output, so
# that a log that only keeps its tail still says what went wrong.
rm -f build/*/Testing/Temporary/LastTestsFailed*.log
failed_steps=()
step() {
  local name="$1"
  shift
  "$@" || failed_steps+=("$name")
}

# The end of the output of each test that failed in the build tree `$1`, from
# ctest's own record of the run.
failed_test_output() {
  local dir="$1/Testing/Temporary" name
  for log in "$dir"/LastTestsFailed*.log; do
    [ -f "$log" ] || continue
    while IFS=: read -r _ name; do
      echo "--- $1: $name, the end of its output"
      awk -v name="$name" '
        $0 ~ "^[0-9]+/[0-9]+ Test: " && $3 == name { keep = 1; n = 0; next }
        keep && /^<end of output>/ { keep = 0 }
        keep && /Failure$/ && shown < 120 { context = 10 }
        keep && context > 0 { print; context--; shown++ }
        keep { lines[n++ % 40] = $0 }
        END {
          print "--- its last lines"
          for (i = (n > 40 ? n - 40 : 0); i < n; i++) print lines[i % 40]
        }
      ' "$dir/LastTest.log"
    done <"$log"
  done
}

step "native tests" ctest --preset native -j"$jobs"
step "Windows tests under Wine" ctest --preset windows

# The native unit and end-to-end tests again under AddressSanitizer with
# UndefinedBehaviorSanitizer and under ThreadSanitizer (build/asan, build/tsan).
step "sanitizers" scripts/sanitize.sh all
# Every fuzz target for a few thousand runs (build/fuzz).
step "fuzz smoke runs" scripts/fuzz.sh smoke
# The benchmarks, once and briefly, so that they keep working (build/bench).
step "benchmarks" scripts/bench.sh --quick

if [ "${#failed_steps[@]}" -eq 0 ]; then
  echo "test-all: every step passed"
  exit 0
fi
for dir in build/native build/windows build/asan build/tsan; do
  failed_test_output "$dir"
done
echo "test-all: failed: $(printf '%s; ' "${failed_steps[@]}")"
for dir in build/native build/windows build/asan build/tsan; do
  for log in "$dir"/Testing/Temporary/LastTestsFailed*.log; do
    [ -f "$log" ] && echo "test-all: failed in $dir: $(cut -d: -f2 "$log" | tr '\n' ' ')"
  done
done
exit 1
