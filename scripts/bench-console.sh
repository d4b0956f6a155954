#!/usr/bin/env bash
# The console over many links (1,000,000 by default, COUNT=...): the server
# time of the first page of "my links" and of a substring search, p50 and
# p99 of REQUESTS (200) of the first and SEARCHES (20) of the search, on
# SQLite and on PostgreSQL (STORES="sqlite postgres"); and the weight
# of each page with everything it loads. The time is curl's to the last
# byte over loopback, one request at a time, so it is the server's and the
# loopback's alone. Needs build/native (scripts/build-service.sh).
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/common.sh"
native=$root/build/native
count=${COUNT:-1000000}
requests=${REQUESTS:-200}
searches=${SEARCHES:-20}
stores=${STORES:-sqlite postgres}
work=$(mktemp -d)
service_pid=
cleanup() {
  if [ -n "$service_pid" ]; then kill "$service_pid" 2>/dev/null || true; wait "$service_pid" 2>/dev/null || true; fi
  if [ -f "$work/postgres.state" ]; then "$root/scripts/pg-test-server.sh" stop "$work/postgres.state" || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
host=bench.invalid
port=18291

# p50 and p99 in milliseconds of `requests` GETs of a path with the session's cookie.
timed() {  # path cookie times
  for _ in $(seq "$3"); do
    curl -s -o /dev/null -w '%{time_total}\n' -H "Host: $host" -H "Cookie: $2" "http://127.0.0.1:$port$1"
  done | sort -n | awk '{ t[NR] = $1 * 1000 } END { printf "p50 %.1f ms, p99 %.1f ms", t[int(NR * 0.5 + 0.5)], t[int(NR * 0.99 + 0.5)] }'
}

# The bytes of a page and of every file it names under /static/.
weight() {  # path cookie
  local page bytes
  page=$(curl -s -H "Host: $host" -H "Cookie: $2" "http://127.0.0.1:$port$1")
  bytes=${#page}
  for file in $(grep -o '/static/[a-z.]*' <<<"$page" | sort -u); do
    bytes=$((bytes + $(curl -s -o /dev/null -w '%{size_download}' -H "Host: $host" "http://127.0.0.1:$port$file")))
  done
  echo "$bytes"
}

run_on() {  # label database owner-sql-runner
  local label=$1 database=$2
  echo "$label: filling $count links ..."
  "$native/fill_store" "$database" "$count" "$work/links.txt"
  # every link the bench person's, as a creator's own links are
  $3 "UPDATE links SET owner = 'bench'"
  # as the database's own statistics would soon have it
  $3 "ANALYZE links"
  local key cookie
  key=$("$native/snipora-service" key create --database "$database" --name bench --role creator 2>/dev/null)
  "$native/snipora-service" --database "$database" --listen "127.0.0.1:$port" --public-host "$host" \
    --access-log off --cache-size 0 >/dev/null 2>"$work/service.log" &
  service_pid=$!
  for _ in $(seq 100); do curl -sf -o /dev/null "http://127.0.0.1:$port/healthz" && break; sleep 0.1; done
  cookie=$(curl -s -D - -o /dev/null -H "Host: $host" -H "Origin: http://$host" --data "key=$key" \
    "http://127.0.0.1:$port/console/sign-in" | tr -d '\r' | sed -n 's/^Set-Cookie: \([^;]*\).*/\1/p')
  echo "  first page of my links: $(timed /console/ "$cookie" "$requests")"
  echo "  substring search (one match): $(timed "/console/?q=articles%2F4242%2F" "$cookie" "$searches")"
  echo "  weight: my links $(weight /console/ "$cookie") B, new links $(weight /console/new "$cookie") B," \
    "sign-in $(weight /console/sign-in "") B"
  kill "$service_pid" || true
  wait "$service_pid" 2>/dev/null || true
  service_pid=
}

if [[ " $stores " == *" sqlite "* ]]; then run_on SQLite "$work/links.db" "sqlite3 $work/links.db"; fi
if [[ " $stores " == *" postgres "* ]]; then
  "$root/scripts/pg-test-server.sh" start "$work/postgres.state"
  pg=$(head -n1 "$work/postgres.state")
  run_on PostgreSQL "$pg" "psql -q $pg -c"
fi
