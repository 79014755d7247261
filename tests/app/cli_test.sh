#!/usr/bin/env bash
# The command line as a user meets it: help, exit statuses (2 usage, 1 failure), edits written
# or refused, export, audit queries, `show --edit` far down a 1000-row result, a `tabulo design`
# session, `register` and `unregister`; databases checked by the sqlite3 shell. (`audit --verify`
# and an unusable audit store from the command line: tests/app/pg_audit_test.sh.)
# usage: cli_test.sh TABULO HOST_JSON SHARED_LIBRARY
set -uo pipefail
tabulo=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
host_json=$(readlink -f "$2")
library=$3
cp "$host_json" "$work/host.json"  # its audit database lands beside it
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

# `serve` runs the browser display's program in its place, so no other command maps the HTTP
# server library or OpenSSL (libcrypto is loaded by the first hash); without that program
# beside it or installed, `serve` says what is missing.
ldd "$tabulo" | grep -E "httplib|libssl|libcrypto" && fail "a start maps the HTTP server or OpenSSL"
"$tabulo" serve --help | grep -q "^usage: tabulo serve" || fail "serve --help through its program"
mkdir alone && cp "$tabulo" alone/tabulo
status=0
alone/tabulo serve --help >out.txt 2>err.txt || status=$?
[ "$status" = 1 ] && grep -q "cannot run the browser display's program .*tabulo-serve: No such" err.txt ||
  fail "serve without its program: exit $status: $(cat err.txt)"

"$tabulo" sample-db s.db --rows 30 >/dev/null || fail "sample-db"
sql="SELECT Id, Customer, Qty FROM Orders"
hint="(see 'tabulo show --help')"
expect 2 "--locale takes en-US" show --db s.db --sql "$sql" --locale xx-XX
expect 2 "$hint" show --db s.db --sql "$sql" --bogus
expect 2 "see 'tabulo --help'" frobnicate
expect 2 "--format takes csv or json" export --db s.db --sql "$sql" --format xml
expect 2 "--since takes a UTC time" audit --host host.json --since yesterday
expect 2 "it takes no filter" audit --host host.json --verify --user ann
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

# A text with a TAB, a line break and other control characters is written whole.
show --edit 3,1=$'a\tb\r\nc\x01\x1bd' >out.txt 2>err.txt || fail "control characters exit $?: $(cat err.txt)"
[ "$(sqlite3 s.db 'SELECT hex(Customer) FROM Orders WHERE Id = 4')" = 6109620D0A63011B64 ] ||
  fail "control characters: $(sqlite3 s.db 'SELECT hex(Customer) FROM Orders WHERE Id = 4')"

# Audit: filters and formats, the row each record changed.
"$tabulo" audit --host host.json --format csv --user ann --since 2000-01-01 >out.txt || fail "audit csv"
[ "$(head -n 1 out.txt)" = $'id,recorded_at,operator,cluster,event_type,source,column,row,old_value,new_value,signature1,signature2,signature3,signed_by1,signed_by2,signed_reason,signed_at,state\r' ] ||
  fail "csv header: $(head -n 1 out.txt)"
[ "$(wc -l <out.txt)" = 4 ] || fail "csv records: $(cat out.txt)"  # the refused sign-in is one
[ "$(grep -c $',written\r$' out.txt)" = 3 ] || fail "csv states: $(cat out.txt)"
"$tabulo" audit --host host.json --format json --until 2000-01-01 >out.txt || fail "audit json until"
[ -s out.txt ] && fail "--until 2000 kept records: $(cat out.txt)"
"$tabulo" audit --host host.json --format json --user nobody >out.txt || fail "audit json user"
[ -s out.txt ] && fail "--user nobody kept records: $(cat out.txt)"
"$tabulo" audit --host host.json --format json --user ann >out.txt || fail "audit json"
grep -q '^{"id":3,.*"column":"Customer","row":"Id = 3 AND .*","old_value":"[^"]*","new_value":"Zed",.*"signature3":"Maintenance"' out.txt ||
  fail "json record: $(cat out.txt)"

# A record a killed process left pending (made so here: the trigger lets only the program
# mark one) is settled by the next `tabulo audit` from its row: pending while the data cannot
# be read (--verify says so, intact all the same), then written, the row having changed.
last="(SELECT MAX(id) FROM operator_events)"
trigger=$(sqlite3 audit.db "SELECT sql FROM sqlite_master WHERE name = 'operator_events_no_update'")
sqlite3 audit.db "DROP TRIGGER operator_events_no_update;
  UPDATE operator_events SET state = 'pending' WHERE id = $last; $trigger;" || fail "made pending"
mv s.db away.db
"$tabulo" audit --host host.json --verify >out.txt || fail "verify with a pending record: $(cat out.txt)"
grep -q "^Audit trail intact" out.txt && grep -q "^1 record is pending: " out.txt ||
  fail "verify pending: $(cat out.txt)"
"$tabulo" audit --host host.json | tail -n 1 | grep -q '"Zed"; .*; pending: whether the change was written is not known yet$' ||
  fail "listing pending: $("$tabulo" audit --host host.json | tail -n 1)"
mv away.db s.db
"$tabulo" audit --host host.json --format csv | tail -n 1 | grep -q $',written\r$' ||
  fail "not settled: $("$tabulo" audit --host host.json --format csv | tail -n 1)"
[ "$(sqlite3 audit.db "SELECT state FROM operator_events WHERE id = $last")" = written ] || fail "state kept"

# A user name that a terminal would obey: the listing shows it escaped on one line, CSV and
# JSON hold it exactly.
evil=$'\e[2J\r\n#99 2026-12-07 signed by admin\x7f\xc2\x9b1m'
expect 1 "the signature was refused" \
  show --db s.db --sql "$sql" --host host.json --edit 1,2=5 --answer sign "$evil" wrong Correction
"$tabulo" audit --host host.json >out.txt || fail "audit list"
[ "$(grep -c '^#' out.txt)" = "$(sqlite3 audit.db 'SELECT COUNT(*) FROM operator_events')" ] ||
  fail "a record printed a line of its own: $(cat -v out.txt)"
grep -qF 'sign-in refused for \x1B[2J\r\n#99 2026-12-07 signed by admin\x7F\xC2\x9B1m ("' out.txt ||
  fail "listing not escaped: $(cat -v out.txt)"
"$tabulo" audit --host host.json --format csv >out.txt || fail "audit csv"
grep -qF "\"$evil\"" out.txt || fail "csv changed the user name: $(cat -v out.txt)"
"$tabulo" audit --host host.json --format json >out.txt || fail "audit json"
python3 -c 'import json, sys
names = [json.loads(l)["signature1"] for l in open("out.txt", encoding="utf-8")]
sys.exit(sys.argv[1] not in names)' "$evil" || fail "json changed the user name: $(cat -v out.txt)"

# Verify with an anchor: created, kept, moved; a trimmed tail is named and the anchor kept.
"$tabulo" audit --host host.json --verify --anchor a.txt >out.txt || fail "first anchor: $(cat out.txt)"
n=$(sqlite3 audit.db 'SELECT max(id) FROM operator_events')
[ "$(sed -n 2p out.txt)" = "Anchor a.txt created at record #$n (first anchor)." ] || fail "anchor: $(cat out.txt)"
"$tabulo" audit --host host.json --verify --anchor a.txt >out.txt || fail "anchor again"
[ "$(sed -n 2p out.txt)" = "Anchor a.txt stays at record #$n." ] || fail "anchor again: $(cat out.txt)"
show --edit 1,2=78 --answer sign ann - Correction --password-file pw.txt --log-event >/dev/null 2>&1 ||
  fail "edit after the anchor"
"$tabulo" audit --host host.json --verify --anchor a.txt >out.txt || fail "anchor moved"
[ "$(sed -n 2p out.txt)" = "Anchor a.txt moved from record #$n to record #$((n + 1))." ] ||
  fail "anchor moved: $(cat out.txt)"
cp audit.db trimmed.db
sqlite3 trimmed.db "DROP TRIGGER operator_events_no_delete; DELETE FROM operator_events WHERE id > $((n - 1));
  UPDATE sqlite_sequence SET seq = $((n - 1));
  UPDATE audit_chain_head SET last_id = $((n - 1)), last_hash = (SELECT hash FROM operator_events WHERE id = $((n - 1)));
  CREATE TRIGGER operator_events_no_delete BEFORE DELETE ON operator_events BEGIN SELECT RAISE(ABORT, 'no'); END;"
sed 's|"audit_database": "audit.db"|"audit_database": "trimmed.db"|' host.json >trimmed.json
"$tabulo" audit --host trimmed.json --verify >out.txt || fail "a trimmed plain trail: $(cat out.txt)"
cp a.txt a.before
status=0
"$tabulo" audit --host trimmed.json --verify --anchor a.txt >out.txt || status=$?
[ "$status" = 1 ] || fail "trimmed below the anchor: exit $status"
[ "$(cat out.txt)" = "Audit trail broken: records #$n to #$((n + 1)) are missing below the head anchored in a.txt (record #$((n + 1)))." ] ||
  fail "trimmed below the anchor: $(cat out.txt)"
cmp -s a.txt a.before || fail "a broken trail moved the anchor"
expect 2 "--anchor goes with --verify" audit --host host.json --anchor a.txt
printf 'not an anchor\n' >bad.txt
expect 1 "The audit anchor bad.txt is not an audit anchor" audit --host host.json --verify --anchor bad.txt

# The audit key: a file open to others is refused; a keyed trail needs the key to verify.
head -c 32 /dev/zero | tr '\0' k >audit.key
chmod 644 audit.key
sed 's|"audit_database": "audit.db"|"audit_database": "keyed.db", "audit_key_file": "audit.key"|' host.json >keyed.json
sed 's|"audit_database": "audit.db"|"audit_database": "keyed.db"|' host.json >unkeyed.json
expect 1 "audit.key is open to other users (mode 0644): allow only its owner with .chmod 600" \
  show --db s.db --sql "$sql" --host keyed.json --edit 1,2=79 --log-event
chmod 600 audit.key
"$tabulo" show --db s.db --sql "$sql" --host keyed.json --edit 1,2=79 --log-event >/dev/null 2>err.txt ||
  fail "keyed edit: $(cat err.txt)"
"$tabulo" audit --host keyed.json --verify >out.txt || fail "keyed verify: $(cat out.txt)"
[ "$(cat out.txt)" = "Audit trail intact: 1 record chained (#1 to #1, signed with the audit key from #1)." ] ||
  fail "keyed verify: $(cat out.txt)"
status=0
"$tabulo" audit --host unkeyed.json --verify >out.txt || status=$?
[ "$status" = 1 ] || fail "keyed trail without the key: exit $status"
grep -q "^Audit trail cannot be verified: its records from #1 on are signed with an audit key" out.txt ||
  fail "keyed trail without the key: $(cat out.txt)"

# Export: CSV with a header, JSON lines, the exact count on standard error, --out replaced.
"$tabulo" export --db s.db --sql "SELECT Id, Customer, Note FROM Orders WHERE Id <= 7" >out.csv 2>err.txt ||
  fail "export csv: $(cat err.txt)"
[ "$(cat err.txt)" = "tabulo export: 7 rows" ] || fail "export count: $(cat err.txt)"
[ "$(head -n 1 out.csv)" = $'Id,Customer,Note\r' ] || fail "export header: $(head -n 1 out.csv)"
echo old >out.json
"$tabulo" export --db s.db --sql "SELECT Id, Qty, Price FROM Orders WHERE Id = 3" --format json --out out.json 2>err.txt ||
  fail "export json: $(cat err.txt)"
[ "$(cat out.json)" = "$(sqlite3 s.db "SELECT '{\"Id\":3,\"Qty\":' || Qty || ',\"Price\":' || Price || '}' FROM Orders WHERE Id = 3")" ] ||
  fail "json line: $(cat out.json)"
grep -q "1 row written to out.json" err.txt || fail "export --out: $(cat err.txt)"
expect 1 "SQL\|syntax\|no such" export --db s.db --sql "SELECT nope FROM Orders" --out out.json
grep -q '"Id":3' out.json || fail "a failed export replaced --out"

# Binary columns: every record written, hex in CSV and base64 in JSON under names that say
# so, read back to the same bytes (NUL, 0xFF, quotes, CR LF, a comma; empty is not NULL).
sqlite3 s.db "CREATE TABLE Blobs (Id INTEGER PRIMARY KEY, Data BLOB, Name TEXT);
  INSERT INTO Blobs VALUES (1, x'00FF22270D0A2C41', 'a'), (2, x'', 'empty'), (3, NULL, 'null'),
  (4, x'0D', 'cr'), (5, zeroblob(3000), 'long')"
for format in csv json; do
  "$tabulo" export --db s.db --sql "SELECT * FROM Blobs ORDER BY Id" --format $format --out blobs.$format 2>err.txt ||
    fail "blob export $format exit $?: $(cat err.txt)"
  [ "$(cat err.txt)" = "tabulo export: 5 rows written to blobs.$format" ] || fail "blob export $format: $(cat err.txt)"
done
sqlite3 s.db "SELECT Id, CASE WHEN Data IS NULL THEN 'NULL' ELSE 'x' || hex(Data) END, Name FROM Blobs ORDER BY Id" >want.txt
python3 - blobs.csv blobs.json >got.txt <<'EOF_PY' || fail "blob exports do not read back"
import base64, csv, json, sys
rows = list(csv.reader(open(sys.argv[1], newline="")))
assert rows[0] == ["Id", "Data (hex)", "Name"], rows[0]
lines = [json.loads(line) for line in open(sys.argv[2])]
assert len(rows) - 1 == len(lines)
for (id_, hexed, name), obj in zip(rows[1:], lines):
    assert list(obj) == ["Id", "Data (base64)", "Name"], list(obj)
    from_csv = None if hexed == "" else bytes.fromhex(hexed[2:]) if hexed.startswith("0x") else 1 / 0
    b64 = obj["Data (base64)"]
    from_json = None if b64 is None else base64.b64decode(b64, validate=True)
    assert from_csv == from_json, (from_csv, from_json)
    print(f"{id_}|{'NULL' if from_csv is None else 'x' + from_csv.hex().upper()}|{name}")
EOF_PY
cmp -s want.txt got.txt || fail "blobs read back differ: $(diff want.txt got.txt)"
expect 1 'record 2: Type mismatch: the column "Name" holds binary data' \
  export --db s.db --sql "SELECT Id, Name FROM Blobs WHERE Id = 1 UNION ALL SELECT 9, x'01'"

# Whole numbers keep every digit at the edges of the exact double range and of 64 bits; an
# empty text is "" and NULL an empty field; --database only with --server-type 1.
sqlite3 s.db "CREATE TABLE Edges (Id INTEGER PRIMARY KEY, V INTEGER, T TEXT);
  INSERT INTO Edges (V, T) VALUES (9007199254740991, ''), (9007199254740992, NULL),
  (9007199254740993, 'x'), (-9007199254740993, ''), (9223372036854775807, NULL),
  (-9223372036854775808, 'y')"
"$tabulo" export --db s.db --sql "SELECT V, T FROM Edges ORDER BY Id" --server-type 0 >out.csv 2>err.txt ||
  fail "edges export: $(cat err.txt)"
printf 'V,T\r\n9007199254740991,""\r\n9007199254740992,\r\n9007199254740993,x\r\n-9007199254740993,""\r\n9223372036854775807,\r\n-9223372036854775808,y\r\n' >want.csv
cmp -s want.csv out.csv || fail "edges export: $(cat -A out.csv)"
"$tabulo" export --db s.db --sql "SELECT V, T FROM Edges WHERE Id = 5" --format json >out.json 2>err.txt ||
  fail "edges json: $(cat err.txt)"
[ "$(cat out.json)" = '{"V":9223372036854775807,"T":null}' ] || fail "edges json: $(cat out.json)"
expect 2 "--server-type takes 0" export --db s.db --sql "$sql" --server-type 2
expect 2 "--database names the database of a --server-type 1" export --db s.db --sql "$sql" --database x

# `show --edit` on a 1000-row sample: record 500 of the result is Id 601 (Qty 100), far
# below the first window, so the command scrolls to it; no --answer: the control's default
# asks nothing. Exactly that one field changes.
"$tabulo" sample-db sample.db --rows 1000 >/dev/null || fail "sample-db 1000"
big="SELECT Id, Customer, Qty, Price FROM Orders WHERE Qty < 400"
dump() { sqlite3 sample.db "SELECT Id, Customer, Qty, Price, Placed, Note FROM Orders ORDER BY Id" >"$1"; }
show_big() { "$tabulo" show --db sample.db --sql "$big" --host "$host_json" --ui-lang 1033 "$@"; }
dump before.txt
show_big --edit 500,2=123 >out.txt 2>err.txt || fail "edit exit $? $(cat err.txt)"
dump after.txt
changes=$(diff before.txt after.txt)
[ "$(grep -c '^[<>]' <<<"$changes")" = 2 ] || fail "expected one row changed, diff: $changes"
grep -q '^< 601|.*|100|' <<<"$changes" || fail "Id 601 was not the row changed: $changes"
grep -q '^> 601|.*|123|' <<<"$changes" || fail "Id 601 did not get Qty 123: $changes"
grep -q MSGBOX out.txt && fail "a message box without confirmation: $(cat out.txt)"
grep -q '^ *501| *601|' out.txt || fail "the edited record is not in the rendering"
# Answered No: nothing written, the question printed before the rendering; Yes writes.
cp after.txt before.txt
expect 1 "--edit 0,1: the update was not confirmed" show --db sample.db --sql "$big" --host "$host_json" --ui-lang 1033 \
  --edit 0,1=Nobody --answer no
dump after.txt
cmp -s before.txt after.txt || fail "a refused confirmation changed the database"
[ "$(head -n 1 out.txt)" = 'MSGBOX style=4 title="Confirmation" text="Are you sure you want to Update database records?"' ] ||
  fail "first line: $(head -n 1 out.txt)"
show_big --edit 0,1=Nobody --answer yes >out.txt 2>err.txt || fail "yes-answer exit $?"
[ "$(sqlite3 sample.db 'SELECT Customer FROM Orders WHERE Id = 1')" = Nobody ] || fail "Customer of 1"
# Malformed options are usage errors; a record beyond the result is a failure.
for bad in "--edit 5=7" "--edit -1,0=x" "--edit 1,x=2" "--answer maybe --edit 0,0=1" "--answer yes"; do
  # shellcheck disable=SC2086
  expect 2 "$hint" show --db sample.db --sql "$big" $bad
done
expect 1 'the result has 800 records' show --db sample.db --sql "$big" --edit 800,0=1

# `tabulo design`: a designer's session from standard input renders after each command and
# saves the control, which `tabulo script` then loads and browses.
"$tabulo" sample-db d.db --rows 50 >/dev/null || fail "sample-db 50"
design() { "$tabulo" design --db d.db --host "$host_json" "$@"; }
design --save orders.ctl >out.txt 2>&1 <<'EOF_SESSION' || fail "design exit $?: $(cat out.txt)"
page DSNSelection
fill txtSQL "SELECT Id, Qty FROM Orders WHERE Qty < 10"
page ColumnProperties
click Grid 2 2
fill txtEdit "Quantity"
key Enter
apply
EOF_SESSION
grep -q '| Qty | True | Quantity |' out.txt || fail "the column page did not follow: $(cat out.txt)"
printf 'load "orders.ctl"\nmode run\ntick 250\nget RecordSource\nshow\n' >browse.tab
"$tabulo" script browse.tab --host "$host_json" >out.txt 2>&1 || fail "script exit $?: $(cat out.txt)"
grep -q 'RecordSource = "SELECT Id, Qty FROM Orders WHERE Qty < 10"' out.txt || fail "loaded: $(cat out.txt)"
grep -q 'Quantity' out.txt || fail "the caption was not saved: $(cat out.txt)"
# With --sql the control connects at start, so the data source page lists the tables.
printf 'page DSNSelection\npress cmdListTables\nitems lstTable\n' |
  design --sql "SELECT Id FROM Orders" --save listed.ctl >out.txt 2>&1 || fail "design --sql exit $?: $(cat out.txt)"
grep -q '^lstTable = {"Orders"}$' out.txt || fail "tables not listed: $(cat out.txt)"
# A fault of the session saves nothing (exit 2); a missing --save is a usage error.
expect 2 "no property page or dialog is open" design --db d.db --host "$host_json" --save other.ctl <<<"press nosuch"
[ -e other.ctl ] && fail "a failed session saved"
expect 2 "no --save FILE given" design --db d.db </dev/null
# The embedded default host reads the texts installed with the program; a host file without
# "resources" has no store, and one that names a file uses it for its ids only.
printf 'page eSignature\npage UsrControlProperties\n' >pages.txt
"$tabulo" design --db d.db --save t.ctl <pages.txt >out.txt 2>&1 || fail "design: $(cat out.txt)"
grep -q '^== eSignature ==$' out.txt || fail "no eSignature caption: $(cat out.txt)"
grep -q 'frm1: frame "  eSignature Confirmation  "' out.txt || fail "frame: $(cat out.txt)"
grep -q 'chkLogChanges: check \[ \] "Log Updates"' out.txt || fail "1175: $(cat out.txt)"
grep -q 'Not Found' out.txt && fail "a text of the store is missing: $(cat out.txt)"
design --save t.ctl <pages.txt >out.txt 2>&1 || fail "design --host: $(cat out.txt)"
grep -q '^== 1210 Not Found ==$' out.txt || fail "a host file without a store: $(cat out.txt)"
sed 's/^{/{ "resources": "texts.txt",/' "$host_json" >texts.json
printf 'Tabulo 1210 0 = Signatur\n' >texts.txt
"$tabulo" design --db d.db --host texts.json --save t.ctl <pages.txt >out.txt 2>&1 || fail "texts.json: $(cat out.txt)"
grep -q '^== Signatur ==$' out.txt || fail "the host's store: $(cat out.txt)"
grep -q 'frame "1211 Not Found"' out.txt || fail "1211 from the host's store: $(cat out.txt)"
grep -q '^== General ==$' out.txt || fail "the table behind the host's store: $(cat out.txt)"
# --layout draws the pages as laid out; Alt+U ticks the box whose access key is U.
printf 'page UsrControlProperties\nkey Alt+U\n' >alt.txt
"$tabulo" design --db d.db --layout --save t.ctl <alt.txt >out.txt 2>&1 || fail "design --layout: $(cat out.txt)"
grep -q '^ |\[ \] Allow database updates  .*\[ \] Automatic refresh|$' out.txt || fail "not laid out: $(cat out.txt)"
grep -q '^ |\[x\] Allow database updates' out.txt || fail "Alt+U: $(cat out.txt)"
grep -q '^ |   Event Type      \[dbUpdate' out.txt || fail "a label beside its box: $(cat out.txt)"
grep -q '^ Font: .* pt   Background Color: #[0-9a-f]\{6\}   Font Color: #[0-9a-f]\{6\}$' out.txt || fail "no font and colours: $(cat out.txt)"
grep -q "^tabulo design: saved the control to t.ctl$" out.txt || fail "Save did not say where: $(cat out.txt)"
grep -q '&' out.txt && fail "an ampersand is shown: $(cat out.txt)"
# The query builder at the terminal: Escape cancels; Tab goes round its widgets (Shift+Tab from
# none to Cancel, then back to OK); Enter is the focused button, else OK, but a new line in the
# filter box.
qb() { printf "page DSNSelection\npress cmdBuildQuery\n$1\nshow\n" |
       design --sql "SELECT Id, Qty FROM Orders" --save t.ctl >out.txt 2>&1 || fail "qb $1: $(cat out.txt)"; }
qb 'fill txtWhere "Qty < 3"\nkey Escape'
tail -n 22 out.txt | grep -q '^  txtSQL: text "SELECT Id, Qty FROM Orders"$' || fail "Escape: $(cat out.txt)"
qb 'key Shift+Tab\nkey Shift+Tab\nshow'
grep -q '^  cmdOk: button "OK" (focus)$' out.txt || fail "Shift+Tab: $(cat out.txt)"
qb 'key Tab\nkey Tab\nshow'
grep -q '^  cmdSelectButtons(0): button "<" (focus)$' out.txt || fail "Tab: $(cat out.txt)"
qb 'fill txtWhere "Qty < 3"\nkey Shift+Tab\nkey Enter'
tail -n 22 out.txt | grep -q '^  txtSQL: text "SELECT Id, Qty FROM Orders"$' || fail "Enter on Cancel: $(cat out.txt)"
# Five back from none is the filter box: Enter there is a new line, and Escape still cancels.
qb 'key Shift+Tab\nkey Shift+Tab\nkey Shift+Tab\nkey Shift+Tab\nkey Shift+Tab\nkey Enter\nshow\nkey Escape'
grep -q '^  txtWhere: text "\\r\\n" (focus)$' out.txt || fail "Enter in the filter box: $(cat out.txt)"
qb 'fill txtWhere "Qty < 3"\nkey Tab\nkey Enter'
tail -n 22 out.txt | grep -q '^  txtSQL: text "SELECT Id, Qty FROM Orders WHERE Qty < 3' || fail "Enter: $(cat out.txt)"
expect 2 "nothing on General has that access key" design --db d.db --layout --save t.ctl <<<$'page UsrControlProperties\nkey Alt+Q'

# An unusable folder for temporary snapshots (under a file, another user's): show and export
# fail naming it and why; a script's control shows its load failure. The script's extent is
# bounded as show's.
touch plain
printf 'load "orders.ctl"\nmode run\ntick 250\nmessages\nget NumberRows\n' >load.tab
for place in "$work/plain" "$work/rt"; do
  mkdir -p rt/tabulo-snapshots
  [ "$(id -u)" = 0 ] && chown nobody rt/tabulo-snapshots
  [ "$(id -u)" = 0 ] || chmod 0500 rt/tabulo-snapshots
  for cmd in show export; do
    XDG_RUNTIME_DIR=$place expect 1 "The folder for temporary snapshots .*: $place/tabulo-snapshots" \
      $cmd --db d.db --sql "SELECT Id FROM Orders"
  done
  grep -q "Not a directory\|belongs to another user\|cannot be written (Permission denied)" err.txt ||
    fail "no cause: $(cat err.txt)"
  XDG_RUNTIME_DIR=$place "$tabulo" script load.tab --host "$host_json" >out.txt 2>&1 || fail "script exit $?"
  [ "$(cat out.txt)" = $'MSGBOX style=0 title="Error" text="The DSN Name is invalid"\nNumberRows = 0' ] ||
    fail "script: $(cat out.txt)"
done
printf 'size 120000 240315\nsize 2000000000 2000000000\nshow\n' >big.tab
expect 2 "line 2: size: the width is 1200 to 120000 twips" script big.tab

# Registration: the control's identifier and the pages with the library's path, removed
# again; a file that is no component library is refused (1).
"$tabulo" register --registry reg.json --library "$library" >out.txt || fail "register exit $?"
canonical=$(readlink -f "$library")
grep -q "^VELTRA.TabuloCtl {.*} $canonical\$" out.txt || fail "register printed: $(cat out.txt)"
grep -q "registered 5 class(es) in reg.json" out.txt || fail "no summary: $(cat out.txt)"
grep -q '"VELTRA.TabuloCtl"' reg.json || fail "identifier not in the file"
"$tabulo" unregister --registry reg.json --library "$library" >/dev/null || fail "unregister exit $?"
grep -q 'TabuloCtl' reg.json && fail "still registered after unregister"
echo "not a library" >bogus.so
expect 1 "Error in loading DLL" register --registry reg.json --library ./bogus.so
expect 2 "see 'tabulo register --help'" register --registry
# Properties on the command line: any plain property, converted as a script's let converts
# it; an unknown name, a value the control refuses or no plain property is a usage error.
"$tabulo" sample-db set.db --rows 5 >/dev/null || fail "sample-db set.db"
setsql="SELECT Id, Customer FROM Orders"
"$tabulo" show --db set.db --sql "$setsql" --set showstatusbar=false --set DataTable=Orders >out.txt 2>err.txt ||
  fail "show --set exit $?: $(cat err.txt)"
grep -q "Browsing" out.txt && fail "--set ShowStatusBar=false still shows the status bar: $(cat out.txt)"
grep -q "Acme Corp" out.txt || fail "show --set shows no data: $(cat out.txt)"
"$tabulo" show --db set.db --sql "$setsql" --set DataTable=Orders >out.txt 2>err.txt || fail "show --set DataTable"
grep -q "Browsing: Orders@set.db" out.txt || fail "--set DataTable=Orders not shown: $(cat out.txt)"
for cmd in show browse; do
  expect 2 "--set AllowUpdate=true: unknown member 'AllowUpdate'" "$cmd" --db set.db --sql "$setsql" --set AllowUpdate=true
  expect 2 "--set AllowUpdates=maybe: Type mismatch" "$cmd" --db set.db --sql "$setsql" --set AllowUpdates=maybe
  expect 2 "--set takes NAME=VALUE" "$cmd" --db set.db --sql "$setsql" --set AllowUpdates
  expect 2 "NumberRows cannot be set" "$cmd" --db set.db --sql "$setsql" --set NumberRows=3
done
expect 2 "--set Foo=1: unknown member 'Foo'" serve --db set.db --sql "$setsql" --set Foo=1 --port 0
expect 2 "--set ConfirmUpdates=often: Type mismatch" serve --db set.db --sql "$setsql" --port 0 \
  --set ConfirmUpdates=often
# Session bounds: 1 to 1000 sessions; a duration with its unit (a plain number is minutes).
for bad in 0 1001 x; do
  expect 2 "--max-sessions takes 1 to 1000" serve --db set.db --sql "$setsql" --max-sessions "$bad"
done
# A public name, alone or with the port of a proxy in front: 1 to 65535.
for bad in "" :8443 a:0 a:65536 a:x a: "a b" a/b; do
  expect 2 "--public-name takes a host name" serve --db set.db --sql "$setsql" --public-name "$bad"
done
for bad in 0 0s 5d 30m 1234567min; do
  expect 2 "--idle-timeout takes a duration" serve --db set.db --sql "$setsql" --idle-timeout "$bad"
done
# browse without a terminal prints one rendering with the settings applied.
"$tabulo" browse --db set.db --sql "$setsql" --set ShowStatusBar=0 </dev/null >out.txt 2>err.txt ||
  fail "browse --set exit $?: $(cat err.txt)"
grep -q "Acme Corp" out.txt && ! grep -q "Browsing" out.txt || fail "browse --set: $(cat out.txt)"
# The program's help gives each command's description whole, wrapped within 79 columns.
"$tabulo" --help >out.txt || fail "--help exit $?"
grep -q "PgUp/PgDn, Home/End and the mouse wheel scroll" out.txt || fail "--help cut browse: $(cat out.txt)"
grep -q "a terminal it prints one rendering, as show does$" out.txt || fail "--help cut browse's end: $(cat out.txt)"
grep -q "^ *address to open; Ctrl-C stops$" out.txt ||
  fail "--help cut serve: $(cat out.txt)"
awk 'length($0) > 79 { exit 1 }' out.txt || fail "--help has lines over 79 columns: $(cat out.txt)"
grep -q -- "--set" out.txt && fail "--help took an option into a description: $(cat out.txt)"

# A control file names its database by a path relative to itself: loaded from another folder
# it still finds it; without the file the load's message goes to standard error (exit 1).
mkdir -p saved
"$tabulo" sample-db saved/rel.db --rows 3 >/dev/null || fail "sample-db saved/rel.db"
printf 'let DSNname "rel.db"\nlet RecordSource "SELECT Id, Customer FROM Orders"\nsave "saved/rel.ctl"\n' |
  "$tabulo" script - >/dev/null || fail "saving rel.ctl"
grep -q 'DSNname = String "rel.db"' saved/rel.ctl || fail "save changed the path: $(cat saved/rel.ctl)"
"$tabulo" browse --load saved/rel.ctl </dev/null >out.txt 2>err.txt || fail "browse --load exit $?: $(cat err.txt)"
grep -q "Acme Corp" out.txt || fail "the relative database was not found: $(cat out.txt)"
grep -q "Browsing: saved/rel.db " out.txt || fail "status without table: $(cat out.txt)"
mv saved/rel.db saved/gone.db
expect 1 "The DSN Name is invalid" browse --load saved/rel.ctl </dev/null
"$tabulo" sample-db log.db --rows 5 >/dev/null || fail "sample for serve"
# serve: the address alone on standard output, as scripts read it; its log on standard error,
# one JSON object a line, from its start to its stop; /healthz answers.
"$tabulo" serve --db log.db --sql "SELECT Id FROM Orders" --port 0 >serve.out 2>serve.err &
serve_pid=$!
for _ in $(seq 100); do grep -q "^tabulo serve: http" serve.out && break; sleep 0.1; done
url=$(grep -o 'http://[^ ]*' serve.out) || fail "serve printed no address: $(cat serve.err)"
python3 -c 'import sys, urllib.request; sys.exit(urllib.request.urlopen(sys.argv[1] + "healthz").status != 200)' \
  "$url" || fail "/healthz"
kill "$serve_pid"
wait "$serve_pid" || fail "serve stopped with $?"
[ "$(wc -l <serve.out)" = 1 ] || fail "serve's standard output: $(cat serve.out)"
python3 -c '
import json, sys
events = [json.loads(line)["event"] for line in open("serve.err")]
sys.exit(events != ["serve_started", "serve_stopped"])' || fail "serve's log: $(cat serve.err)"
echo ok
