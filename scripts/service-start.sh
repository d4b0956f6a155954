# Sourced by scripts that run the shortening service natively beside the
# program. start_service DATABASE LOGFOLDER starts build/native's
# snipora-service on a free loopback port, its short addresses on the
# program's service host, and sets service_pid and service_port.
service_pid=
service_port=
start_service() {
  local database=$1 logs=$2 program
  program=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/native/snipora-service
  if [ ! -x "$program" ]; then
    echo "${0##*/}: $program is not built (run scripts/setup.sh)" >&2
    return 1
  fi
  mkdir -p "$logs"
  "$program" --listen 127.0.0.1:0 --database "$database" --public-host snip.invalid \
    >"$logs/service-access.log" 2>"$logs/snipora-service.err" </dev/null &
  service_pid=$!
  for _ in $(seq 100); do
    service_port=$(sed -n 's/.*(port \([0-9]*\)).*/\1/p' "$logs/snipora-service.err" 2>/dev/null | head -n1)
    [ -n "$service_port" ] && return 0
    kill -0 "$service_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "${0##*/}: snipora-service did not start:" >&2
  cat "$logs/snipora-service.err" >&2
  return 1
}

# Where the short address http://HOST/CODE leads: the service's redirect,
# asked through the service as the program's proxy, not followed further.
follow_short_address() {
  curl -s -o /dev/null --max-time 10 --proxy "http://127.0.0.1:$service_port" \
    -w '%{http_code} %{redirect_url}' "$1"
}
