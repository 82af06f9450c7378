#!/usr/bin/env bash
# Builds the libFuzzer targets (tests/fuzz) into build/fuzz with clang and runs
# them, one after the other.
#
#   scripts/fuzz.sh smoke [TARGET...]            a few thousand runs per target
#   scripts/fuzz.sh long [SECONDS] [TARGET...]   SECONDS per target (default 300)
#
# Targets: dispatch key_text number settings projector_functions send_command osc
# (all when none is named). Every target runs on a copy of its seed corpus
# (tests/fuzz/corpus/<target>) in a scratch directory, so the repository's
# corpus stays as it is; new corpus entries and crash reproducers are kept
# there (PODIANT_FUZZ_WORK names the directory; by default a new one under
# /tmp, removed after a smoke run without failures). The exit status is
# non-zero when a target crashed, hung, leaked or broke a check.
set -euo pipefail
source_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="$source_dir/build/fuzz"
fuzz_dir="$source_dir/tests/fuzz"
all_targets=(dispatch key_text number settings projector_functions send_command osc)

usage() {
  sed -n '2,14p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'
  exit 2
}

mode="${1:-}"
shift || true
seconds=300
case "$mode" in
  smoke) ;;
  long)
    if [ $# -gt 0 ] && [[ "$1" =~ ^[0-9]+$ ]]; then
      seconds="$1"
      shift
    fi
    ;;
  *) usage ;;
esac
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then targets=("${all_targets[@]}"); fi
for target in "${targets[@]}"; do
  [ -d "$fuzz_dir/corpus/$target" ] || { echo "unknown target: $target" >&2; usage; }
done

# The longest input each target is given: a datagram holds up to 65,536 bytes.
max_len_of() {
  case "$1" in
    dispatch | osc) echo 65536 ;;
    number) echo 512 ;;
    *) echo 4096 ;;
  esac
}

cmake -S "$source_dir" -B "$build_dir" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
  -DPODIANT_FUZZ=ON -DPODIANT_BUILD_TESTS=OFF >/dev/null
cmake --build "$build_dir" --target podiant_fuzz_targets -j2

work_dir="${PODIANT_FUZZ_WORK:-$(mktemp -d /tmp/podiant-fuzz.XXXXXX)}"
mkdir -p "$work_dir"
echo "scratch directory: $work_dir"

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:symbolize=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

failed=()
for target in "${targets[@]}"; do
  target_dir="$work_dir/$target"
  mkdir -p "$target_dir/corpus" "$target_dir/artifacts"
  cp -n "$fuzz_dir/corpus/$target/"* "$target_dir/corpus/" 2>/dev/null || true
  options=(
    "-dict=$fuzz_dir/$target.dict" "-max_len=$(max_len_of "$target")" -timeout=10
    -rss_limit_mb=2048 -print_final_stats=1 "-artifact_prefix=$target_dir/artifacts/"
  )
  if [ "$mode" = smoke ]; then
    options+=(-runs=5000)
  else
    options+=("-max_total_time=$seconds")
  fi
  log="$target_dir/fuzz.log"
  echo "== $target"
  if "$build_dir/tests/fuzz/fuzz_$target" "${options[@]}" "$target_dir/corpus" >"$log" 2>&1; then
    grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n1 || true
    grep -E 'stat::(number_of_executed_units|average_exec_per_sec|new_units_added)' "$log" || true
  else
    failed+=("$target")
    echo "FAILED: $target (log: $log, reproducers in $target_dir/artifacts/)"
    grep -E 'ERROR|runtime error|fuzz check failed|SUMMARY|Test unit written' "$log" | head -n 20 || true
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "failed targets: ${failed[*]} (scratch directory kept: $work_dir)"
  exit 1
fi
if [ "$mode" = smoke ] && [ -z "${PODIANT_FUZZ_WORK:-}" ]; then
  rm -rf "$work_dir"
else
  echo "corpus and logs kept in $work_dir"
fi
