#!/usr/bin/env bash
# Runs the fuzz targets of the native fuzz build (fuzz/<name>_fuzz.cpp):
#   scripts/fuzz.sh [--no-build] [seconds] [target ...]
# default 600 s each, every target, one after the other. Each starts from its
# seed corpus (build/fuzz/seeds/<target>, real files from the tests'
# generators) and keeps what it learns in build/fuzz/corpus/<target>. A
# finding (crash, sanitizer report, broken promise, leak, an input that takes
# over 10 s) is saved in build/fuzz/findings/ with libFuzzer's report beside
# it, and the script exits 1. Prints executions per second and in total.
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/common.sh"
build=$root/build/fuzz

if [ "${1:-}" = --no-build ]; then
  shift
else
  cmake --build "$build"
fi
seconds=${1:-600}
[ $# -gt 0 ] && shift
case $seconds in ''|*[!0-9]*) echo "fuzz.sh: seconds must be a number, not '$seconds'" >&2; exit 2 ;; esac
if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for source in "$root"/fuzz/*_fuzz.cpp; do
    name=${source##*/}
    targets+=("${name%_fuzz.cpp}")
  done
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
symbolizer=$(command -v llvm-symbolizer-15 || command -v llvm-symbolizer || true)
[ -n "$symbolizer" ] && export ASAN_SYMBOLIZER_PATH=$symbolizer

findings=$build/findings
mkdir -p "$findings"
failed=()
for target in "${targets[@]}"; do
  program=$build/${target}_fuzz
  if [ ! -x "$program" ]; then
    echo "fuzz.sh: $program is missing: run scripts/setup.sh (or build $build)" >&2
    exit 1
  fi
  corpus=$build/corpus/$target
  mkdir -p "$corpus"
  log=$findings/$target.log
  status=0
  "$program" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$findings/$target-" "$corpus" "$build/seeds/$target" >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n1)
  units=$(find "$corpus" -type f | wc -l)
  if [ "$status" -eq 0 ]; then
    printf '%-16s %10s runs in %s s, %8s exec/s, corpus %s: no finding\n' "$target" "${runs:-?}" "$seconds" "${speed:-?}" "$units"
  else
    printf '%-16s FINDING after %s runs (exit status %s); report: %s\n' "$target" "${runs:-?}" "$status" "$log"
    grep -m1 -E 'ERROR: |broken promise|runtime error|Timeout|leak' "$log" || tail -n 20 "$log"
    failed+=("$target")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz.sh: findings in ${failed[*]}" >&2
  exit 1
fi
