#!/usr/bin/env bash
# Runs a Windows program under the project's Wine prefix. CMake uses it as the
# cross-compiling emulator, so ctest runs every test program through it.
# SNIPORA_WINVER (winxp, vista, win7, win10, ...) sets the Windows version that
# this program (by its file name) sees for this run only.
#
# The test programs go through one way in and out (tests/support/program_exit.h):
# the file SNIPORA_EXIT_MARK names says "started" once the program's own code
# runs and its result just before the process ends. So this script can tell
# - a program the platform failed to start: it ended before its first line
#   ran. It is started once more; a second such failure fails the run;
# - a program that ended on the way, without a result: the run fails, with a
#   message, whatever its status;
# - a program hung in the platform's exit path: still there 10 s after its
#   result. It is ended, and the run fails at once rather than at the test
#   runner's timeout.
set -uo pipefail
. "$(dirname "$0")/wine-env.sh"

program=$(basename "$1")
work=$(mktemp -d)
mark=$work/mark
key="HKCU\\Software\\Wine\\AppDefaults\\$program"
cleanup() {
  cat "$work/out" 2>/dev/null
  cat "$work/err" >&2 2>/dev/null
  rm -rf "$work"
  if [ -n "${SNIPORA_WINVER:-}" ]; then "$WINE" reg delete "$key" /f >/dev/null 2>&1; fi
}
trap cleanup EXIT
say() { echo "wine-run.sh: $program $*" >&2; }

# Our test programs carry the variable's name; others (the product) write no mark.
ours=
grep -qa SNIPORA_EXIT_MARK "$1" 2>/dev/null && ours=1
finished() { grep -qx -- '-\{0,1\}[0-9]\{1,\}' "$mark" 2>/dev/null; }

watch_exit() {  # pid
  while kill -0 "$1" 2>/dev/null; do
    if finished; then
      for _ in $(seq 100); do
        kill -0 "$1" 2>/dev/null || return 0
        sleep 0.1
      done
      say "finished (result $(cat "$mark")) but its process did not end within 10 s; it hung in the exit path" \
        "and was ended"
      : >"$work/hung"
      kill -KILL "$1" 2>/dev/null
      return 0
    fi
    sleep 0.2
  done
}

run_once() {
  rm -f "$mark"
  SNIPORA_EXIT_MARK="Z:${mark//\//\\}" "$WINE" "$@" <&0 >"$work/out" 2>"$work/err" &
  pid=$!
  watch_exit "$pid" &
  watcher=$!
  wait "$pid" 2>/dev/null  # no job notice from the shell when the watch ends it
  rc=$?
  kill "$watcher" 2>/dev/null
  wait "$watcher" 2>/dev/null
}

if [ -n "${SNIPORA_WINVER:-}" ]; then
  "$WINE" reg add "$key" /v Version /d "$SNIPORA_WINVER" /f >/dev/null 2>&1
fi
pid=
# whoever ends this script (a test's clean-up, ctest) ends the program too
trap '[ -n "$pid" ] && kill -TERM "$pid" 2>/dev/null; exit 143' TERM INT HUP

run_once "$@"
if [ -n "$ours" ] && [ "$rc" -ne 0 ] && [ ! -e "$mark" ]; then
  say "ended with status $rc before its first line ran (the platform did not start it); starting it again"
  cat "$work/out" "$work/err" >&2
  run_once "$@"
  if [ "$rc" -ne 0 ] && [ ! -e "$mark" ]; then
    say "ended with status $rc before its first line ran, the second time too"
  fi
fi

if [ -e "$work/hung" ]; then
  exit 124
fi
if [ -n "$ours" ] && [ -e "$mark" ] && ! finished; then
  say "ended with status $rc while it ran, before reporting a result (it crashed or was ended)"
  [ "$rc" -ne 0 ] || rc=1
fi
exit "$rc"
