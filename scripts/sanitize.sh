#!/usr/bin/env bash
# Builds the native program and its tests with a sanitizer and runs the native
# unit and end-to-end tests (the Wine tests are not part of these builds):
#   asan  AddressSanitizer + UndefinedBehaviorSanitizer, build/asan
#   tsan  ThreadSanitizer, build/tsan
# Usage: scripts/sanitize.sh [asan|tsan|all]   (default: all)
# Exits non-zero when a build or a test fails, or when any process of the run
# (a test program, or a podiant-server, podiant-send or X11 test client that a
# test started) wrote a sanitizer report. The presets (CMakePresets.json) set
# the sanitizer options; reports go to build/<preset>/sanitizer-report.*, so
# that a report in a program that a test kills at its end is not lost.
set -euo pipefail
source_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$source_dir"

case "${1:-all}" in
  asan) presets=(asan) ;;
  tsan) presets=(tsan) ;;
  all) presets=(asan tsan) ;;
  *)
    echo "usage: $0 [asan|tsan|all]" >&2
    exit 2
    ;;
esac

jobs="$(nproc)"
machine="$(uname -m)"

# ThreadSanitizer (gcc 12) needs the program's memory where its shadow layout
# expects it. Kernels with more mmap randomisation (vm.mmap_rnd_bits 32, the
# default of newer distributions) place libraries outside that layout and
# every TSan program dies at start with "FATAL: ThreadSanitizer: unexpected
# memory mapping". `setarch -R` switches address randomisation off for ctest
# and everything it starts, without privileges and without touching the
# machine's settings. Where a container forbids that personality (a seccomp
# profile may), the tests run as they are, which works on kernels with less
# randomisation.
tsan_launcher=()
if setarch "$machine" -R true 2>/dev/null; then
  tsan_launcher=(setarch "$machine" -R)
fi

seconds() { date +%s; }

# The live processes of the session `$1` (ctest and everything it started),
# read from /proc: the fields after the command name in parentheses are the
# state, the parent, the process group and the session.
session_processes() {
  local stat line fields
  for stat in /proc/[0-9]*/stat; do
    read -r line <"$stat" 2>/dev/null || continue
    read -r -a fields <<<"${line##*) }"
    if [ "${fields[3]}" = "$1" ] && [ "${fields[0]}" != Z ]; then
      stat="${stat#/proc/}"
      echo "${stat%/stat}"
    fi
  done
}

# An interrupted run ends its ctest session too (it does not see the
# terminal's Ctrl+C).
test_session=""
end_test_session() {
  if [ -n "$test_session" ]; then
    # shellcheck disable=SC2046
    kill -KILL $(session_processes "$test_session") 2>/dev/null || true
  fi
  exit 130
}
trap end_test_session INT TERM

run_preset() {
  local preset="$1"
  local binary_dir="$source_dir/build/$preset"
  local start configured built tested
  start=$(seconds)
  # The presets never name a Windows build tree: no Wine tests here.
  # (set -e does not act inside a function called as a condition.)
  cmake --preset "$preset" >/dev/null || return 1
  configured=$(seconds)
  cmake --build --preset "$preset" -j"$jobs" || return 1
  built=$(seconds)

  rm -f "$binary_dir"/sanitizer-report.*
  local launcher=()
  if [ "$preset" = tsan ]; then launcher=("${tsan_launcher[@]}"); fi
  local status=0
  # ctest runs in a session of its own: a test program that a sanitizer ends
  # leaves what it started (an Xvfb, a test client, a podiant-server) behind,
  # and those are ended afterwards by that session's id.
  setsid "${launcher[@]}" ctest --preset "$preset" -j"$jobs" &
  test_session=$!
  wait "$test_session" || status=1
  tested=$(seconds)
  local leftovers
  leftovers=$(session_processes "$test_session")
  test_session=""
  if [ -n "$leftovers" ]; then
    echo "$preset: ending processes that the tests left running:" $leftovers
    # shellcheck disable=SC2086
    kill -KILL $leftovers 2>/dev/null || true
  fi

  local reports=("$binary_dir"/sanitizer-report.*)
  if [ -e "${reports[0]}" ]; then
    status=1
    for report in "${reports[@]}"; do
      echo "==== $report"
      cat "$report"
    done
    echo "$preset: ${#reports[@]} sanitizer report(s), see above" >&2
  fi
  if [ "$preset" = tsan ] && grep -qs "unexpected memory mapping" \
    "$binary_dir/Testing/Temporary/LastTest.log" "$binary_dir"/sanitizer-report.*; then
    echo "tsan: the kernel randomises mmap more than ThreadSanitizer allows and" \
      "'setarch -R' was not available here; run with 'sysctl vm.mmap_rnd_bits=28' (root)" >&2
  fi
  echo "$preset: configure $((configured - start)) s, build $((built - configured)) s," \
    "tests $((tested - built)) s"
  return $status
}

overall=0
for preset in "${presets[@]}"; do
  if run_preset "$preset"; then
    echo "$preset: passed"
  else
    echo "$preset: FAILED" >&2
    overall=1
  fi
done
exit $overall
