#!/usr/bin/env bash
# Builds the benchmarks into build/bench (Release, gcc) and runs them: the
# in-process micro benchmarks, the end-to-end measurements of the native
# podiant-server beside a bare UDP receive loop, and the feedback on a real
# LibreOffice Impress. Prints one markdown table, headed by the machine it ran
# on.
#
# Usage: scripts/bench.sh [--quick]
#   --quick   fewer samples and shorter runs (a smoke test of the benchmarks)
set -euo pipefail
source_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="$source_dir/build/bench"
quick=0
if [ "${1:-}" = "--quick" ]; then quick=1; fi

"$source_dir/scripts/install-packages.sh" bench

cmake -S "$source_dir" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=gcc \
  -DCMAKE_CXX_COMPILER=g++ -DPODIANT_BUILD_TESTS=OFF -DPODIANT_BUILD_BENCHMARKS=ON >/dev/null
cmake --build "$build_dir" --target podiant-micro-bench e2e-bench feedback-bench -j2 >/dev/null

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

micro_args=(--benchmark_repetitions=5 --benchmark_report_aggregates_only=true)
e2e_args=()
if [ "$quick" -eq 1 ]; then
  micro_args=(--benchmark_min_time=0.05)
  e2e_args=(--quick)
fi

echo "micro benchmarks..." >&2
"$build_dir/bench/podiant-micro-bench" "${micro_args[@]}" --benchmark_format=csv \
  >"$work/micro.csv" 2>"$work/micro.err"
echo "end-to-end..." >&2
"$build_dir/bench/e2e-bench" "${e2e_args[@]}" >"$work/e2e.md"
echo "the feedback on Impress..." >&2
"$build_dir/bench/feedback-bench" "${e2e_args[@]}" >"$work/feedback.md"

cpu_model="$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)"
cores="$(grep -c '^processor' /proc/cpuinfo)"
echo "Machine: ${cpu_model:-unknown CPU}, $cores logical cores, Linux $(uname -r)," \
  "$(g++ -dumpfullversion 2>/dev/null | sed 's/^/gcc /')."
echo "Load average at the end: $(cut -d' ' -f1-3 /proc/loadavg);" \
  "net.core.rmem_default $(cat /proc/sys/net/core/rmem_default)," \
  "net.core.rmem_max $(cat /proc/sys/net/core/rmem_max); $(date -u '+%Y-%m-%d %H:%M UTC')."
echo
echo "| Measure | podiant-server, stdout to a pipe | podiant-server, stdout to /dev/null | bare loop, quiet | bare loop, a line per datagram to a pipe |"
echo "|---|---|---|---|---|"
# CSV of Google Benchmark: name,iterations,real_time,cpu_time,time_unit,...
# With repetitions only the medians; a quick run has plain rows.
awk -F, -v quick="$quick" 'NR > 1 && $1 != "" {
  name = $1; gsub(/"/, "", name)
  if (!quick && name !~ /_median$/) next
  sub(/_median$/, "", name)
  printf "| micro, CPU per call: %s | %.0f %s | – | – | – |\n", name, $4, $5
}' "$work/micro.csv"
cat "$work/e2e.md" "$work/feedback.md"
