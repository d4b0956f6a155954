#!/usr/bin/env bash
# The soak: drives the real program through 10,000 shortenings, 1,000 openings
# of About and 1,000 repaints of the banner, header and footer, and prints how
# much its memory grew over each (goal: < 256 kB), beside what as many bare
# WinINet requests cost the platform alone. Run scripts/setup.sh first.
#   scripts/soak.sh [shortenings abouts repaints]
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/common.sh"
. "$root/scripts/wine-env.sh"
build=$root/build/$SNIPORA_TEST_ARCH
"$root/scripts/wine-prefix.sh"
cmake --build "$build" --target snipora_soak >/dev/null
start_wine_session
figures=$(mktemp)
status=0
"$WINE" "$build/app/snipora_soak.exe" "$@" </dev/null >"$figures" || status=$?
iconv -f GBK -t UTF-8 <"$figures"
rm -f "$figures"
case $status in
  0) ;;
  2) echo "soak.sh: a phase grew by more than the goal" >&2; exit 2 ;;
  *) echo "soak.sh: the soak could not drive the program (exit status $status)" >&2; exit "$status" ;;
esac
