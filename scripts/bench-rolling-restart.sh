#!/usr/bin/env bash
# Creations through nginx while two instances on one PostgreSQL are restarted
# one after the other (SIGTERM, then started again, every 3 s): how many
# answers fail with docs/scaling.md's earlier proxy settings ("old") and with its
# current ones ("new"). Figures, not a test. Needs nginx (nginx-light).
#   scripts/bench-rolling-restart.sh [rounds]     (default 2)
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/common.sh"
rounds=${1:-2}
nginx=$(command -v nginx || echo /usr/sbin/nginx)
[ -x "$nginx" ] || { echo "${0##*/}: nginx is missing (apt-get install nginx-light)" >&2; exit 1; }
"$root/scripts/build-service.sh" >/dev/null
work=$root/build/bench-rolling-restart
rm -rf "$work"
mkdir -p "$work"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  if [ -f "$work/pg.state" ]; then "$root/scripts/pg-test-server.sh" stop "$work/pg.state" || true; fi
}
trap cleanup EXIT
"$root/scripts/pg-test-server.sh" start "$work/pg.state" >/dev/null
database=$(head -n1 "$work/pg.state")
declare -A instance
start() {  # port
  "$root/build/native/snipora-service" --listen 127.0.0.1:$1 --database "$database" --public-host s.example.org \
    --trusted-proxies 127.0.0.1 --creations-per-minute 0 --access-log off 2>>"$work/service-$1.err" &
  instance[$1]=$!
}
restart() {  # port
  kill -TERM "${instance[$1]}"
  wait "${instance[$1]}" 2>/dev/null || true
  start "$1"
}
proxy_conf() {  # name next-upstream server-flags extra
  cat >"$work/nginx-$1.conf" <<CONF
worker_processes 1; daemon off; pid $work/nginx.pid; error_log $work/nginx-error.log;
events { worker_connections 1024; }
http {
  access_log off;
  upstream snipora { server 127.0.0.1:18281 $3; server 127.0.0.1:18282 $3; keepalive 64; }
  server {
    listen 127.0.0.1:18280;
    location / {
      proxy_pass http://snipora; proxy_http_version 1.1; proxy_set_header Connection "";
      proxy_set_header Host \$host; proxy_set_header X-Forwarded-For \$proxy_add_x_forwarded_for;
      proxy_next_upstream $2; $4
    }
  }
}
CONF
}
proxy_conf old "error timeout" "max_fails=3 fail_timeout=10s" ""
proxy_conf new "error timeout non_idempotent" "max_fails=0" "proxy_next_upstream_tries 3; proxy_connect_timeout 1s;"

printf '%-6s %-5s %10s %10s %12s\n' round side answers failed creations/s
for round in $(seq "$rounds"); do
  for side in old new; do
    start 18281; start 18282
    sleep 1.5
    "$nginx" -c "$work/nginx-$side.conf" &
    proxy=$!
    sleep 0.5
    wrk -t2 -c8 -d14s -s "$root/service/bench/creations.lua" http://127.0.0.1:18280 >"$work/wrk-$side.out" 2>&1 &
    load=$!
    for port in 18281 18282 18281 18282; do sleep 3; restart $port; done
    wait $load
    kill $proxy; wait $proxy 2>/dev/null || true
    for port in 18281 18282; do kill -TERM "${instance[$port]}"; wait "${instance[$port]}" 2>/dev/null || true; done
    read -r _ rps _ _ bad socket < <(grep '^RESULT' "$work/wrk-$side.out")
    answers=$(sed -n 's/^ *\([0-9]*\) requests in.*/\1/p' "$work/wrk-$side.out")
    printf '%-6s %-5s %10s %10s %12s\n' "$round" "$side" "$answers" "$((bad + socket))" "$rps"
  done
done
