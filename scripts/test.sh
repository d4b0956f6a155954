#!/usr/bin/env bash
# Builds what changed and runs every test through ctest: the Windows tests
# under Wine, and each fuzz target of the native fuzz build for 30 s (the
# fuzz.* tests; scripts/fuzz.sh runs them longer). Starts a virtual X display
# when none is set and keeps one wineserver alive for the whole run. Extra
# arguments go to ctest (e.g. -R Text, or -E '^fuzz\.' without the fuzzing).
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/common.sh"
. "$root/scripts/wine-env.sh"
build=$root/build/$SNIPORA_TEST_ARCH

"$root/scripts/wine-prefix.sh"
cmake --build "$build"
cmake --build "$root/build/fuzz"

cleanup() {
  stop_wineserver
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT

start_display
# one server for the whole run: otherwise every test program waits for the
# previous server to exit and starts cold
start_wineserver
"$WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true   # warm up the services

echo "tests run on the $SNIPORA_TEST_ARCH build"
cd "$build"
ctest --output-on-failure --timeout 120 -j "$(nproc)" "$@"
