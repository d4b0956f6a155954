#!/usr/bin/env bash
# The real program under Wine, told by Snipora.ini beside it where the
# service is (127.0.0.1:PORT), shortens an address through the real service
# (snipora-service, native) with no proxy in the way, and the short address
# it shows, on the service itself, redirects to the address typed.
#   service_host_e2e.sh SNIPORA.EXE SNIPORA_DEMO.EXE
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

unset http_proxy HTTP_PROXY
start_service "$work/links.db" "$work" loopback
# a copy of the program with its settings, so that no other test sees them
mkdir "$work/program"
cp "$program" "$work/program/Snipora.exe"
printf '[Service]\r\nHost=%s\r\n' "$service_public" >"$work/program/Snipora.ini"
"$root/scripts/wine-run.sh" "$work/program/Snipora.exe" >/dev/null 2>&1 &
app_pid=$!
typed="www.example.com/ini/$$?q=1&r=two"
"$WINE" "$demo" "$typed" >"$work/demo.out" 2>&1 || { cat "$work/demo.out"; echo "the program did not shorten" >&2; exit 1; }
short=$(sed -n 's/^short address: *//p' "$work/demo.out" | tr -d '\r')
echo "typed:  $typed"
echo "short:  $short"
case $short in
  "http://$service_public/"???????) ;;
  *) echo "not a short address of the service at $service_public: '$short'" >&2; exit 1 ;;
esac
# the request came straight, byte for byte as through a proxy but for the
# absolute form (the service writes its log about once a second)
request="\"GET /create.php?source=indexpage&url=http%3A%2F%2Fwww.example.com%2Fini%2F$$%3Fq%3D1%26r%3Dtwo"
request+="&submit=Make+TinyURL%21&alias= HTTP/1.0\""
for _ in $(seq 30); do
  grep -qF "$request" "$work/service-access.log" && break
  sleep 0.1
done
if ! grep -qF "$request" "$work/service-access.log"; then
  echo "the service's log has no $request:" >&2
  cat "$work/service-access.log" >&2
  exit 1
fi
followed=$(follow_short_address "$short")
echo "leads:  $followed"
if [ "$followed" != "301 http://$typed" ]; then
  echo "the short address does not lead to the address typed" >&2
  exit 1
fi
