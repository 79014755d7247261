#!/usr/bin/env bash
# The command line as a user meets it: help and version, exit statuses (2 usage, 1 failure),
# `sample-db` refusing to overwrite, `show --edit` failing when an edit is not written,
# passwords off the command line, `export` in both formats, and `audit` with its filters,
# formats and the row each record names. Databases are checked with the sqlite3 shell.
set -uo pipefail
tabulo=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$2" "$work/host.json"  # its audit database lands beside it
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }
# expect STATUS STDERR-PATTERN ARGS...: the exit status, and a pattern standard error holds.
expect() {
  local want=$1 pattern=$2 status=0
  shift 2
  "$tabulo" "$@" >out.txt 2>err.txt || status=$?
  [ "$status" = "$want" ] || fail "'$*' exit $status, expected $want: $(cat err.txt)"
  grep -q -- "$pattern" err.txt || fail "'$*' stderr lacks '$pattern': $(cat err.txt)"
}

"$tabulo" --version | grep -qx 'tabulo [0-9.]*' || fail "--version"
for c in sample-db strings show script export hash-password audit register unregister; do
  "$tabulo" "$c" --help >out.txt || fail "$c --help exit $?"
  grep -q "^usage: tabulo $c" out.txt || fail "$c --help: $(cat out.txt)"
  "$tabulo" --help | grep -q "^  $c " || fail "program help lacks $c"
done

"$tabulo" sample-db s.db --rows 30 >/dev/null || fail "sample-db"
sql="SELECT Id, Customer, Qty FROM Orders"
hint="(see 'tabulo show --help')"
expect 2 "--locale takes en-US" show --db s.db --sql "$sql" --locale xx-XX
expect 2 "$hint" show --db s.db --sql "$sql" --bogus
expect 2 "see 'tabulo --help'" frobnicate
expect 2 "--format takes csv or json" export --db s.db --sql "$sql" --format xml
expect 2 "--since takes a UTC time" audit --host host.json --since yesterday
expect 1 "exists; give --force" sample-db s.db
"$tabulo" sample-db s.db --rows 30 --force >/dev/null || fail "sample-db --force"
expect 1 "no database file at missing.db" show --db missing.db --sql "$sql"
expect 1 "no database file at missing.db" export --db missing.db --sql "$sql"
expect 1 "browses only statements beginning with \"SELECT \"" show --db s.db --sql "UPDATE Orders SET Qty = 1"
expect 1 "only a statement beginning with SELECT" export --db s.db --sql "DELETE FROM Orders"
[ "$(sqlite3 s.db 'SELECT COUNT(*) FROM Orders')" = 30 ] || fail "export ran a DELETE"

# Edits: exit 0 only when written; each unwritten edit says why on standard error.
show() { "$tabulo" show --db s.db --sql "$sql" --host host.json --ui-lang 1033 "$@"; }
expect 1 "--edit 0,2: the value was refused (Updated value is not a valid number)" \
  show --db s.db --sql "$sql" --edit 0,2=abc
expect 1 "--edit 1,2: the update was not confirmed" show --db s.db --sql "$sql" --edit 1,2=5 --answer no
expect 1 "--edit 1,2: the signature was cancelled" show --db s.db --sql "$sql" --edit 1,2=5 --answer cancel
expect 1 "--edit 1,2: the signature was refused" \
  show --db s.db --sql "$sql" --host host.json --edit 1,2=5 --answer sign ann wrong Correction
[ "$(sqlite3 s.db 'SELECT Qty FROM Orders WHERE Id = 2')" = 1 ] || fail "an unwritten edit changed Id 2"
printf 'secret\n' >pw.txt
show --edit 1,2=77 --answer sign ann - Correction --password-file pw.txt --log-event >out.txt 2>err.txt ||
  fail "signed edit exit $?: $(cat err.txt)"
echo secret | show --edit 2,1=Zed --answer sign ann - Maintenance --log-event >out.txt 2>err.txt ||
  fail "password on standard input: $(cat err.txt)"
[ "$(sqlite3 s.db "SELECT Qty FROM Orders WHERE Id = 2; SELECT Customer FROM Orders WHERE Id = 3" | tr '\n' ' ')" = "77 Zed " ] ||
  fail "signed edits: $(sqlite3 s.db 'SELECT * FROM Orders WHERE Id IN (2, 3)')"

# Audit: the row each record changed, filters and formats.
"$tabulo" audit --host host.json >out.txt || fail "audit exit $?"
grep -q 'column Qty: "1" -> "77"; row Id = 2 AND Customer = .* AND Qty = 1;' out.txt || fail "audit row: $(cat out.txt)"
"$tabulo" audit --host host.json --format csv --user ann --since 2000-01-01 >out.txt || fail "audit csv"
[ "$(head -n 1 out.txt)" = $'id,recorded_at,operator,cluster,event_type,source,column,row,old_value,new_value,signature1,signature2,signature3,signed_by1,signed_by2,signed_reason,signed_at\r' ] ||
  fail "csv header: $(head -n 1 out.txt)"
[ "$(wc -l <out.txt)" = 4 ] || fail "csv records: $(cat out.txt)"  # the refused sign-in is one
"$tabulo" audit --host host.json --format json --until 2000-01-01 >out.txt || fail "audit json until"
[ -s out.txt ] && fail "--until 2000 kept records: $(cat out.txt)"
"$tabulo" audit --host host.json --format json --user nobody >out.txt || fail "audit json user"
[ -s out.txt ] && fail "--user nobody kept records: $(cat out.txt)"
"$tabulo" audit --host host.json --format json --user ann >out.txt || fail "audit json"
grep -q '^{"id":3,.*"column":"Customer","row":"Id = 3 AND .*","old_value":"[^"]*","new_value":"Zed",.*"signature3":"Maintenance"' out.txt ||
  fail "json record: $(cat out.txt)"

# Export: CSV with a header, JSON lines, the exact count on standard error, --out replaced.
"$tabulo" export --db s.db --sql "SELECT Id, Customer, Note FROM Orders WHERE Id <= 7" >out.csv 2>err.txt ||
  fail "export csv: $(cat err.txt)"
[ "$(cat err.txt)" = "tabulo export: 7 rows" ] || fail "export count: $(cat err.txt)"
[ "$(head -n 1 out.csv)" = $'Id,Customer,Note\r' ] || fail "export header: $(head -n 1 out.csv)"
[ "$(sed -n 8p out.csv)" = $'7,'"$(sqlite3 s.db 'SELECT Customer FROM Orders WHERE Id = 7')"$',\r' ] ||
  fail "null Note of Id 7: $(sed -n 8p out.csv)"
echo old >out.json
"$tabulo" export --db s.db --sql "SELECT Id, Qty, Price FROM Orders WHERE Id = 3" --format json --out out.json 2>err.txt ||
  fail "export json: $(cat err.txt)"
[ "$(cat out.json)" = "$(sqlite3 s.db "SELECT '{\"Id\":3,\"Qty\":' || Qty || ',\"Price\":' || Price || '}' FROM Orders WHERE Id = 3")" ] ||
  fail "json line: $(cat out.json)"
grep -q "1 row written to out.json" err.txt || fail "export --out: $(cat err.txt)"
expect 1 "SQL\|syntax\|no such" export --db s.db --sql "SELECT nope FROM Orders" --out out.json
grep -q '"Id":3' out.json || fail "a failed export replaced --out"
echo ok
