#!/usr/bin/env bash
# Builds and runs the paired benchmarks (bench/) under Wine and prints one
# table: each case's median time for Snipora (A) and for the bare platform
# doing the same job (B), the median of the pairwise ratios A/B, the goal and
# whether it is met. Every figure comes from one run in which the two sides
# take turns, A B A B ..., so that the machine's changing speed touches both.
#   scripts/bench.sh [rounds]        (default: each benchmark's own)
# A virtual display is started when none is set; the wineserver is kept warm.
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/common.sh"
. "$root/scripts/wine-env.sh"
build=$root/build/$SNIPORA_TEST_ARCH
rounds=${1:-}

# One entry a benchmark: its program in bench/ and its arguments. Each prints
# ROW lines (bench/paired_runs.h); the rounds, when given, come last.
benchmarks=(
  "fetch_pair"
  "start_pair classic"
  "start_pair glass"
  "paint_pair banner"
  "paint_pair header"
)

"$root/scripts/wine-prefix.sh"
cmake --build "$build" --target benchmarks
start_wine_session

rows=$(mktemp)
for entry in "${benchmarks[@]}"; do
  read -r -a words <<<"$entry"
  program=$build/bench/${words[0]}.exe
  out=$(mktemp)
  if ! (cd "$build/bench" && "$root/scripts/wine-run.sh" "$program" "${words[@]:1}" $rounds) >"$out" 2>&1; then
    echo "bench.sh: $entry failed:" >&2
    cat "$out" >&2
    rm -f "$out" "$rows"
    exit 1
  fi
  grep '^ROW' "$out" >>"$rows" || { echo "bench.sh: $entry printed no result" >&2; cat "$out" >&2; exit 1; }
  rm -f "$out"
done

printf '%-36s %12s %12s %7s %6s  %s\n' case "A median ms" "B median ms" ratio goal met
tr -d '\r' <"$rows" | awk -F'\t' '{
  met = ($6 == "-") ? "reported" : (($5 + 0 <= $6 + 0) ? "yes" : "NO")
  printf "%-36s %12s %12s %7.2f %6s  %s\n", $2, $3, $4, $5, $6, met
}'
rm -f "$rows"
