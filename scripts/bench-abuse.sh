#!/usr/bin/env bash
# Measures abuse screening on loopback and prints its figures (not tests):
#   scripts/bench-abuse.sh [seconds per run]      (default 4)
# - the check of every link again when a feed changes: 1,000,000 stored
#   links against a feed of 100,000 hosts (plus one host each round, so the
#   version changes), its time as the service logs it, each round;
# - redirects/s (wrk, 50 connections, over the stored codes) while that check
#   runs against the same without it, paired rounds, the side that goes first
#   changing every round; the median of each side and of the ratios;
# - durable creations/s (the form, 50 connections) with the 100,000 entries
#   in force against none, each run on a fresh store, paired likewise.
# The feed is served by python3's http.server (Last-Modified, 304 to
# If-Modified-Since), the service fetching it every second.
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/common.sh"
seconds=${1:-4}
rounds=3
case $seconds in ''|*[!0-9]*) echo "bench-abuse.sh: seconds must be a number" >&2; exit 2 ;; esac
command -v wrk >/dev/null || { echo "bench-abuse.sh: wrk is missing (scripts/setup.sh installs it)" >&2; exit 1; }
"$root/scripts/build-service.sh" >/dev/null
native=$root/build/native
work=$root/build/bench-abuse
rm -rf "$work"
mkdir -p "$work/feed"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT
wait_port() {
  for _ in $(seq 600); do
    if curl -s -o /dev/null "http://127.0.0.1:$1/zz"; then return 0; fi
    sleep 0.1
  done
  echo "bench-abuse.sh: nothing answers on port $1" >&2
  return 1
}
median() { sort -g | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
run_wrk() {  # port script [args] -> "rps p50ms p99ms non2xx3xx socketerrors"
  local port=$1 script=$2; shift 2
  wrk -t1 -c50 -d"${seconds}s" --latency -s "$script" "http://127.0.0.1:$port" ${1:+-- "$@"} | sed -n 's/^RESULT //p'
}
checks() { grep -c 'links checked in' "$work/service.err" || true; }
wait_checks() {  # n: until the service has logged n checks
  for _ in $(seq 1200); do [ "$(checks)" -ge "$1" ] && return 0; sleep 0.05; done
  echo "bench-abuse.sh: the check did not end" >&2; return 1
}

echo "filling a store with 1,000,000 links ..."
"$native/fill_store" "$work/links.db" 1000000 "$work/links.txt"
awk 'BEGIN { for (i = 0; i < 100000; i++) print "0.0.0.0 listed-" i ".bench.invalid" }' >"$work/feed/feed.txt"
feed_port=18290 service_port=18291 plain_port=18292 listed_port=18293
python3 -m http.server --bind 127.0.0.1 --directory "$work/feed" $feed_port >/dev/null 2>&1 &
pids+=($!)
wait_port $feed_port
"$native/snipora-service" --listen 127.0.0.1:$service_port --database "$work/links.db" --public-host snip.invalid \
  --creations-per-minute 0 --per-ip-connections 0 --access-log off \
  --threat-feed "bench=http://127.0.0.1:$feed_port/feed.txt" --threat-feed-interval 1 2>"$work/service.err" &
pids+=($!)
wait_port $service_port
wait_checks 1
echo "first check: $(grep 'links checked in' "$work/service.err" | tail -n1 | sed 's/.*threat feeds: //')"

echo "redirects/s while every link is checked (A) and without (B):"
: >"$work/during"; : >"$work/idle"; : >"$work/ratio"; : >"$work/took"
for round in $(seq $rounds); do
  during() {
    local before; before=$(checks)
    sleep 1  # Last-Modified has a resolution of a second
    echo "0.0.0.0 round-$round.bench.invalid" >>"$work/feed/feed.txt"
    # the next fetch (within a second) starts the check; wrk runs across it
    run_wrk $service_port "$root/service/bench/redirects.lua" "$work/links.txt"
    wait_checks $((before + 1))
    grep 'links checked in' "$work/service.err" | tail -n1 | sed 's/.* in \([0-9]*\) ms.*/\1/' >>"$work/took"
  }
  idle() { run_wrk $service_port "$root/service/bench/redirects.lua" "$work/links.txt"; }
  if [ $((round % 2)) -eq 1 ]; then a=$(during); b=$(idle); else b=$(idle); a=$(during); fi
  echo "${a%% *}" >>"$work/during"; echo "${b%% *}" >>"$work/idle"
  awk -v a="${a%% *}" -v b="${b%% *}" 'BEGIN {printf "%.3f\n", a / b}' >>"$work/ratio"
  echo "  round $round: during the check $a | without $b | check took $(tail -n1 "$work/took") ms"
done
kill "${pids[-1]}"; wait "${pids[-1]}" 2>/dev/null || true; unset 'pids[-1]'

echo "durable creations/s with 100,000 feed entries in force (A) and none (B):"
: >"$work/listed"; : >"$work/plain"; : >"$work/cratio"
create() {  # port extra-options... -> rps
  local port=$1; shift
  rm -f "$work/create.db"*
  "$native/snipora-service" --listen 127.0.0.1:$port --database "$work/create.db" --public-host snip.invalid \
    --creations-per-minute 0 --per-ip-connections 0 --access-log off "$@" 2>>"$work/create.err" &
  local pid=$!
  wait_port $port
  if [ $# -gt 0 ]; then
    for _ in $(seq 200); do
      curl -s "http://127.0.0.1:$port/metrics" | grep -q '^snipora_threat_feed_entries [1-9]' && break
      sleep 0.05
    done
  fi
  run_wrk $port "$root/service/bench/creations.lua" | awk '{print $1}'
  kill $pid; wait $pid 2>/dev/null || true
}
for round in $(seq $rounds); do
  listed() { create $listed_port --threat-feed "bench=http://127.0.0.1:$feed_port/feed.txt"; }
  plain() { create $plain_port; }
  if [ $((round % 2)) -eq 1 ]; then a=$(listed); b=$(plain); else b=$(plain); a=$(listed); fi
  echo "$a" >>"$work/listed"; echo "$b" >>"$work/plain"
  awk -v a="$a" -v b="$b" 'BEGIN {printf "%.3f\n", a / b}' >>"$work/cratio"
  echo "  round $round: with the feed $a | without $b"
done

echo
echo "| figure | median |"
echo "|---|---|"
echo "| check of 1,000,000 links against 100,000 entries (ms) | $(median <"$work/took") |"
echo "| redirects/s during the check | $(median <"$work/during") |"
echo "| redirects/s without it | $(median <"$work/idle") |"
echo "| ratio, during / without (paired) | $(median <"$work/ratio") |"
echo "| creations/s with 100,000 entries | $(median <"$work/listed") |"
echo "| creations/s with none | $(median <"$work/plain") |"
echo "| ratio, with / none (paired) | $(median <"$work/cratio") |"
