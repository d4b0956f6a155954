# Sourced first by the project's scripts: strict mode, and a failure that
# ends a script always says which command failed, never a silent exit.
set -Eeuo pipefail
trap 'status=$?; echo "${0##*/}: line $LINENO: \"$BASH_COMMAND\" failed (exit status $status)" >&2; exit $status' ERR

# Starts a virtual X display unless DISPLAY is set; its process id is in
# xvfb_pid (empty when none was started).
xvfb_pid=
start_display() {
  [ -n "${DISPLAY:-}" ] && return 0
  local fifo display
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 7 -screen 0 1024x768x24 -nolisten tcp 7>"$fifo" >/dev/null 2>&1 &
  xvfb_pid=$!
  if ! read -r -t 20 display <"$fifo"; then
    rm -f "$fifo"
    echo "${0##*/}: the virtual display (Xvfb) did not start" >&2
    return 1
  fi
  rm -f "$fifo"
  export DISPLAY=:$display
}

# Keeps one wineserver alive for the prefix (see wine-env.sh) so programs
# start warm. A server that is already running is reused: then own_server
# stays empty and stop_wineserver leaves it alone.
own_server=
start_wineserver() {
  local status=0
  "$WINESERVER" -p </dev/null >/dev/null 2>&1 || status=$?
  case $status in
    0) own_server=1 ;;
    2) ;;  # a server for this prefix is up already
    *) echo "${0##*/}: wineserver for $WINEPREFIX did not start (exit status $status)" >&2; return 1 ;;
  esac
}
stop_wineserver() {
  if [ -n "$own_server" ]; then "$WINESERVER" -k >/dev/null 2>&1 || true; fi
}

# A virtual display when needed and one warm wineserver for the rest of the
# script (otherwise every Windows program waits for the previous server to
# exit and starts cold); both go when the script ends.
start_wine_session() {
  trap end_wine_session EXIT
  start_display
  start_wineserver
  "$WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true   # warm up the services
}
end_wine_session() {
  stop_wineserver
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
}
