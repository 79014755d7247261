#!/usr/bin/env bash
# `tabulo register` / `tabulo unregister` on a fresh registry file: the control's identifier
# appears with the library's path, unregistering removes it again, a library that is no
# component library is refused with status 1 and a malformed command line with status 2.
set -euo pipefail
tabulo=$1
library=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

out=$("$tabulo" register --registry reg.json --library "$library")
canonical=$(readlink -f "$library")
grep -q "^VELTRA.TabuloCtl {.*} $canonical\$" <<<"$out" || fail "register printed: $out"
grep -q "^VELTRA.DSNSelection {.*} $canonical\$" <<<"$out" || fail "pages not registered: $out"
grep -q "registered 5 class(es) in reg.json" <<<"$out" || fail "no summary: $out"
grep -q '"VELTRA.TabuloCtl"' reg.json || fail "identifier not in the file"

"$tabulo" unregister --registry reg.json --library "$library" >/dev/null
grep -q 'TabuloCtl' reg.json && fail "still registered after unregister"

echo "not a library" >bogus.so
status=0
"$tabulo" register --registry reg.json --library ./bogus.so 2>err.txt || status=$?
[ "$status" -eq 1 ] || fail "bogus library: status $status"
grep -q "Error in loading DLL" err.txt || fail "bogus library: $(cat err.txt)"
status=0
"$tabulo" register --registry 2>/dev/null || status=$?
[ "$status" -eq 2 ] || fail "usage error: status $status"
echo "ok"
