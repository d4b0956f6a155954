#!/usr/bin/env bash
# The program as an organisation hands it out: the service, given the release
# zip (--client-package), offers it at /download/ with a Snipora.ini naming
# itself (127.0.0.1:PORT); the downloaded program, unpacked and run under
# Wine, shortens through the real service (snipora-service, native) with no
# proxy in the way, and the short address it shows, on the service itself,
# redirects to the address typed.
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
# a release zip of the program under test, as scripts/package.sh lays one out
python3 "$root/release/make_zip.py" "$work/Snipora-0.0.0-win32.zip" Snipora.exe="$program" \
  LICENSE.txt="$root/LICENSE"
service_options=(--client-package "$work/Snipora-0.0.0-win32.zip")
start_service "$work/links.db" "$work" loopback
mkdir "$work/program"
curl -sf --noproxy '*' -o "$work/download.zip" "http://127.0.0.1:$service_port/download/Snipora-0.0.0-win32.zip" ||
  { echo "the service offers no download" >&2; exit 1; }
unzip -q "$work/download.zip" -d "$work/program"
ini=$(cat "$work/program/Snipora.ini")
if [ "$ini" != "$(printf '[Service]\r\nHost=%s\r' "$service_public")" ]; then
  echo "the downloaded Snipora.ini does not name the service at $service_public: $ini" >&2
  exit 1
fi
cmp -s "$program" "$work/program/Snipora.exe" || { echo "the downloaded program is not the one packaged" >&2; exit 1; }
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
