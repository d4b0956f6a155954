#!/usr/bin/env bash
# Screenshots of Snipora as Windows XP, 7 and 10 show it, each taken under a
# virtual display: writes <folder>/<version>.png (default build/screenshots).
# Run scripts/setup.sh first.
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/common.sh"
. "$root/scripts/wine-env.sh"
exe=$root/build/$SNIPORA_TEST_ARCH/app/Snipora.exe
out=${1:-$root/build/screenshots}
mkdir -p "$out"
"$root/scripts/wine-prefix.sh"

unset DISPLAY  # always a virtual display of its own, the size of the shots
start_display
trap 'kill $xvfb_pid 2>/dev/null || true' EXIT

closer=$root/build/$SNIPORA_TEST_ARCH/tests/support/snipora_demo.exe
failed=()
for version in winxp win7 win10; do
  SNIPORA_WINVER=$version "$root/scripts/wine-run.sh" "$exe" >/dev/null 2>&1 &
  program=$!
  window=
  for _ in $(seq 100); do
    window=$(xdotool search --onlyvisible --name '^Snipora$' 2>/dev/null | head -n1 || true)
    [ -n "$window" ] && break
    sleep 0.2
  done
  if [ -z "$window" ]; then
    echo "$version: no window appeared" >&2
    failed+=("$version")
    kill $program 2>/dev/null || true
    wait $program 2>/dev/null || true
    continue
  fi
  sleep 1
  if eval "$(xdotool getwindowgeometry --shell "$window")" &&
     import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out/$version.png"; then
    echo "$out/$version.png"
  else
    echo "$version: the screenshot failed" >&2
    failed+=("$version")
  fi
  # closed through Win32, as its close box would: X-level keys can miss the window
  "$WINE" "$closer" --close >/dev/null 2>&1 || kill $program 2>/dev/null || true
  wait $program 2>/dev/null || true
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "no screenshot for: ${failed[*]}" >&2
  exit 1
fi
