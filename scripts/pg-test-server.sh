#!/usr/bin/env bash
# A throw-away PostgreSQL 15 server for the service's tests and benchmarks:
#   scripts/pg-test-server.sh start STATE   starts one in a new temporary
#       folder, on a free loopback port, and writes to the file STATE two
#       lines: its connection address (postgresql://...) and its folder;
#   scripts/pg-test-server.sh stop STATE    stops it (-m immediate: its data
#       goes anyway) and removes the folder;
#   scripts/pg-test-server.sh halt STATE    stops it (-m fast), keeping its data;
#   scripts/pg-test-server.sh resume STATE  starts it again on the same port.
# PostgreSQL refuses to run as root: as root the server runs as the system
# user snipora-pg (scripts/setup.sh makes it), else as the current user.
# fsync stays on: the durability tests rely on it.
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/common.sh"
[ $# -eq 2 ] || { echo "usage: ${0##*/} start|stop|halt|resume STATE" >&2; exit 2; }
action=$1 state=$2
bin=/usr/lib/postgresql/15/bin
[ -x "$bin/pg_ctl" ] || bin=$(dirname "$(command -v pg_ctl)")
user=snipora-pg

# From /, since the server's user may not enter the caller's folder (every
# path given to the server is absolute).
as_server() {
  if [ "$(id -u)" -eq 0 ]; then (cd / && runuser -u "$user" -- "$@"); else "$@"; fi
}

start_in() {  # folder port
  local dir=$1 port=$2
  as_server "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 -s \
    -o "-p $port -k $dir -c listen_addresses=127.0.0.1 -c fsync=on -c max_connections=200" start
}

case $action in
  start)
    if [ "$(id -u)" -eq 0 ] && ! id "$user" >/dev/null 2>&1; then
      echo "${0##*/}: the user $user is missing (scripts/setup.sh makes it)" >&2
      exit 1
    fi
    base=${TMPDIR:-/tmp}
    # the server's user must reach its folder: a private TMPDIR of root's is no place for it
    as_server test -x "$base" 2>/dev/null || base=/tmp
    dir=$(mktemp -d "$base/snipora-pg.XXXXXX")
    chmod 755 "$dir"
    [ "$(id -u)" -eq 0 ] && chown "$user:" "$dir"
    as_server "$bin/initdb" -D "$dir/data" -U snipora --auth=trust -E UTF8 --locale=C.UTF-8 >"$dir/initdb.log" 2>&1 ||
      { cat "$dir/initdb.log" >&2; echo "${0##*/}: initdb failed" >&2; exit 1; }
    # a port nobody listens on; a race with another program is retried
    for _ in 1 2 3 4 5; do
      port=$((20000 + RANDOM % 20000))
      (exec 3<>/dev/tcp/127.0.0.1/$port) 2>/dev/null && continue
      if start_in "$dir" "$port"; then
        printf 'postgresql://snipora@127.0.0.1:%s/postgres\n%s\n%s\n' "$port" "$dir" "$port" >"$state"
        exit 0
      fi
    done
    cat "$dir/server.log" >&2 || true
    echo "${0##*/}: the server did not start" >&2
    exit 1
    ;;
  stop|halt|resume)
    dir=$(sed -n 2p "$state")
    port=$(sed -n 3p "$state")
    [ -n "$dir" ] && [ -d "$dir/data" ] || { echo "${0##*/}: no server in $state" >&2; exit 1; }
    case $action in
      resume) start_in "$dir" "$port" ;;
      halt) as_server "$bin/pg_ctl" -D "$dir/data" -m fast -w -t 60 -s stop ;;
      stop)
        as_server "$bin/pg_ctl" -D "$dir/data" -m immediate -w -t 60 -s stop || true
        rm -rf "$dir" "$state"
        ;;
    esac
    ;;
  *)
    echo "usage: ${0##*/} start|stop|halt|resume STATE" >&2
    exit 2
    ;;
esac
