#!/usr/bin/env bash
# A throw-away PostgreSQL server for the tests and benchmarks: loopback only, in a temporary
# directory, on a free port, run as the postgres user (initdb refuses root). Password auth, so
# that a wrong password really is refused.
#
#   pg-test-server.sh start DIR    creates the cluster on first use, starts it, prints the ODBC
#                                  connection string for it (without a Database key)
#   pg-test-server.sh stop DIR     stops it (fast shutdown), keeping the data
#   pg-test-server.sh destroy DIR  stops it if running and removes DIR
set -euo pipefail

cmd="${1:?usage: pg-test-server.sh start|stop|destroy DIR}"
dir="${2:?usage: pg-test-server.sh start|stop|destroy DIR}"
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)
[ -n "$bin" ] || { echo "pg-test-server: PostgreSQL is not installed" >&2; exit 1; }

as_pg() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

conn_string() {
  printf 'Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=%s;UID=postgres;PWD={%s}' \
    "$(cat "$dir/port")" "$(cat "$dir/password")"
}

running() { [ -f "$dir/data/postmaster.pid" ] && as_pg "$bin/pg_ctl" -D "$dir/data" status >/dev/null 2>&1; }

case "$cmd" in
  start)
    if [ ! -f "$dir/data/PG_VERSION" ]; then
      mkdir -p "$dir"
      [ "$(id -u)" -eq 0 ] && chown postgres: "$dir"
      chmod 700 "$dir"
      as_pg sh -c "umask 077; head -c 18 /dev/urandom | base64 | tr '+/' 'xy' > '$dir/password'"
      free_port > "$dir/port"
      as_pg "$bin/initdb" -D "$dir/data" -U postgres --pwfile="$dir/password" \
        --auth-host=scram-sha-256 --auth-local=scram-sha-256 -E UTF8 --locale=C.UTF-8 >"$dir/initdb.log" 2>&1 \
        || { cat "$dir/initdb.log" >&2; exit 1; }
      mkdir -p "$dir/sock"
      [ "$(id -u)" -eq 0 ] && chown postgres: "$dir/sock" "$dir/port"
    fi
    if ! running; then
      for attempt in 1 2 3; do
        if as_pg "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 start \
             -o "-c listen_addresses=127.0.0.1 -p $(cat "$dir/port") -c unix_socket_directories=$dir/sock -c fsync=off -c max_connections=300" \
             >/dev/null; then
          break
        fi
        # Someone took the port in the meantime: take another.
        [ "$attempt" -eq 3 ] && { tail -20 "$dir/server.log" >&2; exit 1; }
        free_port > "$dir/port"
      done
    fi
    conn_string
    ;;
  stop)
    running && as_pg "$bin/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null
    exit 0
    ;;
  destroy)
    if running; then as_pg "$bin/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null || true; fi
    rm -rf "$dir"
    ;;
  *) echo "pg-test-server: unknown command $cmd" >&2; exit 2 ;;
esac
