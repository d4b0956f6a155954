#!/usr/bin/env bash
# The soak: drives the real program through 10,000 shortenings, 1,000 openings
# of About and 1,000 repaints of the banner, header and footer under a virtual
# display, and prints how much its memory grew over each (goal: < 256 kB).
# Run scripts/setup.sh first. Arguments: shortenings abouts repaints.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/wine-env.sh"
build=$root/build/$SNIPORA_TEST_ARCH
"$root/scripts/wine-prefix.sh"
cmake --build "$build" --target snipora_soak >/dev/null

fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 7 -screen 0 1024x768x24 -nolisten tcp 7>"$fifo" >/dev/null 2>&1 &
xvfb=$!
trap '"$WINESERVER" -k >/dev/null 2>&1 || true; kill $xvfb 2>/dev/null || true' EXIT
read -r -t 20 display <"$fifo" || { echo "Xvfb did not start" >&2; exit 1; }
rm -f "$fifo"
export DISPLAY=:$display
"$WINE" "$build/app/snipora_soak.exe" "$@" </dev/null | iconv -f GBK -t UTF-8
