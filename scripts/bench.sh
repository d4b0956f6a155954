#!/usr/bin/env bash
# Builds and runs the paired benchmarks (bench/) under Wine and prints one
# table: each case's median time for Snipora (A) and for the bare platform
# doing the same job (B), the median of the pairwise ratios A/B, the goal and
# whether it is met. Every figure comes from one run in which the two sides
# take turns, A B A B ..., so that the machine's changing speed touches both.
#   scripts/bench.sh [rounds]        (default: each benchmark's own)
# A virtual display is started when none is set; the wineserver is kept warm.
#
# Snipora is measured as released: the start-up pairs start the program built
# in the release configuration (scripts/package.sh's: the program alone, -Os,
# unused sections dropped, stripped) in build/release-<arch>; the benchmark
# programs, and the paints and fetches they time, come from the test build of
# the same architecture. That is the 32-bit build, the one that ships,
# wherever the host runs 32-bit code, whatever SNIPORA_TEST_ARCH chooses for
# the tests; only a host that cannot (scripts/test-arch.sh) measures the
# 64-bit build, and the script says so. The start-up pairs also print where
# the time of a start goes, step by step.
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/common.sh"
SNIPORA_TEST_ARCH=$(env -u SNIPORA_TEST_ARCH "$root/scripts/test-arch.sh")
export SNIPORA_TEST_ARCH
. "$root/scripts/wine-env.sh"
build=$root/build/$SNIPORA_TEST_ARCH
release=$root/build/release-$SNIPORA_TEST_ARCH
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
cmake -S "$root" -B "$release" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-$SNIPORA_TEST_ARCH-win32-threads.cmake" \
  -DCMAKE_BUILD_TYPE=MinSizeRel -DCMAKE_CXX_FLAGS_MINSIZEREL="-Os -g -DNDEBUG" \
  -DCMAKE_C_FLAGS_MINSIZEREL="-Os -g -DNDEBUG" \
  -DSNIPORA_PRODUCT_ONLY=ON -DSNIPORA_DEPS_DIR="$root/.deps" >/dev/null
cmake --build "$release" --target snipora
cmake --build "$build" --target benchmarks
mkdir -p "$build/bench/release"
"${SNIPORA_TEST_ARCH}-w64-mingw32-objcopy" --strip-all "$release/app/Snipora.exe" "$build/bench/release/Snipora.exe"
export SNIPORA_BENCH_PROGRAM='release\Snipora.exe'
start_wine_session

rows=$(mktemp)
steps=$(mktemp)
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
  grep '^STEP' "$out" >>"$steps" || true
  rm -f "$out"
done

if [ "$SNIPORA_TEST_ARCH" = i686 ]; then
  echo "measured: the i686 build, the one that ships (Snipora.exe of build/release-i686, stripped; benchmark programs of build/i686)"
else
  echo "measured: the $SNIPORA_TEST_ARCH build, NOT the one that ships: this host does not run 32-bit code (Snipora.exe of build/release-$SNIPORA_TEST_ARCH, stripped; benchmark programs of build/$SNIPORA_TEST_ARCH)"
fi
printf '%-52s %12s %12s %7s %6s  %s\n' case "A median ms" "B median ms" ratio goal met
tr -d '\r' <"$rows" | awk -F'\t' '{
  met = ($6 == "-") ? "reported" : (($5 + 0 <= $6 + 0) ? "yes" : "NO")
  printf "%-52s %12s %12s %7.2f %6s  %s\n", $2, $3, $4, $5, $6, met
}'
# Each step: when it was reached (ms from CreateProcess, median of the traced
# starts) and how long it took from the step before, for Snipora and by hand.
if [ -s "$steps" ]; then
  tr -d '\r' <"$steps" | awk -F'\t' '
    function since(now, before) { return (now == "-" || before == "-") ? "-" : sprintf("%.1f", now - before) }
    $2 != path { path = $2; pa = pb = 0
      printf "\nstart-up, %s: ms from CreateProcess (step took)      %20s %20s\n", path, "Snipora", "hand-written" }
    { a = ($4 == "-") ? "-" : sprintf("%.1f (%s)", $4, since($4, pa))
      b = ($5 == "-") ? "-" : sprintf("%.1f (%s)", $5, since($5, pb))
      printf "  %-52s %20s %20s\n", $3, a, b
      if ($4 != "-") pa = $4
      if ($5 != "-") pb = $5 }'
fi
rm -f "$rows" "$steps"
