#!/usr/bin/env bash
# The runner's reading of a test program's start and end (scripts/wine-run.sh):
# a start the platform fails is tried once more, a second one fails the run,
# and a program that ends on the way without its result fails even with
# status 0.
#   wine_run_test.sh PROGRAM_EXIT_CHILD
set -uo pipefail
runner=$(cd "$(dirname "$0")/../.." && pwd)/scripts/wine-run.sh
child=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

# check NAME FAILED_STARTS MODE WANT_STATUS WANT_STARTS WANT_MESSAGE
# (an empty WANT_MESSAGE: the runner says nothing)
check() {
  local name=$1 failures=$2 mode=$3 want_status=$4 want_starts=$5 want_message=$6 status starts said
  rm -f "$work/starts"
  SNIPORA_TEST_FAILED_STARTS="$failures Z:$work/starts" "$runner" "$child" "$mode" >"$work/out" 2>&1
  status=$?
  starts=$(stat -c %s "$work/starts" 2>/dev/null || echo 0)
  if [ -n "$want_message" ]; then grep -qF "$want_message" "$work/out"; else ! grep -q wine-run.sh "$work/out"; fi
  said=$?
  if [ "$status" -ne "$want_status" ] || [ "$starts" -ne "$want_starts" ] || [ "$said" -ne 0 ]; then
    echo "FAILED: $name: status $status (want $want_status), $starts starts (want $want_starts), output:"
    cat "$work/out"
    failed=1
  else
    echo "ok: $name"
  fi
}

check "a failed start is tried again" 1 watched 5 2 "before its first line ran (the platform did not start it); starting it again"
check "two failed starts fail the run" 9 watched 1 2 "before its first line ran, the second time too"
check "ending on the way fails even with status 0" 0 ends-on-the-way 1 1 "while it ran, before reporting a result"
check "a program that finishes is started once" 0 watched 5 1 ""
exit "$failed"
