#!/usr/bin/env bash
# Runs one acceptance script through `tabulo script` and compares its output with the
# expected text: the lines after the "----" line of the script's sibling .expected file.
set -euo pipefail
tabulo=$1
script=$2
expected="${script%.tab}.expected"
actual=$(mktemp)
trap 'rm -f "$actual"' EXIT
cd "$(dirname "$script")"
"$tabulo" script "$script" >"$actual" 2>&1 || true
diff -u "$expected" "$actual"
