#!/usr/bin/env bash
# Builds the benchmarks into build/bench (Release, gcc) and runs them: the
# in-process micro benchmarks, the end-to-end measurements of the native
# podiant-server beside a bare UDP receive loop (and of its OSC port beside
# its command port), and the feedback on a real
# LibreOffice Impress. Prints one markdown table, headed by the machine it ran
# on. Where the Windows build (build/windows, preset windows, with its tests)
# is configured, a second table measures the Windows program under Wine, in a
# Wine session of its own (with a slide show open on the stand-in PowerPoint
# of the tests).
#
# Usage: scripts/bench.sh [--quick]
#   --quick   fewer samples and shorter runs (a smoke test of the benchmarks)
# VENUE_MINUTES=5 runs the Venue view's load of 50 rooms for that long.
set -euo pipefail
source_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="$source_dir/build/bench"
quick=0
if [ "${1:-}" = "--quick" ]; then quick=1; fi

"$source_dir/scripts/install-packages.sh" bench

cmake -S "$source_dir" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=gcc \
  -DCMAKE_CXX_COMPILER=g++ -DPODIANT_BUILD_TESTS=OFF -DPODIANT_BUILD_BENCHMARKS=ON >/dev/null
cmake --build "$build_dir" --target podiant-micro-bench e2e-bench feedback-bench wine-bench web-bench \
  mqtt-bench bench-stand-in-office -j2 >/dev/null

work="$(mktemp -d)"
x11_pids=()
trap 'kill "${x11_pids[@]}" 2>/dev/null || true; rm -rf "$work"' EXIT

# The foreground check runs against a private X display with a window
# manager, when Xvfb and openbox are installed; without them its row is left
# out.
micro_display=()
if command -v Xvfb >/dev/null && command -v openbox >/dev/null; then
  exec 3>"$work/display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  x11_pids+=($!)
  exec 3>&-
  for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
  done
  micro_display=(DISPLAY=":$(head -n1 "$work/display")")
  env "${micro_display[@]}" HOME="$work" XDG_CONFIG_HOME="$work/config" openbox --sm-disable \
    >/dev/null 2>&1 &
  x11_pids+=($!)
fi

micro_args=(--benchmark_repetitions=5 --benchmark_report_aggregates_only=true)
e2e_args=()
if [ "$quick" -eq 1 ]; then
  micro_args=(--benchmark_min_time=0.05)
  e2e_args=(--quick)
fi

echo "micro benchmarks..." >&2
env -u DISPLAY "${micro_display[@]}" "$build_dir/bench/podiant-micro-bench" "${micro_args[@]}" \
  --benchmark_format=csv >"$work/micro.csv" 2>"$work/micro.err"
echo "end-to-end..." >&2
"$build_dir/bench/e2e-bench" "${e2e_args[@]}" >"$work/e2e.md"
echo "the feedback on Impress..." >&2
"$build_dir/bench/feedback-bench" "${e2e_args[@]}" >"$work/feedback.md"
echo "the web remote..." >&2
"$build_dir/bench/web-bench" "${e2e_args[@]}" --server "$build_dir/shell/podiant-server" \
  --clients "$source_dir/bench/web_clients.py" >"$work/web.md"
echo "the venue link..." >&2
"$build_dir/bench/mqtt-bench" "${e2e_args[@]}" | tail -n +3 >"$work/mqtt.md"
echo "the Venue view in Chromium..." >&2
venue_args=("${e2e_args[@]}")
if [ -n "${VENUE_MINUTES:-}" ]; then venue_args+=(--minutes "$VENUE_MINUTES"); fi
/usr/bin/python3 "$source_dir/bench/venue_page_bench.py" "${venue_args[@]}" \
  --server "$build_dir/shell/podiant-server" >"$work/venue.md"

windows_dir="$source_dir/build/windows"
# The probe that reads the window is built with the Windows tests.
if grep -qs '^PODIANT_BUILD_TESTS:BOOL=ON' "$windows_dir/CMakeCache.txt"; then
  echo "the Windows program under Wine..." >&2
  cmake --build "$windows_dir" --target podiant-server podiant-probe powerpoint-standin -j2 >/dev/null
  # The session prints its display on standard output: only the table's rows are kept.
  "$source_dir/scripts/wine-session.sh" "$build_dir/bench/wine-bench" "${e2e_args[@]}" \
    --server "$windows_dir/shell/podiant-server.exe" \
    --probe "$windows_dir/tests/wine_probe/podiant-probe.exe" \
    --standin "$windows_dir/tests/e2e/presentation/powerpoint-standin.exe" \
    --clients "$source_dir/bench/web_clients.py" | grep '^|' >"$work/wine.md"
else
  echo "no Windows build with tests in $windows_dir: the program under Wine is not measured" >&2
fi

cpu_model="$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)"
cores="$(grep -c '^processor' /proc/cpuinfo)"
echo "Machine: ${cpu_model:-unknown CPU}, $cores logical cores, Linux $(uname -r)," \
  "$(g++ -dumpfullversion 2>/dev/null | sed 's/^/gcc /')."
echo "Load average at the end: $(cut -d' ' -f1-3 /proc/loadavg);" \
  "net.core.rmem_default $(cat /proc/sys/net/core/rmem_default)," \
  "net.core.rmem_max $(cat /proc/sys/net/core/rmem_max); $(date -u '+%Y-%m-%d %H:%M UTC')."
echo
echo "| Measure | podiant-server, stdout to a pipe | podiant-server, stdout to /dev/null | bare loop, quiet | bare loop, a line per datagram to a pipe | podiant-server with an OSC port, datagrams, stdout to a pipe | podiant-server with an OSC port, OSC messages to it, stdout to a pipe |"
echo "|---|---|---|---|---|---|---|"
# CSV of Google Benchmark: name,iterations,real_time,cpu_time,time_unit,
# bytes_per_second,items_per_second,label,error_occurred,... With repetitions
# only the medians; a quick run has plain rows. A benchmark measured in real
# time (the foreground check, which waits for the X server) shows its wall
# time; a skipped one is left out.
awk -F, -v quick="$quick" 'NR > 1 && $1 != "" && $9 != "true" {
  name = $1; gsub(/"/, "", name)
  if (!quick && name !~ /_median$/) next
  sub(/_median$/, "", name)
  what = "CPU per call"; value = $4
  if (name ~ /\/real_time$/) { sub(/\/real_time$/, "", name); what = "wall time per call"; value = $3 }
  printf "| micro, %s: %s | %.0f %s | – | – | – | – | – |\n", what, name, value, $5
}' "$work/micro.csv"
cat "$work/e2e.md" "$work/feedback.md"
echo
echo "| Measure: the web remote (native) | figure |"
echo "|---|---|"
cat "$work/web.md"
echo
echo "| Measure: the venue link (MQTT, native) | figure |"
echo "|---|---|"
cat "$work/mqtt.md"
echo
echo "| Measure: the web remote's Venue view (native, Chromium) | figure |"
echo "|---|---|"
cat "$work/venue.md"
if [ -s "$work/wine.md" ]; then
  echo
  echo "| Measure: the Windows program under Wine | figure |"
  echo "|---|---|"
  cat "$work/wine.md"
fi
