#!/usr/bin/env bash
# Runs one acceptance script against an ODBC data source named "sample.db" of an odbc.ini
# written here (ODBCSYSINI / ODBCINI), so that the control shows the same names as on the
# embedded server; the session's folder holds no file of that name. DRIVER is
#   sqlite  the SQLite ODBC driver over the 1000-row sample kept in another folder;
#   pg      the PostgreSQL Unicode driver over the sample loaded into a throw-away server
#           (tests/common/pg_server.sh); as in run_pg_script.sh the browsing statement gets
#           "ORDER BY Id" (PostgreSQL returns rows in storage order, which an UPDATE changes).
# The text of a statement error is the driver's own: the lines of the message box that
# reports an invalid statement are compared up to it. Exit 77 (skipped) when the driver or the
# PostgreSQL binaries are missing.
set -euo pipefail
tabulo=$1
script=$2
kind=${3:-sqlite}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/server_lib.sh"
file=libsqlite3odbc.so
[ "$kind" = pg ] && file=psqlodbcw.so
driver=$(find /usr/lib /usr/local/lib -name "$file" 2>/dev/null | head -n1)
if [ -z "$driver" ]; then
  echo "skipped: no ODBC driver $file" >&2
  exit 77
fi
make_work_folder
mkdir "$work/data" "$work/session"
"$tabulo" sample-db "$work/data/orders.sqlite" --rows 1000 >/dev/null
ordered_session "$script" >"$work/session/session.tab"
if [ "$kind" = pg ]; then
  start_pg_sample "$work/pg" "$work/data/orders.sqlite"
  section="Driver=PG
Servername=127.0.0.1
Port=$pg_port
Database=sample
Username=postgres
Password=secret"
else
  section="Driver=SQLite3
Database=$work/data/orders.sqlite"
fi
printf '[SQLite3]\nDriver=%s\n[PG]\nDriver=%s\n' "$driver" "$driver" >"$work/odbcinst.ini"
printf '[sample.db]\n%s\n' "$section" >"$work/odbc.ini"
export ODBCSYSINI="$work" ODBCINI="$work/odbc.ini"
cp "$(dirname "$script")/host.json" "$work/session/host.json"
cd "$work/session"
run_and_compare "${script%.tab}.expected"
