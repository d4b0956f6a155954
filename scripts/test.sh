#!/usr/bin/env bash
# Builds what changed and runs every test through ctest: the Windows tests
# under Wine, the service's native tests (service.*), and each fuzz target of
# the native fuzz build for 30 s (the fuzz.* tests; scripts/fuzz.sh runs them
# longer). Starts a virtual X display
# when none is set and keeps one wineserver alive for the whole run. Extra
# arguments go to ctest (e.g. -R Text, or -E '^fuzz\.' without the fuzzing).
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/common.sh"
. "$root/scripts/wine-env.sh"
build=$root/build/$SNIPORA_TEST_ARCH

"$root/scripts/wine-prefix.sh"
cmake --build "$build"
cmake --build "$root/build/fuzz"
"$root/scripts/build-service.sh"

start_wine_session

echo "tests run on the $SNIPORA_TEST_ARCH build"
cd "$build"
ctest --output-on-failure --timeout 120 -j "$(nproc)" "$@"
