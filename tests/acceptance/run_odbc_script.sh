#!/usr/bin/env bash
# Runs one acceptance script against an ODBC data source of the SQLite ODBC driver: the
# 1000-row sample is kept outside the session's folder and reached only through the data
# source "sample.db" of an odbc.ini written here (ODBCSYSINI / ODBCINI), so the control shows
# the same names as on the embedded server. The text of a statement error is the driver's own:
# the lines of the message box that reports an invalid statement are compared up to it.
# Exit 77 (skipped) when the driver is missing.
set -euo pipefail
tabulo=$1
script=$2
expected="${script%.tab}.expected"
driver=$(find /usr/lib /usr/local/lib -name libsqlite3odbc.so 2>/dev/null | head -n1)
if [ -z "$driver" ]; then
  echo "skipped: no SQLite ODBC driver (libsqlite3odbc.so, package libsqliteodbc)" >&2
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/data" "$work/session"
"$tabulo" sample-db "$work/data/orders.sqlite" --rows 1000 >/dev/null
printf '[SQLite3]\nDriver=%s\n' "$driver" >"$work/odbcinst.ini"
printf '[sample.db]\nDriver=SQLite3\nDatabase=%s\n' "$work/data/orders.sqlite" >"$work/odbc.ini"
export ODBCSYSINI="$work" ODBCINI="$work/odbc.ini"
cp "$script" "$work/session/session.tab"
cp "$(dirname "$script")/host.json" "$work/session/host.json"
cd "$work/session"
export XDG_STATE_HOME="$work/state"
status=0
"$tabulo" script session.tab --host host.json --locale en-US --ui-lang 1033 >actual.txt 2>&1 || status=$?
echo "exit $status" >>actual.txt
filter() { sed -e 's/\(text="The SQL Statement is invalid: \\r\\n\).*/\1(server message)"/' "$1"; }
diff -u <(filter "$expected") <(filter actual.txt)
