# Sourced by scripts that run the shortening service natively beside the
# program. start_service DATABASE LOGFOLDER [loopback] starts build/native's
# snipora-service on a free loopback port and sets service_pid, service_port
# and service_public (the host of its short addresses). Without "loopback"
# that host is the program's compiled-in one (snip.invalid, reached through a
# proxy); with it the service's own address, 127.0.0.1:PORT, for a program
# told to go there directly (Snipora.ini), whose short addresses can be
# followed without a proxy. Further options for the service may be put in the
# array service_options before the call.
service_pid=
service_port=
service_public=
start_service() {
  local database=$1 logs=$2 where=${3:-} program port attempt
  program=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/native/snipora-service
  if [ ! -x "$program" ]; then
    echo "${0##*/}: $program is not built (run scripts/setup.sh)" >&2
    return 1
  fi
  mkdir -p "$logs"
  # The loopback port must be known before the start, as it is part of the
  # public host: another program may take it meanwhile, so a few tries.
  for attempt in 1 2 3 4 5; do
    port=0
    service_public=snip.invalid
    if [ "$where" = loopback ]; then
      port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
      service_public=127.0.0.1:$port
    fi
    "$program" --listen "127.0.0.1:$port" --database "$database" --public-host "$service_public" \
      ${service_options[@]+"${service_options[@]}"} >"$logs/service-access.log" 2>"$logs/snipora-service.err" </dev/null &
    service_pid=$!
    for _ in $(seq 100); do
      service_port=$(sed -n 's/.*(port \([0-9]*\)).*/\1/p' "$logs/snipora-service.err" 2>/dev/null | head -n1)
      [ -n "$service_port" ] && return 0
      kill -0 "$service_pid" 2>/dev/null || break
      sleep 0.1
    done
    kill "$service_pid" 2>/dev/null || true
    wait "$service_pid" 2>/dev/null || true
    service_pid=
    [ "$where" = loopback ] && grep -qi 'in use' "$logs/snipora-service.err" || break
  done
  echo "${0##*/}: snipora-service did not start:" >&2
  cat "$logs/snipora-service.err" >&2
  return 1
}

# Where the short address http://HOST/CODE leads: the service's redirect, not
# followed further; asked of the service directly when HOST is its own
# address, otherwise through the service as the program's proxy.
follow_short_address() {
  local route=(--proxy "http://127.0.0.1:$service_port")
  case $1 in "http://127.0.0.1:$service_port/"*) route=(--noproxy '*') ;; esac
  curl -s -o /dev/null --max-time 10 "${route[@]}" -w '%{http_code} %{redirect_url}' "$1"
}
