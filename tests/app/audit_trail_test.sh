#!/usr/bin/env bash
# The audit trail from the command line: a logged edit whose audit store cannot be written is
# not made and `show --edit` says so (exit 1); `audit --verify` passes an intact trail (exit 0)
# and names the first record changed (exit 1). The files are changed with the sqlite3 shell.
set -uo pipefail
tabulo=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }
"$tabulo" sample-db s.db --rows 30 >/dev/null || fail "sample-db"
sed 's#"audit_database": "audit.db"#"audit_database": "gone/audit.db"#' "$2" >gone.json
cp "$2" host.json
edit() { "$tabulo" show --db s.db --sql "SELECT Id, Qty FROM Orders" --host "$1" --edit "$2" --log-event; }

status=0
edit gone.json 1,1=55 >out.txt 2>err.txt || status=$?
[ "$status" = 1 ] || fail "edit without an audit store: exit $status"
grep -q "^tabulo show: --edit 1,1: nothing was written (Cannot write the operator event: the folder of the audit database does not exist: .*/gone. The change was not written.)" err.txt ||
  fail "edit without an audit store: $(cat err.txt)"
[ "$(sqlite3 s.db 'SELECT Qty FROM Orders WHERE Id = 2')" = 1 ] || fail "an unrecorded edit was written"

for e in 1,1=55 2,1=66; do edit host.json "$e" >/dev/null 2>err.txt || fail "edit $e: $(cat err.txt)"; done
"$tabulo" audit --host host.json --verify >out.txt || fail "verify intact: exit $?"
[ "$(cat out.txt)" = "Audit trail intact: 2 records chained (#1 to #2)." ] || fail "intact: $(cat out.txt)"
status=0
"$tabulo" audit --host host.json --verify --user ann >/dev/null 2>&1 || status=$?
[ "$status" = 2 ] || fail "--verify with a filter: exit $status"

sqlite3 audit.db "DROP TRIGGER operator_events_no_update; UPDATE operator_events SET new_value = '5' WHERE id = 1"
status=0
"$tabulo" audit --host host.json --verify >out.txt || status=$?
[ "$status" = 1 ] || fail "verify after tampering: exit $status"
[ "$(cat out.txt)" = "Audit trail broken: record #1 has been changed since it was written." ] ||
  fail "tampered: $(cat out.txt)"
echo ok
