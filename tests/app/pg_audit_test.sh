#!/usr/bin/env bash
# A PostgreSQL server from the command line: `show --server-type 1` browses it, `export` writes
# its rows (every digit of a bigint or numeric); a logged edit there, with the audit store in the same database, writes the change
# and its record; an edit of an SQLite file goes to the same store; `audit` lists and verifies the trail and names a
# tampered record, blanked hashes, a keyed store's cut-off tail and one verified without its key;
# an unusable store refuses the edit. Exit 77 without PostgreSQL binaries.
set -uo pipefail
tabulo=$1
host_json=$2
here=$(cd "$(dirname "$0")/../acceptance" && pwd)
source "$here/server_lib.sh"
make_work_folder
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }
"$tabulo" sample-db s.db --rows 30 >/dev/null || fail "sample-db"
start_pg_sample "$work/pg" s.db
psql() { command psql -X -q -t -A -h 127.0.0.1 -p "$pg_port" -U postgres -d sample -c "$1"; }
# host.json: "plant-db" names the database, "server" only the login (show gives --database);
# the audit store is "plant-db". closed.json: the store is "closed", where no server listens.
login="\"host\": \"127.0.0.1\", \"port\": $pg_port, \"user\": \"postgres\", \"password\": \"secret\""
config() {
  sed -e "s|\"format\": 1,|\"format\": 1, \"postgresql\": { \"plant-db\": { $login, \"database\": \"sample\" }, \"server\": { $login }, \"closed\": { \"host\": \"127.0.0.1\", \"port\": 1 } },|" \
    -e "s|\"audit_database\": \"audit.db\"|\"audit\": { \"postgresql\": \"$1\" }|" "$host_json"
}
config plant-db >host.json
config closed >closed.json
sql="SELECT Id, Qty FROM Orders ORDER BY Id"
show() { "$tabulo" show --sql "$sql" --host "$@"; }

show host.json --db server --database sample --server-type 1 >pg.txt || fail "show on PostgreSQL"
show host.json --db s.db >sqlite.txt || fail "show on SQLite"
# The same rows; only the status bar's data source differs.
grep -q "^ *13| *13| *12|" pg.txt || fail "no row 13 on PostgreSQL: $(cat pg.txt)"
diff <(grep -v "@" sqlite.txt) <(grep -v "@" pg.txt) || fail "PostgreSQL rows differ"

# `export` reads the server as `show` does: the same rows as from the SQLite file.
"$tabulo" export --host host.json --db server --database sample --server-type 1 --sql "$sql" \
  >pg.csv 2>err.txt || fail "export on PostgreSQL: $(cat err.txt)"
"$tabulo" export --host host.json --db s.db --sql "$sql" >sqlite.csv 2>/dev/null || fail "export on SQLite"
cmp -s pg.csv sqlite.csv || fail "PostgreSQL export differs: $(diff pg.csv sqlite.csv | head)"
[ "$(wc -l <pg.csv)" = 31 ] || fail "PostgreSQL export rows: $(wc -l <pg.csv)"
# Every digit of a bigint at the edges of the exact double range and of 64 bits, and of a
# numeric with many digits, in both formats.
psql "CREATE TABLE Wide(Id int PRIMARY KEY, B bigint, N numeric);
  INSERT INTO Wide VALUES (1, 9007199254740991, 12345678901234567890.123456789012),
  (2, 9007199254740992, -0.000000000000000000001), (3, 9007199254740993, 9223372036854775808),
  (4, -9007199254740993, 1.50), (5, 9223372036854775807, 'NaN'), (6, -9223372036854775808, NULL)"
wide=(export --host host.json --db server --database sample --server-type 1
  --sql "SELECT B, N FROM Wide ORDER BY Id")
"$tabulo" "${wide[@]}" >wide.csv 2>err.txt || fail "export of Wide: $(cat err.txt)"
[ "$(tr -d '\r' <wide.csv)" = "B,N
9007199254740991,12345678901234567890.123456789012
9007199254740992,-0.000000000000000000001
9007199254740993,9223372036854775808
-9007199254740993,1.50
9223372036854775807,NaN
-9223372036854775808," ] || fail "export of Wide as CSV: $(cat wide.csv)"
"$tabulo" "${wide[@]}" --format json >wide.json 2>err.txt || fail "JSON export of Wide: $(cat err.txt)"
[ "$(sed -n '3p;5p' wide.json)" = '{"B":9007199254740993,"N":9223372036854775808}
{"B":9223372036854775807,"N":"NaN"}' ] || fail "export of Wide as JSON: $(cat wide.json)"

status=0
show host.json --db server --server-type 2 >/dev/null 2>err.txt || status=$?
[ "$status" = 2 ] && grep -q "server-type takes 0 .* or 1" err.txt || fail "--server-type 2: $status"

show host.json --db server --database sample --server-type 1 --edit 1,1=55 --log-event \
  >/dev/null 2>err.txt || fail "logged edit on PostgreSQL: $(cat err.txt)"
[ "$(psql 'SELECT Qty FROM Orders WHERE Id = 2')" = 55 ] || fail "edit not written"
show host.json --db s.db --edit 2,1=66 --log-event >/dev/null 2>err.txt ||
  fail "logged edit on SQLite: $(cat err.txt)"
"$tabulo" audit --host host.json >out.txt || fail "audit list"
grep -q '^#1 .*not signed; server: sample - Orders, column Qty: "1" -> "55"; row Id = 2' out.txt &&
  grep -q '^#2 .*s.db: .* - Orders, column Qty: "2" -> "66"; row Id = 3' out.txt ||
  fail "audit list: $(cat out.txt)"

status=0
show closed.json --db plant-db --server-type 1 --edit 1,1=77 --log-event \
  >/dev/null 2>err.txt || status=$?
[ "$status" = 1 ] && grep -q 'nothing was written (Cannot write the operator event: the PostgreSQL audit store "closed" cannot be used' err.txt ||
  fail "unusable store: $status $(cat err.txt)"
[ "$(psql 'SELECT Qty FROM Orders WHERE Id = 2')" = 55 ] || fail "an unrecorded edit was written"

"$tabulo" audit --host host.json --verify >out.txt || fail "verify intact: $(cat out.txt)"
[ "$(cat out.txt)" = "Audit trail intact: 2 records chained (#1 to #2)." ] || fail "intact: $(cat out.txt)"
psql "ALTER TABLE operator_events DISABLE TRIGGER operator_events_no_update;
  UPDATE operator_events SET new_value = '5' WHERE id = 2;
  ALTER TABLE operator_events ENABLE TRIGGER operator_events_no_update" || fail "tampering"
status=0
"$tabulo" audit --host host.json --verify >out.txt || status=$?
[ "$status" = 1 ] && [ "$(cat out.txt)" = "Audit trail broken: record #2 does not follow from its fields and record #1: one of them has been changed." ] ||
  fail "tampered: $status $(cat out.txt)"
# verify STATUS TEXT CONFIG [ARGS]: the exit status and the whole output.
verify() {
  local want=$1 text=$2 status=0
  shift 2
  "$tabulo" audit --verify --host "$@" >out.txt 2>&1 || status=$?
  [ "$status" = "$want" ] && [ "$(cat out.txt)" = "$text" ] ||
    fail "verify $*: exit $status: $(cat out.txt), expected: $text"
}
psql "ALTER TABLE operator_events DISABLE TRIGGER operator_events_no_update;
  UPDATE operator_events SET hash = ''; DELETE FROM operator_events_chain_head;
  ALTER TABLE operator_events ENABLE TRIGGER operator_events_no_update" || fail "blanking"
verify 1 "Audit trail broken: record #1 carries no hash: it was put in outside the audit trail." host.json

# A keyed store of its own: a tail cut off is found by the seal, and below an anchor.
head -c 32 /dev/urandom >audit.key
chmod 600 audit.key
keyed='"audit": { "postgresql": "plant-db", "table": "keyed_events" }'
sed "s|\"audit\": { \"postgresql\": \"plant-db\" }|$keyed, \"audit_key_file\": \"audit.key\"|" host.json >keyed.json
sed "s|\"audit\": { \"postgresql\": \"plant-db\" }|$keyed|" host.json >unkeyed.json
for v in 81 82 83; do
  show keyed.json --db s.db --edit 2,1=$v --log-event >/dev/null 2>err.txt || fail "keyed edit: $(cat err.txt)"
done
verify 0 "Audit trail intact: 3 records chained (#1 to #3, signed with the audit key from #1).
Anchor a.txt created at record #3 (first anchor)." keyed.json --anchor a.txt
verify 1 "Audit trail cannot be verified: its records from #1 on are signed with an audit key; set \"audit_key_file\" in the host configuration's \"security\" to the file of that key." unkeyed.json
psql "ALTER TABLE keyed_events DISABLE TRIGGER operator_events_no_delete;
  DELETE FROM keyed_events WHERE id = 3;
  UPDATE keyed_events_chain_head SET last_id = 2, last_hash = (SELECT hash FROM keyed_events WHERE id = 2);
  ALTER TABLE keyed_events ENABLE TRIGGER operator_events_no_delete" || fail "trimming"
verify 1 "Audit trail broken: the head does not carry the audit key's seal: records after #2 may have been removed." keyed.json
psql "UPDATE keyed_events_chain_head SET seal = ''" || fail "unsealing"
verify 1 "Audit trail broken: the head does not carry the audit key's seal: records after #2 may have been removed." keyed.json
echo ok
