#!/usr/bin/env bash
# The SQLite backup under redirect load: how fast it copies (MB/s), and the
# redirect rate while backups run against the rate without, paired rounds
# (A B A B). Figures, not a test.
#   scripts/bench-backup.sh [links] [rounds] [seconds]   (default 500000 3 5)
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/common.sh"
links=${1:-500000} rounds=${2:-3} seconds=${3:-5}
command -v wrk >/dev/null || { echo "${0##*/}: wrk is missing" >&2; exit 1; }
"$root/scripts/build-service.sh" >/dev/null
native=$root/build/native
work=$root/build/bench-backup
rm -rf "$work"
mkdir -p "$work"
service_pid=
cleanup() { [ -z "$service_pid" ] || { kill "$service_pid" 2>/dev/null || true; wait "$service_pid" 2>/dev/null || true; }; }
trap cleanup EXIT
"$native/fill_store" "$work/links.db" "$links" "$work/links.txt" >/dev/null
"$native/snipora-service" --listen 127.0.0.1:18290 --database "$work/links.db" --public-host s.example.org \
  --access-log off 2>"$work/service.err" &
service_pid=$!
for _ in $(seq 300); do grep -q 'cache filled' "$work/service.err" && break; sleep 0.1; done
echo "store: $links links, $(du -m "$work/links.db" | cut -f1) MB; wrk -t1 -c50 ${seconds}s a round"

redirects() {  # -> requests/s
  wrk -t1 -c50 -d"${seconds}s" -s "$root/service/bench/redirects.lua" http://127.0.0.1:18290 -- "$work/links.txt" |
    awk '/^RESULT/ { print $2 }'
}
backups_while() {  # pid: backs up until it ends; prints "count MB/s..." per backup to the log
  while kill -0 "$1" 2>/dev/null; do
    "$native/snipora-service" backup --database "$work/links.db" --to "$work/links.backup" 2>>"$work/backups.log"
  done
}
redirects >/dev/null  # warm
for _ in 1 2 3; do
  "$native/snipora-service" backup --database "$work/links.db" --to "$work/links.backup" 2>&1 |
    sed 's/^snipora-service backup: /backup with no load: /'
done
printf '%-6s %14s %14s %8s\n' round without/s during/s ratio
for round in $(seq "$rounds"); do
  without=$(redirects)
  redirects >"$work/during" &
  wrk_pid=$!
  backups_while "$wrk_pid"
  wait "$wrk_pid"
  during=$(cat "$work/during")
  printf '%-6s %14s %14s %8s\n' "$round" "$without" "$during" "$(awk -v a="$during" -v b="$without" 'BEGIN { printf "%.2f", a / b }')"
done
awk '/MB\/s/ { gsub(/[()]/, "", $0); for (i = 1; i <= NF; i++) if ($i == "MB/s") { n++; sum += $(i - 1); if (!min || $(i - 1) < min) min = $(i - 1); if ($(i - 1) > max) max = $(i - 1) } }
  END { printf "backups: %d, %.0f MB/s on average (%.0f to %.0f), under the redirect load\n", n, sum / n, min, max }' \
  "$work/backups.log"
