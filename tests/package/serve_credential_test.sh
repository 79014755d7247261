#!/usr/bin/env bash
# `tabulo serve` as the display service runs it: without --token-file, the token is the
# service's credential "token" ($CREDENTIALS_DIRECTORY/token), whose mode bits may show an
# access list's mask (0440, 0640). The page then needs that token; an unusable one stops
# the program, naming the credential; --token-file still comes first.
# usage: serve_credential_test.sh TABULO
set -uo pipefail
tabulo=$1
work=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

"$tabulo" sample-db s.db --rows 5 >/dev/null || fail "sample-db"
mkdir creds && chmod 700 creds
export CREDENTIALS_DIRECTORY=$work/creds XDG_STATE_HOME=$work/state XDG_CONFIG_HOME=$work/config
serve=(serve --db s.db --sql "SELECT Id, Customer FROM Orders" --port 0)

printf 'tooshort\n' >creds/token && chmod 440 creds/token
status=0
timeout 20 "$tabulo" "${serve[@]}" >out.txt 2>err.txt || status=$?
[ "$status" = 1 ] || fail "a short credential token: exit $status, expected 1"
grep -q "$work/creds/token" err.txt || fail "the error does not name the credential: $(cat err.txt)"

token=0123456789abcdef0123456789abcdef
rm -f creds/token && printf '%s\n' "$token" >creds/token && chmod 640 creds/token
"$tabulo" "${serve[@]}" >out.txt 2>err.txt &
pid=$!
for _ in $(seq 100); do grep -q "http://" out.txt && break; kill -0 "$pid" || break; sleep 0.1; done
address=$(grep -o 'http://[^ ]*' out.txt) || fail "serve printed no address: $(cat out.txt err.txt)"
[[ $address != *token* ]] || fail "the address shows the credential's token: $address"
code() { curl -s -o /dev/null -w '%{http_code}' "$1"; }
[ "$(code "$address")" = 401 ] || fail "the page without the token: $(code "$address")"
[ "$(code "$address?token=$token")" = 303 ] || fail "the credential's token is refused"
kill "$pid" && wait "$pid"
pid=

# --token-file comes first: a good file serves even with an unusable credential beside it.
printf 'tooshort\n' >creds/token
printf '%s\n' "${token}ff" >file.token && chmod 600 file.token
"$tabulo" "${serve[@]}" --token-file file.token >out.txt 2>err.txt &
pid=$!
for _ in $(seq 100); do grep -q "http://" out.txt && break; kill -0 "$pid" || break; sleep 0.1; done
address=$(grep -o 'http://[^ ]*' out.txt) || fail "--token-file beside a credential: $(cat err.txt)"
[ "$(code "$address?token=${token}ff")" = 303 ] || fail "--token-file's token is refused"
echo "serve_credential_test: passed"
