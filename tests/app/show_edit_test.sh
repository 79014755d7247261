#!/usr/bin/env bash
# `tabulo show --edit` on a fresh 1000-row sample database: an edit changes exactly the one
# field it names, a confirmation answered No changes nothing, and the message boxes shown
# are printed before the rendering. The database is read back with the
# sqlite3 shell, not with tabulo itself.
set -euo pipefail
tabulo=$1
host_json=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$tabulo" sample-db sample.db --rows 1000 >/dev/null
sql="SELECT Id, Customer, Qty, Price FROM Orders WHERE Qty < 400"
dump() { sqlite3 sample.db "SELECT Id, Customer, Qty, Price, Placed, Note FROM Orders ORDER BY Id" >"$1"; }
fail() { echo "FAIL: $*" >&2; exit 1; }
show() { "$tabulo" show --db sample.db --sql "$sql" --host "$host_json" --ui-lang 1033 "$@"; }

dump before.txt

# Record 500 of the result is Id 601 (Qty 100): far below the first window, so the command
# has to scroll to it. No --answer: the control's default asks nothing.
show --edit 500,2=123 >out.txt 2>err.txt || fail "edit exit $? $(cat err.txt)"
dump after.txt
changes=$(diff before.txt after.txt || true)
[ "$(grep -c '^[<>]' <<<"$changes")" = 2 ] || fail "expected one row changed, diff: $changes"
grep -q '^< 601|.*|100|' <<<"$changes" || fail "Id 601 was not the row changed: $changes"
grep -q '^> 601|.*|123|' <<<"$changes" || fail "Id 601 did not get Qty 123: $changes"
grep -q MSGBOX out.txt && fail "a message box without confirmation: $(cat out.txt)"
grep -q '^ *501| *601|' out.txt || fail "the edited record is not in the rendering"

# Answered No: nothing written (status 1), the question printed before the rendering.
cp after.txt before.txt
status=0
show --edit 0,1=Nobody --answer no >out.txt 2>err.txt || status=$?
[ "$status" = 1 ] || fail "no-answer exit $status"
dump after.txt
cmp -s before.txt after.txt || fail "a refused confirmation changed the database"
[ "$(head -n 1 out.txt)" = 'MSGBOX style=4 title="Confirmation" text="Are you sure you want to Update database records?"' ] ||
  fail "first line: $(head -n 1 out.txt)"

# Answered Yes: a text field written as typed.
show --edit 0,1=Nobody --answer yes >out.txt 2>err.txt || fail "yes-answer exit $?"
[ "$(sqlite3 sample.db 'SELECT Customer FROM Orders WHERE Id = 1')" = Nobody ] || fail "Customer of 1"

# Malformed options are usage errors; a record beyond the result is a failure.
for bad in "--edit 5=7" "--edit -1,0=x" "--edit 1,x=2" "--answer maybe --edit 0,0=1" "--answer yes"; do
  status=0
  # shellcheck disable=SC2086
  show $bad >/dev/null 2>&1 || status=$?
  [ "$status" = 2 ] || fail "'$bad' exit $status, expected 2"
done
status=0
show --edit 800,0=1 >/dev/null 2>err.txt || status=$?
[ "$status" = 1 ] || fail "record 800 of 800 exit $status"
grep -q 'the result has 800 records' err.txt || fail "record 800: $(cat err.txt)"
echo ok
