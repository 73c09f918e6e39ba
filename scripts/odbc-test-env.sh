# Sourced by the test and benchmark scripts: the ODBC drivers registered, the driver manager's
# connection pooling on (unixODBC pools only when its configuration says so), and a PostgreSQL
# server and a SQL Server-compatible one for the tests, stopped and removed on exit whatever the
# outcome. Sets ODBCSYSINI, QUORVEL_TEST_PG_CONN, QUORVEL_TEST_PG_DIR, QUORVEL_TEST_PG_SCRIPT and
# QUORVEL_TEST_TDS_CONN (a host's connection string without its catalog, whose provider reaches
# the server through FreeTDS) with QUORVEL_TEST_TDS_ODBC (an ODBC string for the same login).
# QUORVEL_TEST_TDS=0 leaves the SQL Server-compatible server out.

odbc_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
odbc_tmp=$(mktemp -d /tmp/quorvel-odbc.XXXXXX)
chmod 755 "$odbc_tmp"
odbc_cleanup() {
  "$odbc_root/scripts/pg-test-server.sh" destroy "$odbc_tmp/pg" >/dev/null 2>&1 || true
  "$odbc_root/scripts/tds-test-server.sh" stop "$odbc_tmp/tds" >/dev/null 2>&1 || true
  rm -rf "$odbc_tmp"
}
trap odbc_cleanup EXIT

odbc_register() {  # name driver-library, in the configuration ODBCSYSINI (or the system's) names
  local name="$1" lib="$2" tpl
  odbcinst -q -d -n "$name" >/dev/null 2>&1 && return 0
  tpl=$(mktemp)
  printf '[%s]\nDescription=%s\nDriver=%s\nSetup=%s\nCPTimeout=120\n' "$name" "$name" "$lib" "$lib" >"$tpl"
  odbcinst -i -d -f "$tpl" >/dev/null
  rm -f "$tpl"
}

# The system's registration, so that the command finds the drivers outside the tests too.
odbc_register SQLite3 libsqlite3odbc.so
odbc_register "PostgreSQL Unicode" psqlodbcw.so

# The tests' own configuration, with pooling on as a deployment would have it.
mkdir -p "$odbc_tmp/ini"
printf '[ODBC]\nPooling=Yes\n' >"$odbc_tmp/ini/odbcinst.ini"
: >"$odbc_tmp/ini/odbc.ini"
export ODBCSYSINI="$odbc_tmp/ini"
odbc_register SQLite3 libsqlite3odbc.so
odbc_register "PostgreSQL Unicode" psqlodbcw.so

QUORVEL_TEST_PG_CONN=$("$odbc_root/scripts/pg-test-server.sh" start "$odbc_tmp/pg")
export QUORVEL_TEST_PG_CONN
export QUORVEL_TEST_PG_DIR="$odbc_tmp/pg"
export QUORVEL_TEST_PG_SCRIPT="$odbc_root/scripts/pg-test-server.sh"

if [ "${QUORVEL_TEST_TDS:-1}" != 0 ]; then
  "$odbc_root/scripts/tds-test-server.sh" start "$odbc_tmp/tds" >"$odbc_tmp/tds.conn"
  QUORVEL_TEST_TDS_CONN=$(sed -n 1p "$odbc_tmp/tds.conn")
  QUORVEL_TEST_TDS_ODBC=$(sed -n 2p "$odbc_tmp/tds.conn")
  export QUORVEL_TEST_TDS_CONN QUORVEL_TEST_TDS_ODBC
  odbc_register FreeTDS libtdsodbc.so
  # Under Wine a host's Provider=SQLOLEDB string reaches the driver every Windows has by this
  # name; here it is FreeTDS, in both architectures' unixODBC (also in the system's registration,
  # which the windows' suite uses).
  odbc_register "SQL Server" libtdsodbc.so
  (unset ODBCSYSINI; odbc_register "SQL Server" libtdsodbc.so)
fi
