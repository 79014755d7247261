#!/usr/bin/env bash
# Runs one acceptance script through `tabulo script` in a fresh folder that holds the
# 1000-row sample database (sample.db) and the test host configuration (host.json: cluster
# Local with the servers PLANT-01, active, and PLANT-02), and compares its output (stdout
# and stderr, then the exit status) with the script's sibling .expected file.
set -euo pipefail
tabulo=$1
script=$2
expected="${script%.tab}.expected"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$tabulo" sample-db "$work/sample.db" --rows 1000 >/dev/null
cp "$script" "$work/session.tab"
cp "$(dirname "$script")/host.json" "$work/host.json"
cd "$work"
# Audit records of the session stay in its folder.
export XDG_STATE_HOME="$work/state"
status=0
"$tabulo" script session.tab --host host.json --locale en-US --ui-lang 1033 >actual.txt 2>&1 || status=$?
echo "exit $status" >>actual.txt
diff -u "$expected" actual.txt
