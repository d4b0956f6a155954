#!/usr/bin/env bash
# Runs Snipora against the project's shortening service, snipora-service,
# started natively (its links in build/run/links.db, its access log in
# build/run/service-access.log). The program started is a copy in build/run/
# with a Snipora.ini beside it that names the service's address
# (127.0.0.1:PORT), so it asks the service directly, and the short addresses
# the service hands out are on that address too. The author's online-status
# picture in the About window comes from the local test service, the
# program's proxy for that alone. With a display you work in the real window;
# without one (a server, CI) the run happens under a virtual display: an
# example address is typed and shortened through the window, the short
# address and the clipboard are printed, and screenshots are saved
# (build/run/snipora.png, and the About window in build/run/about.png).
# Afterwards the short address is followed (one step, straight to the
# service) and where it leads is printed: the address typed.
# SNIPORA_WINVER=winxp|win7|win10 chooses the Windows version the program sees
# (win7 shows the glass window, the others the classic one). Arguments: the
# address to shorten in the unattended run.
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/common.sh"
. "$root/scripts/wine-env.sh"
. "$root/scripts/service-start.sh"
build=$root/build/$SNIPORA_TEST_ARCH
state=$root/build/run
mkdir -p "$state"
"$root/scripts/wine-prefix.sh"

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  # SIGTERM: the service finishes, writes its counted clicks and closes the store
  if [ -n "$service_pid" ]; then kill "$service_pid" 2>/dev/null || true; wait "$service_pid" 2>/dev/null || true; fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  stop_wineserver
}
trap cleanup EXIT

interactive=1
[ -n "${DISPLAY:-}" ] || interactive=
start_display
start_wineserver

start_service "$state/links.db" "$state" loopback
echo "snipora-service on 127.0.0.1:$service_port (links in $state/links.db)"
cp "$build/app/Snipora.exe" "$state/Snipora.exe"
printf '[Service]\r\nHost=%s\r\n' "$service_public" >"$state/Snipora.ini"
echo "program:        $state/Snipora.exe, its Snipora.ini names $service_public"
# the local service prints the port it listens on
"$WINE" "$build/tests/support/local_service/local_service.exe" \
  >"$state/service.out" 2>"$state/service.err" </dev/null &
pids+=($!)
port=
for _ in $(seq 100); do
  port=$(grep -o '[0-9]\+' "$state/service.out" 2>/dev/null | head -n1 || true)
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { echo "the local service did not start" >&2; cat "$state/service.err" >&2; exit 1; }
echo "program's proxy on 127.0.0.1:$port (the status picture; the service is asked directly)"

export http_proxy=http://127.0.0.1:$port no_proxy=127.0.0.1
if [ -n "$interactive" ]; then
  echo "Snipora is running; close its window to end."
  "$root/scripts/wine-run.sh" "$state/Snipora.exe"
  exit 0
fi

"$root/scripts/wine-run.sh" "$state/Snipora.exe" >/dev/null 2>&1 &
program=$!
pids+=($program)
"$WINE" "$build/tests/support/snipora_demo.exe" "$@" | iconv -f GBK -t UTF-8 | tee "$state/demo.out"
short=$(sed -n 's/^short address: *//p' "$state/demo.out" | tr -d '\r')
typed=$(sed -n 's/^address typed: *//p' "$state/demo.out" | tr -d '\r')
followed=$(follow_short_address "$short")
echo "leads to:       ${followed#* }"
case $typed in http://*|https://*|HTTP://*|HTTPS://*) ;; *) typed=http://$typed ;; esac
if [ "$followed" != "301 $typed" ]; then
  echo "run.sh: the short address '$short' does not lead to the address typed ($followed)" >&2
  exit 1
fi
import -window root "$state/snipora.png"
echo "screenshot:     $state/snipora.png"
if "$WINE" "$build/tests/support/snipora_demo.exe" --about; then
  import -window root "$state/about.png"
  echo "screenshot:     $state/about.png"
fi
"$WINE" "$build/tests/support/snipora_demo.exe" --close
wait "$program" || true
