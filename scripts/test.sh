#!/usr/bin/env bash
# Builds what changed and runs every test through ctest under Wine. Starts a
# virtual X display when none is set and keeps one wineserver alive for the
# whole run. Extra arguments go to ctest (e.g. -R Text).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/wine-env.sh"
build=$root/build/$SNIPORA_TEST_ARCH

"$root/scripts/wine-prefix.sh"
cmake --build "$build"

cleanup() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
  [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ]; then
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 7 -screen 0 1024x768x24 -nolisten tcp 7>"$fifo" >/dev/null 2>&1 &
  xvfb_pid=$!
  read -r -t 20 dispnum <"$fifo" || { echo "Xvfb did not start" >&2; exit 1; }
  rm -f "$fifo"
  export DISPLAY=:$dispnum
fi

# one server for the whole run: otherwise every test program waits for the
# previous server to exit and starts cold
"$WINESERVER" -p </dev/null >/dev/null 2>&1
"$WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true   # warm up the services

echo "tests run on the $SNIPORA_TEST_ARCH build"
cd "$build"
ctest --output-on-failure --timeout 120 -j "$(nproc)" "$@"
