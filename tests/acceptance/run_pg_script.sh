#!/usr/bin/env bash
# Runs one acceptance script against PostgreSQL: starts a throw-away server
# (tests/common/pg_server.sh), loads the 1000-row sample into its database "sample", and runs
# the script with ServerType 1 and a host configuration whose PostgreSQL connection
# "sample.db" names that database, so that the control shows the same names as on SQLite.
# Two documented differences are applied before comparing with the .expected file:
#   - the browsing statement gets "ORDER BY Id": PostgreSQL returns rows without ORDER BY in
#     storage order, which an UPDATE changes (SQLite keeps the rowid order);
#   - the text of a statement error is the server's own: the lines of the message box that
#     reports an invalid statement are compared up to the server's message.
# Exit 77 (skipped) when the PostgreSQL binaries are missing.
set -euo pipefail
tabulo=$1
script=$2
here=$(dirname "$0")
expected="${script%.tab}.expected"
work=$(mktemp -d)
server="$work/pg"
cleanup() {
  "$here/../common/pg_server.sh" stop "$server" || true
  rm -rf "$work"
}
trap cleanup EXIT
chmod 755 "$work"
status=0
port=$("$here/../common/pg_server.sh" start "$server" $$) || status=$?
if [ $status -eq 77 ]; then
  echo "skipped: no PostgreSQL binaries" >&2
  exit 77
fi
[ $status -eq 0 ] || exit $status
export PGPASSWORD=secret
psql=(psql -X -q -v ON_ERROR_STOP=1 -h 127.0.0.1 -p "$port" -U postgres)
"$tabulo" sample-db "$work/sample.db" --rows 1000 >/dev/null
sqlite3 -csv "$work/sample.db" "SELECT * FROM Orders ORDER BY Id" >"$work/orders.csv"
"${psql[@]}" -d postgres -c "CREATE DATABASE sample"
"${psql[@]}" -d sample -c "CREATE TABLE Orders(Id integer PRIMARY KEY, Customer varchar(40),
  Qty integer, Price double precision, Placed timestamp, Note varchar(200))" \
  -c "\\copy Orders FROM '$work/orders.csv' WITH (FORMAT csv)"
rm "$work/sample.db"
# The first line (the script's name comment) becomes the ServerType, so line numbers stay.
sed -e '1s/.*/let ServerType 1/' \
  -e 's/\(let RecordSource "SELECT Id, Customer, Qty, Price FROM Orders WHERE Qty < 400\)"/\1 ORDER BY Id"/' \
  "$script" >"$work/session.tab"
sed -e "s|\"format\": 1,|\"format\": 1, \"postgresql\": { \"sample.db\": { \"host\": \"127.0.0.1\", \"port\": $port, \"database\": \"sample\", \"user\": \"postgres\", \"password\": \"secret\" } },|" \
  "$(dirname "$script")/host.json" >"$work/host.json"
cd "$work"
export XDG_STATE_HOME="$work/state"
status=0
"$tabulo" script session.tab --host host.json --locale en-US --ui-lang 1033 >actual.txt 2>&1 || status=$?
echo "exit $status" >>actual.txt
filter() { sed -e 's/\(text="The SQL Statement is invalid: \\r\\n\).*/\1(server message)"/' "$1"; }
diff -u <(filter "$expected") <(filter actual.txt)
