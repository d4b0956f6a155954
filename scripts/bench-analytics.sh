#!/usr/bin/env bash
# Measures what the analytics cost a redirect, and what a day of them holds
# (figures, not tests):
#   scripts/bench-analytics.sh [seconds per run]      (default 8)
# - redirects/s over 20,000 stored codes, wrk with 50 connections
#   (keep-alive), a mix of six user agents (one a crawler), four referrers, a
#   tenth through the QR code and random client addresses through a trusted
#   proxy: the service with the analytics on (a country file loaded) against
#   the same store with --analytics off, paired, the side that goes first
#   changing every round; the median of each side and of the ratios (goal
#   >= 0.95);
# - the memory of one day's counters for 100,000 clicked links, and what
#   writing them adds to an SQLite store per link (service/bench/visit_memory.cpp).
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/common.sh"
seconds=${1:-8}
rounds=${ROUNDS:-4}
case $seconds in ''|*[!0-9]*) echo "bench-analytics.sh: seconds must be a number" >&2; exit 2 ;; esac
command -v wrk >/dev/null || { echo "bench-analytics.sh: wrk is missing (scripts/setup.sh installs it)" >&2; exit 1; }
"$root/scripts/build-service.sh" >/dev/null
native=$root/build/native
work=$root/build/bench-analytics
rm -rf "$work"
mkdir -p "$work"
pids=()
cleanup() { for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done; }
trap cleanup EXIT
wait_port() {
  for _ in $(seq 600); do
    if curl -s -o /dev/null "http://127.0.0.1:$1/zz"; then return 0; fi
    sleep 0.1
  done
  echo "bench-analytics.sh: nothing answers on port $1" >&2
  return 1
}
median() { sort -g | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }

echo "filling a store with 20,000 links, writing a country file ..."
"$native/fill_store" "$work/on.db" 20000 "$work/links.txt" >/dev/null
cp "$work/on.db" "$work/off.db"
perl -e 'use strict; use MaxMind::DB::Writer::Tree;
my $tree = MaxMind::DB::Writer::Tree->new(ip_version => 6, record_size => 24, database_type => "Bench-Country",
  languages => ["en"], description => {en => "bench"}, remove_reserved_networks => 0,
  map_key_type_callback => sub { {country => "map", iso_code => "utf8_string"}->{$_[0]} });
my @codes = qw(DE CN US FR);
for my $i (0 .. 3) { for my $j (0 .. 63) {
  $tree->insert_network("10.$i." . ($j * 4) . ".0/22", {country => {iso_code => $codes[($i + $j) % 4]}}); } }
open my $out, ">:raw", $ARGV[0] or die; $tree->write_tree($out); close $out;' "$work/countries.mmdb"

on_port=18191 off_port=18192
common=(--public-host snip.invalid --creations-per-minute 0 --per-ip-connections 0 --trusted-proxies 127.0.0.1/32)
"$native/snipora-service" --listen 127.0.0.1:$on_port --database "$work/on.db" "${common[@]}" \
  --geoip-database "$work/countries.mmdb" >/dev/null 2>>"$work/service.err" &
pids+=($!)
"$native/snipora-service" --listen 127.0.0.1:$off_port --database "$work/off.db" "${common[@]}" \
  --analytics off >/dev/null 2>>"$work/service.err" &
pids+=($!)
wait_port $on_port
wait_port $off_port
run_wrk() {  # port -> "rps p50ms p99ms non2xx3xx socketerrors"
  wrk -t1 -c50 -d"${seconds}s" --latency -s "$root/service/bench/visits.lua" "http://127.0.0.1:$1" -- "$work/links.txt" |
    sed -n 's/^RESULT //p'
}
echo "warming both caches (one run each) ..."
run_wrk $on_port >/dev/null
run_wrk $off_port >/dev/null
echo "redirects, analytics on against off (wrk -t1 -c50, ${seconds}s, $rounds rounds) ..."
: >"$work/on"; : >"$work/off"; : >"$work/ratio"
for round in $(seq $rounds); do
  if [ $((round % 2)) -eq 1 ]; then a=$(run_wrk $on_port); b=$(run_wrk $off_port)
  else b=$(run_wrk $off_port); a=$(run_wrk $on_port); fi
  echo "${a%% *}" >>"$work/on"; echo "${b%% *}" >>"$work/off"
  awk -v a="${a%% *}" -v b="${b%% *}" 'BEGIN {printf "%.3f\n", a / b}' >>"$work/ratio"
  echo "  round $round: on $a | off $b"
done
echo "the store after the runs: $(curl -s http://127.0.0.1:$on_port/metrics | grep -E '^snipora_(clicks|bot_visits|qr_visits)_total' | tr '\n' ' ')"
echo
echo "| redirects/s (keep-alive, 20,000 codes, the mix) | analytics on | analytics off | on/off (median of pairs) | goal |"
echo "|---|---|---|---|---|"
echo "| median of $rounds rounds | $(median <"$work/on") | $(median <"$work/off") | $(median <"$work/ratio") | >= 0.95 |"
echo
echo "one day's analytics, 100,000 clicked links, 3 different visitors each:"
"$native/visit_memory" "$work/memory.db" 100000 3
