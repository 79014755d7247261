#!/usr/bin/env bash
# `tabulo design`: a designer's session from standard input renders after each command and
# saves the control, which `tabulo script` then loads and browses; a fault of the session
# saves nothing, and a missing --save is a usage error.
set -euo pipefail
tabulo=$1
host=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }
"$tabulo" sample-db sample.db --rows 50 >/dev/null

"$tabulo" design --db sample.db --save orders.ctl --host "$host" >out.txt 2>&1 <<'EOF_SESSION' \
  || fail "design exit $?: $(cat out.txt)"
page DSNSelection
fill txtSQL "SELECT Id, Qty FROM Orders WHERE Qty < 10"
page ColumnProperties
click Grid 2 2
fill txtEdit "Quantity"
key Enter
apply
EOF_SESSION
grep -q '^== Data Source Properties ==$' out.txt || fail "no page rendered: $(cat out.txt)"
grep -q '| Qty | True | Quantity |' out.txt || fail "the column page did not follow: $(cat out.txt)"
[ -s orders.ctl ] || fail "nothing saved"

cat >browse.tab <<'EOF_SCRIPT'
load "orders.ctl"
mode run
tick 250
get RecordSource
show
EOF_SCRIPT
"$tabulo" script browse.tab --host "$host" >out.txt 2>&1 || fail "script exit $?: $(cat out.txt)"
grep -q 'RecordSource = "SELECT Id, Qty FROM Orders WHERE Qty < 10"' out.txt \
  || fail "loaded: $(cat out.txt)"
grep -q 'Quantity' out.txt || fail "the caption was not saved: $(cat out.txt)"

# With --sql the control connects at start, so the data source page lists the tables.
printf 'page DSNSelection\npress cmdListTables\nitems lstTable\n' |
  "$tabulo" design --db sample.db --sql "SELECT Id FROM Orders" --save listed.ctl \
    --host "$host" >out.txt 2>&1 || fail "design --sql exit $?: $(cat out.txt)"
grep -q '^lstTable = {"Orders"}$' out.txt || fail "tables not listed: $(cat out.txt)"

status=0
echo "press nosuch" | "$tabulo" design --db sample.db --save other.ctl --host "$host" \
  >out.txt 2>&1 || status=$?
[ "$status" -eq 2 ] || fail "fault: status $status"
[ -e other.ctl ] && fail "a failed session saved"
status=0
"$tabulo" design --db sample.db </dev/null 2>/dev/null || status=$?
[ "$status" -eq 2 ] || fail "usage error: status $status"
echo "ok"
