#!/usr/bin/env bash
# Measures snipora-service on loopback and prints its goals in one table
# first, then the details (figures, not tests):
#   scripts/bench-service.sh [seconds per run]      (default 8)
# - the goals: redirects/s with every check in place (a tenth of the links
#   expiring, 10,000 hosts denied, keys stored, the access log on, metrics)
#   against the bare server, paired; durable creations/s and where a round
#   of them goes (from /metrics: the commit, and the rest of an answer's
#   time); a cached link's resident bytes at 1,000,000 links against its own;
# - redirects/s over 100,000 stored codes, wrk with 50 connections (keep-alive),
#   against a bare libmicrohttpd server answering the same codes from an
#   in-memory table with the same threads; paired runs, the side that goes
#   first changing every round; the median of each side and of the ratios;
# - the same with HTTP/1.0 and no keep-alive (ab), the desktop program's way;
# - durable creations/s (each answered after its commit), 50 connections;
# - SQLite beside PostgreSQL (a server of its own, scripts/pg-test-server.sh),
#   in the same run: redirects/s with every code cached, and uncached
#   (--cache-size 0: each redirect asks the store), durable creations/s, and
#   the cache's hit rate over the measured run;
# - p50 and p99 latency of each; memory (RSS) with 100,000 codes cached;
# - redirects/s with links' lives in place (a tenth of the links carrying an
#   expiry, 10,000 hosts on the deny list, keys in the store) against the
#   same store without them and the bare server, in rounds of the three;
# - durable creations/s through each door (the form, the JSON API, the
#   plain-text API, the YOURLS, Shlink and Kutt APIs with a key), each run on
#   a fresh copy of the same store, the doors in a turned order every round,
#   beside the form's figure of the same round; a door this build lacks (404
#   or 405) is n/a.
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/common.sh"
seconds=${1:-8}
rounds=3
case $seconds in ''|*[!0-9]*) echo "bench-service.sh: seconds must be a number" >&2; exit 2 ;; esac
for tool in wrk ab; do
  command -v $tool >/dev/null || { echo "bench-service.sh: $tool is missing (scripts/setup.sh installs it)" >&2; exit 1; }
done
"$root/scripts/build-service.sh" >/dev/null
native=$root/build/native
work=$root/build/bench-service
rm -rf "$work"
mkdir -p "$work"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  if [ -f "$work/postgres.state" ]; then "$root/scripts/pg-test-server.sh" stop "$work/postgres.state" || true; fi
}
trap cleanup EXIT

wait_port() {
  for _ in $(seq 600); do
    if curl -s -o /dev/null "http://127.0.0.1:$1/zz"; then return 0; fi
    sleep 0.1
  done
  echo "bench-service.sh: nothing answers on port $1" >&2
  return 1
}
rss_kb() { awk '/^VmRSS/ {print $2}' "/proc/$1/status"; }
field() { awk -v c="$2" '{print $c}' <<<"$1"; }
median() { sort -g | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }

echo "filling a store with 100,000 links ..."
"$native/fill_store" "$work/links.db" 100000 "$work/links.txt"
code=$(head -n1 "$work/links.txt" | cut -d' ' -f1)
# the same links and a creator's key: each door's runs start from a copy
cp "$work/links.db" "$work/doors.db"
bench_key=$("$native/snipora-service" key create --name bench --database "$work/doors.db" 2>/dev/null)

# the same links with lives: a tenth expire (in a year), keys, a long deny list
cp "$work/links.db" "$work/life.db"
python3 - "$work/life.db" <<'PY'
import sqlite3, sys, time
db = sqlite3.connect(sys.argv[1])
db.execute("UPDATE links SET expires = ? WHERE abs(random()) % 10 = 0", (int(time.time()) + 365 * 86400,))
db.commit()
PY
for n in 1 2 3; do
  "$root/build/native/snipora-service" key create --name "bench-$n" --database "$work/life.db" >/dev/null 2>&1
done
awk 'BEGIN { for (i = 0; i < 10000; i++) print "deny-" i ".example" }' >"$work/deny.txt"

service_port=18180 bare_port=18181 life_port=18182
"$native/snipora-service" --listen 127.0.0.1:$service_port --database "$work/links.db" --public-host snip.invalid \
  --creations-per-minute 0 --per-ip-connections 0 >/dev/null 2>"$work/service.err" &
pids+=($!)
service_pid=$!
"$native/bare_redirect_server" $bare_port 2 "$work/links.txt" 2>/dev/null &
pids+=($!)
"$native/snipora-service" --listen 127.0.0.1:$life_port --database "$work/life.db" --public-host snip.invalid \
  --creations-per-minute 0 --per-ip-connections 0 --deny-list "$work/deny.txt" >/dev/null 2>>"$work/service.err" &
pids+=($!)
wait_port $service_port
wait_port $bare_port
wait_port $life_port

run_wrk() {  # port script [file] -> "rps p50ms p99ms non2xx3xx socketerrors"
  local port=$1 script=$2 file=${3:-}
  wrk -t1 -c50 -d"${seconds}s" --latency -s "$script" "http://127.0.0.1:$port" ${file:+-- "$file"} |
    sed -n 's/^RESULT //p'
}
run_ab() {  # port -> "rps p50ms p99ms failed"
  ab -q -n $((seconds * 4000)) -c 50 "http://127.0.0.1:$1/$code" 2>/dev/null | awk '
    /^Requests per second/ {rps=$4} /^Failed requests/ {failed=$3}
    /^  50%/ {p50=$2} /^  99%/ {p99=$2} END {print rps, p50, p99, failed}'
}

pair() {  # name runner... : paired rounds of the service (A) and the bare server (B)
  local name=$1 runner=$2 a b
  : >"$work/$name.a"; : >"$work/$name.b"; : >"$work/$name.ratio"
  for round in $(seq $rounds); do
    if [ $((round % 2)) -eq 1 ]; then
      a=$($runner $service_port); b=$($runner $bare_port)
    else
      b=$($runner $bare_port); a=$($runner $service_port)
    fi
    echo "$a" >>"$work/$name.a"; echo "$b" >>"$work/$name.b"
    awk -v a="${a%% *}" -v b="${b%% *}" 'BEGIN {printf "%.3f\n", a / b}' >>"$work/$name.ratio"
    echo "  $name round $round: service $a | bare $b"
  done
}
redirect_wrk() { run_wrk "$1" "$root/service/bench/redirects.lua" "$work/links.txt"; }

cache_counts() {  # port -> "hits misses"
  curl -s "http://127.0.0.1:$1/metrics" | awk '/^snipora_cache_hits_total / {h=$2} /^snipora_cache_misses_total / {m=$2}
    END {print h, m}'
}
hit_rate() {  # "hits misses" before, after -> percent
  awk -v b="$1" -v a="$2" 'BEGIN {split(b, x, " "); split(a, y, " "); h = y[1] - x[1]; m = y[2] - x[2];
    printf "%.1f", (h + m) ? 100 * h / (h + m) : 0}'
}

echo "warming the cache (one run) ..."
redirect_wrk $service_port >/dev/null
sqlite_before=$(cache_counts $service_port)
echo "redirects, keep-alive (wrk -t1 -c50, ${seconds}s, $rounds rounds each) ..."
pair keepalive redirect_wrk
sqlite_hits=$(hit_rate "$sqlite_before" "$(cache_counts $service_port)")
echo "redirects, HTTP/1.0 without keep-alive (ab -c50) ..."
pair http10 run_ab

echo "redirects with lives in place, beside the same without and the bare server ($rounds rounds) ..."
redirect_wrk $life_port >/dev/null  # warms its cache
: >"$work/life.l"; : >"$work/life.p"; : >"$work/life.b"
for round in $(seq $rounds); do
  # each side first in one round
  case $round in 1) order="l p b" ;; 2) order="p b l" ;; *) order="b l p" ;; esac
  for side in $order; do
    case $side in l) port=$life_port ;; p) port=$service_port ;; b) port=$bare_port ;; esac
    result=$(redirect_wrk $port)
    echo "$result" >>"$work/life.$side"
    echo "  round $round, $side: $result"
  done
done
paste -d' ' "$work/life.l" "$work/life.p" "$work/life.b" |
  awk '{printf "%.3f %.3f\n", $1 / $6, $1 / $11}' >"$work/life.ratios"

echo "durable creations (wrk -t1 -c50, ${seconds}s) ..."
metrics_before=$(curl -s "http://127.0.0.1:$service_port/metrics")
links_before=$(awk '/^snipora_creations_total / {print $2}' <<<"$metrics_before")
creation=$(run_wrk $service_port "$root/service/bench/creations.lua")
echo "  $creation"
metrics=$(curl -s "http://127.0.0.1:$service_port/metrics")
links_after=$(awk '/^snipora_creations_total / {print $2}' <<<"$metrics")
commits=$(awk '/^snipora_commits_total / {print $2}' <<<"$metrics")
# where a round goes: its commit (the writer's transaction, synchronous=FULL)
# and the rest of a creation's answer (waiting for its round, the answer made
# and sent back through the transport), as means over the run
metric_delta() { awk -v n="$1" '$1 == n {print $2}' <<<"$metrics" |
  awk -v b="$(awk -v n="$1" '$1 == n {print $2}' <<<"$metrics_before")" '{printf "%.9f\n", $1 - b}'; }
creation_rounds=$(metric_delta snipora_commit_seconds_count)
round_ms=$(awk -v s="$(metric_delta snipora_commit_seconds_sum)" -v n="$creation_rounds" 'BEGIN {printf "%.3f", n ? 1000 * s / n : 0}')
per_round=$(awk -v c="$((links_after - links_before))" -v n="$creation_rounds" 'BEGIN {printf "%.1f", n ? c / n : 0}')
answer_ms=$(awk -v s="$(metric_delta snipora_creation_seconds_sum)" -v n="$(metric_delta snipora_creation_seconds_count)" \
  'BEGIN {printf "%.3f", n ? 1000 * s / n : 0}')
rounds_per_s=$(awk -v n="$creation_rounds" -v d="$seconds" 'BEGIN {printf "%.0f", n / d}')

service_rss=$(rss_kb $service_pid)

# A service on the port, on a database, with a cache size; its pid in started_pid.
start_service() {  # port database cache-size
  "$native/snipora-service" --listen 127.0.0.1:$1 --database "$2" --public-host snip.invalid \
    --creations-per-minute 0 --per-ip-connections 0 --cache-size $3 >/dev/null 2>>"$work/service.err" &
  started_pid=$!
  pids+=($started_pid)
  wait_port $1
}
stop_service() { kill "$1"; wait "$1" 2>/dev/null || true; }

echo "SQLite without the cache (--cache-size 0, ${seconds}s) ..."
start_service 18184 "$work/links.db" 0
sqlite_uncached=$(redirect_wrk 18184)
echo "  $sqlite_uncached"
stop_service $started_pid

doors=(form api plain yourls shlink kutt)
declare -A door_label=([form]="form, GET /create.php" [api]="API, POST /api/v1/links"
  [plain]="plain text, GET /api-create.php" [yourls]="YOURLS, POST /yourls-api.php"
  [shlink]="Shlink, POST /rest/v3/short-urls" [kutt]="Kutt, POST /api/v2/links")
door_run() {  # door [probe] -> wrk's RESULT line (or its STATUS line: the first answer's status)
  rm -f "$work/door.db" "$work/door.db-wal" "$work/door.db-shm"
  cp "$work/doors.db" "$work/door.db"
  start_service 18187 "$work/door.db" 1000000
  if [ "${2:-}" = probe ]; then
    wrk -t1 -c1 -d1s -s "$root/service/bench/creations.lua" http://127.0.0.1:18187 -- "$1" "$bench_key" probe |
      sed -n 's/^STATUS //p'
  else
    wrk -t1 -c50 -d"${seconds}s" --latency -s "$root/service/bench/creations.lua" http://127.0.0.1:18187 \
      -- "$1" "$bench_key" | sed -n 's/^RESULT //p'
  fi
  stop_service $started_pid
}
echo "durable creations through each door, a fresh store each run (wrk -t1 -c50, ${seconds}s, $rounds rounds) ..."
present=()
for door in "${doors[@]}"; do
  : >"$work/door-$door"
  status=$(door_run $door probe)
  case $status in
    404|405) echo "  $door: answers $status, n/a" ;;
    2??) present+=($door) ;;
    *) echo "  $door: answers ${status:-nothing} to a creation, n/a" ;;
  esac
done
for round in $(seq $rounds); do
  order=("${present[@]:round % ${#present[@]}}" "${present[@]:0:round % ${#present[@]}}")
  for door in "${order[@]}"; do
    result=$(door_run $door)
    echo "$round $result" >>"$work/door-$door"
    echo "  round $round, $door: $result"
  done
done

echo "PostgreSQL: a server of its own, filled with 100,000 links ..."
"$root/scripts/pg-test-server.sh" start "$work/postgres.state"
pg=$(head -n1 "$work/postgres.state")
"$native/fill_store" "$pg" 100000 "$work/pg-links.txt"
start_service 18185 "$pg" 1000000
pg_redirect() { run_wrk "$1" "$root/service/bench/redirects.lua" "$work/pg-links.txt"; }
pg_redirect 18185 >/dev/null  # warms the cache
pg_before=$(cache_counts 18185)
echo "PostgreSQL, cached redirects (${seconds}s) ..."
pg_cached=$(pg_redirect 18185)
echo "  $pg_cached"
pg_hits=$(hit_rate "$pg_before" "$(cache_counts 18185)")
echo "PostgreSQL, durable creations (${seconds}s) ..."
pg_metrics_before=$(curl -s "http://127.0.0.1:18185/metrics")
pg_creation=$(run_wrk 18185 "$root/service/bench/creations.lua")
echo "  $pg_creation"
pg_metrics=$(curl -s "http://127.0.0.1:18185/metrics")
stop_service $started_pid
pg_bytes=$(psql "$pg" -Atc "SELECT pg_total_relation_size('links') / count(*) FROM links")
sqlite_bytes=$(( $(stat -c %s "$work/links.db") / (100000 + links_after - links_before) ))
start_service 18186 "$pg" 0
echo "PostgreSQL without the cache (--cache-size 0, ${seconds}s) ..."
pg_uncached=$(pg_redirect 18186)
echo "  $pg_uncached"
stop_service $started_pid

echo "a cached link's bytes: 1,000,000 links, the resident memory once the cache filled, less an empty store's ..."
"$native/fill_store" "$work/million.db" 1000000 "$work/million.txt"
"$native/fill_store" "$work/empty.db" 0 /dev/null
cache_entries() { curl -s "http://127.0.0.1:$1/metrics" | awk '/^snipora_cache_entries / {print $2}'; }
start_service 18188 "$work/empty.db" 1000000
sleep 2
empty_rss=$(rss_kb $started_pid)
stop_service $started_pid
start_service 18189 "$work/million.db" 1000000
# filled: the count holds still (a shard that is full stops the fill a little short)
last=-1
for _ in $(seq 600); do
  now=$(cache_entries 18189)
  [ "${now:-0}" -gt 0 ] && [ "$now" = "$last" ] && break
  last=$now
  sleep 1
done
sleep 2
million_rss=$(rss_kb $started_pid)
cached=$(cache_entries 18189)
stop_service $started_pid
cached_bytes=$(( (million_rss - empty_rss) * 1024 / (cached > 0 ? cached : 1) ))
# its own bytes: code, address, host, and its life fields (disabled 1,
# expiry 8, click limit 8, clicks 8)
own_bytes=$(awk '{split($2, part, "/"); host = part[3]; sub(/:.*/, "", host);
  total += length($1) + length($2) + length(host) + 25} END {printf "%.0f", NR ? total / NR : 0}' "$work/million.txt")
echo "  $cached cached, ${cached_bytes} bytes each, own bytes $own_bytes"

col() { awk -v c="$2" '{print $c}' "$work/$1" | median; }
echo
printf '%-52s %12s %12s %8s %8s\n' "goal" "service" "bare" "ratio" "goal"
printf '%-52s %12.0f %12.0f %8.2f %8s\n' "redirects/s, every check in place, vs the bare server" "$(col life.l 1)" \
  "$(col life.b 1)" "$(awk '{print $2}' "$work/life.ratios" | median)" "0.95"
printf '%-52s %12.0f %12s %8s %8s\n' "durable creations/s, wrk -c50" "$(field "$creation" 1)" "-" "-" "20000"
printf '%-52s %12s\n' "  rounds/s, creations a round" "$rounds_per_s, $per_round"
printf '%-52s %12s\n' "  a round's commit, ms (mean)" "$round_ms"
printf '%-52s %12s\n' "  a creation's answer, ms (mean, commit included)" "$answer_ms"
printf '%-52s %12s %12s %8.2f %8s\n' "bytes a cached link takes (RSS), vs its own bytes" "$cached_bytes" "$own_bytes" \
  "$(awk -v a="$cached_bytes" -v b="$own_bytes" 'BEGIN {print b ? a / b : 0}')" "1.50"

echo
printf '%-44s %12s %12s %8s %8s\n' "case" "service" "bare" "ratio" "goal"
for name in keepalive http10; do
  label="redirects/s, wrk keep-alive"; goal=0.90
  [ $name = http10 ] && { label="redirects/s, ab HTTP/1.0 no keep-alive"; goal=-; }
  printf '%-44s %12.0f %12.0f %8.2f %8s\n' "$label" "$(col $name.a 1)" "$(col $name.b 1)" \
    "$(median <"$work/$name.ratio")" "$goal"
  printf '%-44s %12.2f %12.2f\n' "  p50 latency ms" "$(col $name.a 2)" "$(col $name.b 2)"
  printf '%-44s %12.2f %12.2f\n' "  p99 latency ms" "$(col $name.a 3)" "$(col $name.b 3)"
done
printf '%-44s %12.0f %12.0f %8.2f %8s\n' "redirects/s with lives (vs the same without)" "$(col life.l 1)" \
  "$(col life.p 1)" "$(awk '{print $1}' "$work/life.ratios" | median)" "0.95"
printf '%-44s %12.0f %12.0f %8.2f %8s\n' "redirects/s with lives (vs the bare server)" "$(col life.l 1)" \
  "$(col life.b 1)" "$(awk '{print $2}' "$work/life.ratios" | median)" "0.95"
printf '%-44s %12.2f %12.2f\n' "  p99 latency ms (with, without)" "$(col life.l 3)" "$(col life.p 3)"
read -r crps cp50 cp99 cbad cerr <<<"$creation"
printf '%-44s %12.0f %12s %8s %8s\n' "durable creations/s, wrk -c50" "$crps" "-" "-" "20000"
printf '%-44s %12.2f\n' "  p50 latency ms" "$cp50"
printf '%-44s %12.2f\n' "  p99 latency ms" "$cp99"
printf '%-44s %12s\n' "  links stored / commits" "$((links_after - links_before)) / $commits"
printf '%-44s %12s\n' "  answers not 2xx/3xx, socket errors" "$cbad, $cerr"
printf '%-44s %9.0f MB\n' "RSS with 100,000 codes cached, after the runs" "$((service_rss / 1024))"

echo
printf '%-44s %12s %12s %8s\n' "durable creations/s by door, wrk -t1 -c50" "creations/s" "p50 ms" "vs form"
for door in "${doors[@]}"; do
  if [ ! -s "$work/door-$door" ]; then printf '%-44s %12s\n' "  ${door_label[$door]}" "n/a"; continue; fi
  # the ratio of each round's run to the form's run of the same round
  ratio=$(join "$work/door-$door" "$work/door-form" | awk '{printf "%.3f\n", $2 / $7}' | median)
  printf '%-44s %12.0f %12.2f %8.2f\n' "  ${door_label[$door]}" "$(col door-$door 2)" "$(col door-$door 3)" "$ratio"
  bad=$(awk '{s += $5 + $6} END {print s}' "$work/door-$door")
  [ "$bad" -eq 0 ] || printf '%-44s %12s\n' "    answers not 2xx/3xx or socket errors" "$bad"
done

delta() {  # metric before-text after-text
  awk -v n="$1" '$1 == n {print $2}' <<<"$3" | awk -v b="$(awk -v n="$1" '$1 == n {print $2}' <<<"$2")" '{print $1 - b}'
}
echo
printf '%-44s %12s %12s\n' "store, wrk -t1 -c50" "SQLite" "PostgreSQL"
row() {  # label sqlite-result pg-result
  printf '%-44s %12.0f %12.0f\n' "$1" "$(field "$2" 1)" "$(field "$3" 1)"
  printf '%-44s %12.2f %12.2f\n' "  p50 latency ms" "$(field "$2" 2)" "$(field "$3" 2)"
  printf '%-44s %12.2f %12.2f\n' "  p99 latency ms" "$(field "$2" 3)" "$(field "$3" 3)"
}
sqlite_cached="$(col keepalive.a 1) $(col keepalive.a 2) $(col keepalive.a 3)"
row "redirects/s, cached" "$sqlite_cached" "$pg_cached"
printf '%-44s %11s%% %11s%%\n' "  cache hit rate" "$sqlite_hits" "$pg_hits"
row "redirects/s, uncached (--cache-size 0)" "$sqlite_uncached" "$pg_uncached"
row "durable creations/s" "$creation" "$pg_creation"
printf '%-44s %12s %12s\n' "  links stored / commits" "$((links_after - links_before)) / $commits" \
  "$(delta snipora_creations_total "$pg_metrics_before" "$pg_metrics") / $(delta snipora_commits_total "$pg_metrics_before" "$pg_metrics")"
printf '%-44s %12s %12s\n' "  answers not 2xx/3xx, socket errors" "$cbad, $cerr" \
  "$(field "$pg_creation" 4), $(field "$pg_creation" 5)"
printf '%-44s %12s %12s\n' "bytes per link stored (~90-byte addresses)" "$sqlite_bytes" "$pg_bytes"
