#!/usr/bin/env bash
# Runs a Windows program under the project's Wine prefix. CMake uses it as the
# cross-compiling emulator, so ctest runs every test program through it.
# SNIPORA_WINVER (winxp, vista, win7, win10, ...) sets the Windows version that
# this program (by its file name) sees for this run only.
#
# The test programs end through one way out (tests/support/program_exit.h),
# which writes the program's result to the file SNIPORA_EXIT_MARK names just
# before the process ends. A process still there 10 s after that is hung in
# the platform's exit path: it is ended, and the run fails with a message
# saying so, at once rather than at the test runner's timeout.
set -uo pipefail
. "$(dirname "$0")/wine-env.sh"

program=$(basename "$1")
mark=$(mktemp -u)
# The program writes into files, not into the runner's pipes: a Wine service
# that the program starts inherits its output, lives on after it, and would
# hold a pipe open for as long as the wineserver runs.
output=$(mktemp -d)
key="HKCU\\Software\\Wine\\AppDefaults\\$program"
cleanup() {
  cat "$output/out" 2>/dev/null
  cat "$output/err" >&2 2>/dev/null
  rm -rf "$mark" "$output"
  if [ -n "${SNIPORA_WINVER:-}" ]; then "$WINE" reg delete "$key" /f >/dev/null 2>&1; fi
}
trap cleanup EXIT

watch_exit() {  # pid
  while kill -0 "$1" 2>/dev/null; do
    if [ -e "$mark" ]; then
      for _ in $(seq 100); do
        kill -0 "$1" 2>/dev/null || return 0
        sleep 0.1
      done
      echo "wine-run.sh: $program finished (result $(cat "$mark" 2>/dev/null)) but its process did not end" \
        "within 10 s; it hung in the exit path and was ended" >&2
      kill -KILL "$1" 2>/dev/null
      return 0
    fi
    sleep 0.2
  done
}

if [ -n "${SNIPORA_WINVER:-}" ]; then
  "$WINE" reg add "$key" /v Version /d "$SNIPORA_WINVER" /f >/dev/null 2>&1
fi
SNIPORA_EXIT_MARK="Z:${mark//\//\\}" "$WINE" "$@" <&0 >"$output/out" 2>"$output/err" &
pid=$!
# whoever ends this script (a test's clean-up, ctest) ends the program too
trap 'kill -TERM "$pid" 2>/dev/null; exit 143' TERM INT HUP
watch_exit "$pid" &
watcher=$!
wait "$pid"
rc=$?
kill "$watcher" 2>/dev/null
wait "$watcher" 2>/dev/null
if [ -e "$mark" ] && [ "$rc" -eq 137 ] && ! grep -qx 137 "$mark"; then
  exit 124
fi
if [ "$rc" -ne 0 ] && [ ! -e "$mark" ] && grep -qa SNIPORA_EXIT_MARK "$1" 2>/dev/null; then
  echo "wine-run.sh: $program ended with status $rc before reporting a result (it crashed, was ended" \
    "or did not start)" >&2
fi
exit $rc
