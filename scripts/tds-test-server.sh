#!/usr/bin/env bash
# The SQL Server-compatible server of ../shared/tds-server for the tests and benchmarks, on free
# loopback ports, with room for the sessions that the driver manager's pool keeps open.
#
#   tds-test-server.sh start DIR   starts a fresh one in DIR; prints a host's connection string
#                                  for its administrator login, without a catalog, and on a
#                                  second line an ODBC string for the same (for isql)
#   tds-test-server.sh stop DIR    stops it and removes DIR
set -euo pipefail

cmd="${1:?usage: tds-test-server.sh start|stop DIR}"
dir="${2:?usage: tds-test-server.sh start|stop DIR}"
here="$(cd "$(dirname "$0")/.." && pwd)"
server="${QUORVEL_TDS_SERVER:-$here/../shared/tds-server/tds-server.sh}"

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

case "$cmd" in
  start)
    [ -x "$server" ] || [ -f "$server" ] || { echo "tds-test-server: $server is missing" >&2; exit 1; }
    mkdir -p "$dir"
    chmod 755 "$dir"
    tds_port=$(free_port)
    pg_port=$(free_port)
    bash "$server" start "$dir" "$tds_port" "$pg_port" >"$dir/start.log" 2>&1 ||
      { tail -20 "$dir/start.log" >&2; exit 1; }
    # Every test store is a database of its own, and pooled sessions outlive them for a while.
    echo "max_connections = 400" >>"$dir/data/postgresql.conf"
    runuser -u postgres -- "$dir/pg/bin/pg_ctl" -D "$dir/data" -l "$dir/run/server.log" -m fast \
      -w restart >/dev/null
    # The server takes TDS logins a moment after it accepts connections.
    for _ in $(seq 1 50); do
      python3 -c "import socket,sys; socket.create_connection(('127.0.0.1',$tds_port),1)" \
        2>/dev/null && break
      sleep 0.2
    done
    printf 'Provider=SQLOLEDB.1;Data Source=127.0.0.1,%s;User ID=babelfish_admin;Password=Admin_Pass1\n' \
      "$tds_port"
    printf 'Driver=FreeTDS;Server=127.0.0.1;Port=%s;UID=babelfish_admin;PWD=Admin_Pass1;ClientCharset=UTF-8\n' \
      "$tds_port"
    ;;
  stop)
    [ -d "$dir" ] || exit 0
    bash "$server" stop "$dir" >/dev/null 2>&1 || true
    rm -rf "$dir"
    ;;
  *) echo "tds-test-server: unknown command $cmd" >&2; exit 2 ;;
esac
