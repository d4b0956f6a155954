#!/usr/bin/env bash
# The real program under Wine shortens an address through the real service
# (snipora-service, native), and the short address it shows redirects to the
# address typed.
#   service_e2e.sh SNIPORA.EXE SNIPORA_DEMO.EXE
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/common.sh"
. "$root/scripts/wine-env.sh"
. "$root/scripts/service-start.sh"
program=$1 demo=$2
work=$(mktemp -d)
app_pid=
cleanup() {
  if [ -n "$app_pid" ]; then "$WINE" "$demo" --close >/dev/null 2>&1 || true; wait "$app_pid" 2>/dev/null || true; fi
  if [ -n "$service_pid" ]; then kill "$service_pid" 2>/dev/null || true; wait "$service_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

start_service "$work/links.db" "$work"
export http_proxy=http://127.0.0.1:$service_port
"$root/scripts/wine-run.sh" "$program" >/dev/null 2>&1 &
app_pid=$!
# shorten_and_follow TYPED EXPECTED: types (or pastes) TYPED into the program,
# and the short address it shows must redirect to EXPECTED.
shorten_and_follow() {
  local typed=$1 expected=$2 short followed
  "$WINE" "$demo" "$typed" >"$work/demo.out" 2>&1 || { cat "$work/demo.out"; echo "the program did not shorten" >&2; exit 1; }
  short=$(sed -n 's/^short address: *//p' "$work/demo.out" | tr -d '\r')
  echo "typed:  $typed"
  echo "short:  $short"
  case $short in
    http://snip.invalid/???????) ;;
    *) echo "not a short address of the service: '$short'" >&2; exit 1 ;;
  esac
  followed=$(follow_short_address "$short")
  echo "leads:  $followed"
  if [ "$followed" != "301 $expected" ]; then
    echo "the short address does not lead to $expected" >&2
    exit 1
  fi
}

shorten_and_follow "www.example.com/e2e/$$?q=1&r=two" "http://www.example.com/e2e/$$?q=1&r=two"

# An address with Chinese in its host, path and query, pasted as people enter
# one: the program sends it as UTF-8, and the short address leads to its wire
# form, the host in IDNA and the rest as %XX of UTF-8, which any client follows.
shorten_and_follow "例子.cn/路径/$$?词=值" "http://xn--fsqu00a.cn/%E8%B7%AF%E5%BE%84/$$?%E8%AF%8D=%E5%80%BC"
