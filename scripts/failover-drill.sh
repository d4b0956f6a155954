#!/usr/bin/env bash
# The loss of the database machine, rehearsed on loopback:
#   scripts/failover-drill.sh [SERVICE-PROGRAM]
# starts a PostgreSQL 15 primary with a synchronous streaming standby (a
# replication slot, synchronous_standby_names, synchronous_commit on), two
# service instances on a multi-host address with target_session_attrs=
# read-write, and clients that create and redirect; then kills the primary's
# postmaster (SIGKILL) and promotes the standby (pg_ctl promote), as a
# failover tool does. It prints the figures and exits 1 when a check fails:
# a creation answered 200 missing on the new primary (a false 200), no
# creation answered within 5 s of the promotion, no redirect answered during
# the outage, or a takedown made after the failover not reaching the other
# instance within a second.
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/common.sh"
program=${1:-$root/build/native/snipora-service}
[ -x "$program" ] || { echo "${0##*/}: no program at $program (scripts/build-service.sh builds it)" >&2; exit 2; }
bin=/usr/lib/postgresql/15/bin
[ -x "$bin/pg_ctl" ] || bin=$(dirname "$(command -v pg_ctl)")
user=snipora-pg
creators=${DRILL_CREATORS:-4} redirectors=${DRILL_REDIRECTORS:-2}
before_s=${DRILL_BEFORE:-3} outage_s=${DRILL_OUTAGE:-2} after_s=${DRILL_AFTER:-4}

as_server() {
  if [ "$(id -u)" -eq 0 ]; then (cd / && runuser -u "$user" -- "$@"); else "$@"; fi
}
if [ "$(id -u)" -eq 0 ] && ! id "$user" >/dev/null 2>&1; then
  echo "${0##*/}: the user $user is missing (scripts/setup.sh makes it)" >&2
  exit 1
fi

base=${TMPDIR:-/tmp}
as_server test -x "$base" 2>/dev/null || base=/tmp
work=$(mktemp -d "$base/snipora-drill.XXXXXX")
chmod 755 "$work"
[ "$(id -u)" -eq 0 ] && chown "$user:" "$work"
pids=()
cleanup() {
  trap - ERR
  set +e  # whatever is left is taken down, and the drill's own status stands
  for pid in "${pids[@]}"; do kill -9 "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
  for node in primary standby; do
    [ -f "$work/$node/postmaster.pid" ] &&
      as_server "$bin/pg_ctl" -D "$work/$node" -m immediate -w -t 20 -s stop >/dev/null 2>&1
  done
  # a killed postmaster's children end on their own, seeing it gone
  [ -z "${DRILL_KEEP:-}" ] || cp "$work"/*.out "$work"/*.log "$DRILL_KEEP"/ 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

free_port() {
  local port
  for _ in $(seq 50); do
    port=$((20000 + RANDOM % 20000))
    (exec 3<>/dev/tcp/127.0.0.1/$port) 2>/dev/null || { echo "$port"; return; }
  done
  return 1
}
now_ms() { local t=${EPOCHREALTIME/./}; echo $((t / 1000)); }
sql() {  # port statement
  as_server "$bin/psql" -X -q -t -A -h 127.0.0.1 -p "$1" -U snipora -d postgres -c "$2"
}
start_node() {  # name port options...
  local name=$1 port=$2
  shift 2
  as_server "$bin/pg_ctl" -D "$work/$name" -l "$work/$name.log" -w -t 60 -s \
    -o "-p $port -k $work -c listen_addresses=127.0.0.1 -c fsync=on $*" start
}

p1=$(free_port) && p2=$(free_port) || { echo "${0##*/}: no free port" >&2; exit 1; }
[ "$p1" != "$p2" ] || p2=$((p1 + 1))

# The primary: every commit waits for the standby named standby1 to have it
# on disk (synchronous_commit on), so a creation answered 200 is on both.
as_server "$bin/initdb" -D "$work/primary" -U snipora --auth=trust -E UTF8 --locale=C.UTF-8 >"$work/initdb.log" 2>&1 ||
  { cat "$work/initdb.log" >&2; exit 1; }
start_node primary "$p1" "-c synchronous_standby_names=standby1 -c synchronous_commit=on -c wal_level=replica" ||
  { cat "$work/primary.log" >&2; exit 1; }
sql "$p1" "SELECT pg_create_physical_replication_slot('standby1')" >/dev/null || exit 1
# The standby, from a base backup that writes its primary_conninfo (-R) and
# streams from the slot; its cluster_name is the name the primary waits for.
as_server "$bin/pg_basebackup" -h 127.0.0.1 -p "$p1" -U snipora -D "$work/standby" -R -S standby1 -X stream \
  >"$work/basebackup.log" 2>&1 || { cat "$work/basebackup.log" >&2; exit 1; }
start_node standby "$p2" "-c cluster_name=standby1 -c hot_standby=on" || { cat "$work/standby.log" >&2; exit 1; }
for _ in $(seq 100); do
  [ "$(sql "$p1" "SELECT sync_state FROM pg_stat_replication WHERE application_name = 'standby1'")" = sync ] && break
  sleep 0.1
done
[ "$(sql "$p1" "SELECT sync_state FROM pg_stat_replication WHERE application_name = 'standby1'")" = sync ] ||
  { echo "${0##*/}: the standby did not become synchronous" >&2; exit 1; }

database="postgresql://snipora@127.0.0.1:$p1,127.0.0.1:$p2/postgres?target_session_attrs=read-write"
start_instance() {  # number database: its port in $port
  "$program" --database "$2" --listen 127.0.0.1:0 --public-host "s.example.org" --creations-per-minute 0 \
    --click-flush-ms 200 2>"$work/instance$1.log" >/dev/null &
  pids+=($!)
  for _ in $(seq 100); do grep -q '(port ' "$work/instance$1.log" && break; sleep 0.1; done
  port=$(sed -n 's/.*(port \([0-9]*\)).*/\1/p' "$work/instance$1.log" | head -1)
  [ -n "$port" ] || { cat "$work/instance$1.log" >&2; echo "${0##*/}: instance $1 did not start" >&2; exit 1; }
}
ports=()
for n in 1 2; do
  start_instance "$n" "$database"
  ports+=("$port")
done
health() { curl -s -m 5 -w ' %{http_code}' "http://127.0.0.1:$1/healthz${2:-}" || true; }
# A third instance on the standby alone: it starts, and /healthz says it
# cannot create there until the standby is promoted.
for _ in $(seq 100); do [ "$(sql "$p2" "SELECT to_regclass('links') IS NOT NULL")" = t ] && break; sleep 0.1; done
start_instance 3 "postgresql://snipora@127.0.0.1:$p2/postgres"
on_standby=$port
standby_health=$(health "$on_standby")
standby_redirects=$(health "$on_standby" "?ready=redirects")

create() {  # port address: the code, or nothing; sets status
  local answer
  answer=$(curl -s -m 10 -w '\n%{http_code}' "http://127.0.0.1:$1/api-create.php?format=simple&url=$2" || true)
  status=${answer##*$'\n'}
  code=${answer%$'\n'*}
  code=${code##*/}
}
redirect_status() {  # port code
  curl -s -m 10 -o /dev/null -w '%{http_code}' "http://127.0.0.1:$1/$2" || true
}

# Links to redirect during the outage, each read once by both instances so
# that both hold it in their caches.
warm=()
for i in $(seq 20); do
  create "${ports[0]}" "https://example.org/warm/$i"
  [ "$status" = 200 ] || { echo "${0##*/}: a creation before the drill answered $status" >&2; exit 1; }
  warm+=("$code")
  for port in "${ports[@]}"; do redirect_status "$port" "$code" >/dev/null; done
done

printf '%s\n' "${warm[@]}" >"$work/warm"

# Each creating client writes one line per creation: when it was asked and
# answered (ms since 1970), the status, the address and the code given; each
# redirecting one the times and the status.
client=$(dirname "$program")/drill_client
[ -x "$client" ] || { echo "${0##*/}: no drill_client beside $program" >&2; exit 2; }
for c in $(seq "$creators"); do
  "$client" create "${ports[0]},${ports[1]}" "$work/stop" "c$c" >"$work/creator$c.out" &
  pids+=($!)
done
for r in $(seq "$redirectors"); do
  "$client" redirect "${ports[$((r % 2))]},${ports[$(((r + 1) % 2))]}" "$work/stop" "$work/warm" >"$work/redirector$r.out" &
  pids+=($!)
done

sleep "$before_s"
postmaster=$(as_server head -1 "$work/primary/postmaster.pid")
killed=$(now_ms)
kill -9 "$postmaster"
sleep "$outage_s"
promoting=$(now_ms)
as_server "$bin/pg_ctl" -D "$work/standby" -w -t 60 -s promote || { echo "${0##*/}: the promotion failed" >&2; exit 1; }
promoted=$(now_ms)
standby_back=
while [ $(($(now_ms) - promoted)) -lt 5000 ]; do
  [ "$(health "$on_standby")" = "ok"$'\n'" 200" ] && { standby_back=$(($(now_ms) - promoted)); break; }
  sleep 0.05
done
sleep "$after_s"
touch "$work/stop"
wait "${pids[@]:3}" 2>/dev/null

# A takedown after the failover, made through the command line on the same
# multi-host address: both instances stop redirecting the link.
victim=${warm[0]}
"$program" link disable "$victim" --database "$database" >/dev/null 2>"$work/disable.log" ||
  { cat "$work/disable.log" >&2; echo "${0##*/}: the takedown failed" >&2; exit 1; }
took_down=$(now_ms)  # committed
reach=(none none)
while [ $(($(now_ms) - took_down)) -lt 3000 ] && [[ " ${reach[*]} " == *" none "* ]]; do
  for n in 0 1; do
    [ "${reach[$n]}" = none ] && [ "$(redirect_status "${ports[$n]}" "$victim")" = 410 ] &&
      reach[$n]=$(($(now_ms) - took_down))
  done
  sleep 0.01
done

# What the new primary holds, against what the clients were told.
sql "$p2" "SELECT convert_from(address, 'UTF8') || ' ' || code FROM links" | sort >"$work/stored"
cat "$work"/creator*.out >"$work/creations"
awk '$3 == 200 { print $4 " " $5 }' "$work/creations" | sort >"$work/answered"
lost=$(comm -23 "$work/answered" "$work/stored" | wc -l)
answered=$(wc -l <"$work/answered")
refused=$(awk -v k="$killed" '$3 != 200 && $2 >= k { n++ } END { print n + 0 }' "$work/creations")
refused_before=$(awk -v k="$killed" '$3 != 200 && $2 < k { n++ } END { print n + 0 }' "$work/creations")
first_after=$(awk -v p="$promoting" '$3 == 200 && $1 >= p { if (!m || $2 < m) m = $2 } END { printf "%.0f\n", m }' "$work/creations")
# The outage as the clients saw it: the longest time without a creation answered 200.
awk '$3 == 200 { print $2 }' "$work/creations" | sort -n >"$work/answer-times"
read -r gap gap_end < <(awk 'NR > 1 && $1 - p > g { g = $1 - p; e = $1 } { p = $1 } END { printf "%.0f %.0f\n", g, e }' "$work/answer-times")
gap_start=$((gap_end - gap))
# The old primary's backends outlive its postmaster for a moment, and so does
# its WAL sender: what they commit is on the standby before it is answered.
between=$(awk -v k="$killed" -v p="$promoting" '$3 == 200 && $2 >= k && $2 < p { n++ } END { print n + 0 }' "$work/creations")
last_old=$(awk -v k="$killed" -v p="$promoting" '$3 == 200 && $2 >= k && $2 < p { if ($2 > m) m = $2 } END { printf "%.0f\n", m }' "$work/creations")
cat "$work"/redirector*.out >"$work/redirects"
during=$(awk -v a="$gap_start" -v b="$gap_end" '$2 >= a && $2 <= b && $3 == 301 { n++ } END { print n + 0 }' "$work/redirects")
during_failed=$(awk -v a="$gap_start" -v b="$gap_end" '$2 >= a && $2 <= b && $3 != 301 { n++ } END { print n + 0 }' "$work/redirects")

echo "failover drill: $creators creating and $redirectors redirecting clients, two instances, synchronous standby"
echo "  creations answered 200: $answered; refused before the kill: $refused_before; refused from the kill on: $refused"
echo "  answered 200 but missing on the new primary: $lost"
echo "  answered 200 after the kill, before the promotion (the old primary's backends outlive its postmaster a moment): $between$([ "$last_old" -gt 0 ] && echo ", the last $((last_old - killed)) ms after it")"
echo "  outage seen by clients (the longest time without a creation answered): $gap ms, from $((gap_start - killed)) ms after the kill"
echo "  primary killed to promotion asked: $((promoting - killed)) ms; promotion took $((promoted - promoting)) ms"
echo "  promotion asked to first creation answered: $((first_after - promoting)) ms"
echo "  redirects answered during the outage: $during (not answered: $during_failed)"
echo "  instance on the standby before the promotion: /healthz ${standby_health//$'\n'/ }; ?ready=redirects ${standby_redirects##* }; ok ${standby_back:-never} ms after it"
echo "  takedown after the failover reached instance 1 in ${reach[0]} ms, instance 2 in ${reach[1]} ms"

failed=0
[ "$lost" -eq 0 ] || { echo "FAILED: $lost creations answered 200 are not on the new primary:" >&2
  comm -23 "$work/answered" "$work/stored" | head >&2; failed=1; }
[ "$first_after" -gt 0 ] && [ $((first_after - promoting)) -le 5000 ] ||
  { echo "FAILED: no creation answered within 5 s of the promotion" >&2; failed=1; }
[ "$during" -gt 0 ] || { echo "FAILED: no redirect answered during the outage" >&2; failed=1; }
[ "$refused_before" -eq 0 ] || { echo "FAILED: creations refused before the primary was lost" >&2; failed=1; }
[[ "$standby_health" == *"read-only"*" 503" ]] && [ "${standby_redirects##* }" = 200 ] && [ -n "$standby_back" ] ||
  { echo "FAILED: /healthz on the standby did not say read-only, or did not come back to ok" >&2; failed=1; }
for r in "${reach[@]}"; do
  [ "$r" != none ] && [ "$r" -le 1000 ] || { echo "FAILED: the takedown did not reach every instance within 1 s" >&2
    failed=1; break; }
done
if [ "$failed" -ne 0 ]; then
  for n in 1 2 3; do echo "--- instance $n" >&2; tail -20 "$work/instance$n.log" >&2; done
fi
exit "$failed"
