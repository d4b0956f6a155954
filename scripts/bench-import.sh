#!/usr/bin/env bash
# Measures the moving of links (figures, not tests):
#   scripts/bench-import.sh [rows]      (default 1000000)
# - import --from yourls of a mysqldump of ROWS links (INSERTs of 1,000 rows
#   each, as mysqldump writes them) into a fresh SQLite store and into a
#   fresh PostgreSQL database (a server of its own, scripts/pg-test-server.sh):
#   rows a second, and the importer's peak resident memory;
# - export --format jsonl of the SQLite store, and of a store of a tenth of
#   the rows beside it: rows a second, and peak memory, which stays the same
#   whatever the store's size (the export reads a page at a time).
# - paired with a bare baseline, A B A B: the same dump run by the sqlite3
#   shell into a plain table in one transaction (no checks, no batching),
#   and the ratio of each pair's times.
# The machine is shared: absolute times here swing; run it twice.
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/common.sh"
rows=${1:-1000000}
service=$root/build/native/snipora-service
[ -x "$service" ] || { echo "build the service first (scripts/build-service.sh)" >&2; exit 1; }
work=$(mktemp -d)
trap 'scripts/pg-test-server.sh stop "$work/pg" >/dev/null 2>&1; rm -rf "$work"' EXIT
cd "$root"

dump() {  # rows file
  awk -v rows="$1" 'BEGIN {
    for (i = 0; i < rows; i++) {
      if (i % 1000 == 0) printf "%sINSERT INTO `yourls_url` VALUES ", (i ? ";\n" : "")
      else printf ","
      printf "(\x27k%07d\x27,\x27https://www.example.org/articles/%d?from=yourls\x27,\x27Article %d\x27,\x272019-03-04 05:06:07\x27,\x2710.0.0.1\x27,%d)", i, i, i, i % 97
    }
    print ";"
  }' > "$2"
}

# seconds and peak RSS (kB) of one run of the service's command line
measure() {
  /usr/bin/time -f "%e %M" -o "$work/time" "$service" "$@" >/dev/null 2>"$work/said" || true
  tail -1 "$work/time"  # after "Command exited with non-zero status" when there is one
}

dump "$rows" "$work/dump.sql"
dump $((rows / 10)) "$work/small.sql"
printf '%-34s %12s %12s %10s\n' "run" "rows" "rows/s" "RSS MB"
line() {  # name rows "seconds kB"
  set -- "$1" "$2" $3
  awk -v n="$1" -v r="$2" -v s="$3" -v k="$4" 'BEGIN { printf "%-34s %12d %12.0f %10.1f\n", n, r, r / (s > 0 ? s : 0.01), k / 1024 }'
}
# ours against the bare baseline, twice, in turn
bare() {
  rm -f "$work/bare.db"
  { echo "CREATE TABLE yourls_url(keyword TEXT PRIMARY KEY, url TEXT, title TEXT, timestamp TEXT, ip TEXT, clicks INTEGER);"
    echo "BEGIN;"; cat "$work/dump.sql"; echo "COMMIT;"; } > "$work/bare.sql"
  /usr/bin/time -f "%e %M" -o "$work/time" sqlite3 "$work/bare.db" < "$work/bare.sql" >/dev/null 2>&1
  tail -1 "$work/time"
}
for round in 1 2; do
  rm -f "$work/paired.db"*
  ours=$(measure import --from yourls "$work/dump.sql" --domain old.example --database "$work/paired.db")
  base=$(bare)
  line "import yourls, SQLite (round $round)" "$rows" "$ours"
  line "bare sqlite3 of the dump (round $round)" "$rows" "$base"
  awk -v a="${ours%% *}" -v b="${base%% *}" 'BEGIN { printf "%-34s %12s %12.2f\n", "  time ratio, ours / bare", "", a / (b > 0 ? b : 0.01) }'
done
line "import yourls, SQLite" "$rows" "$(measure import --from yourls "$work/dump.sql" --domain old.example --database "$work/links.db")"
line "import yourls again (all there)" "$rows" "$(measure import --from yourls "$work/dump.sql" --domain old.example --database "$work/links.db")"
line "import yourls, SQLite, a tenth" "$((rows / 10))" "$(measure import --from yourls "$work/small.sql" --domain old.example --database "$work/small.db")"
line "export jsonl, SQLite" "$rows" "$(measure export --format jsonl --database "$work/links.db" --output "$work/links.jsonl")"
line "export jsonl, SQLite, a tenth" "$((rows / 10))" "$(measure export --format jsonl --database "$work/small.db" --output "$work/small.jsonl")"
line "import snipora (jsonl), SQLite" "$rows" "$(measure import --from snipora "$work/links.jsonl" --domain old.example --database "$work/again.db")"
if scripts/pg-test-server.sh start "$work/pg" >/dev/null 2>&1; then
  pg=$(head -1 "$work/pg")
  line "import yourls, PostgreSQL" "$rows" "$(measure import --from yourls "$work/dump.sql" --domain old.example --database "$pg")"
  line "export jsonl, PostgreSQL" "$rows" "$(measure export --format jsonl --database "$pg" --output "$work/pg.jsonl")"
else
  echo "PostgreSQL: no server could be started (scripts/pg-test-server.sh)"
fi
