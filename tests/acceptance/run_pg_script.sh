#!/usr/bin/env bash
# Runs one acceptance script against PostgreSQL: starts a throw-away server
# (tests/common/pg_server.sh), loads the 1000-row sample into its database "sample", and runs
# the script with ServerType 1 and a host configuration whose PostgreSQL connection
# "sample.db" names that database, so that the control shows the same names as on SQLite.
# Two documented differences are applied before comparing with the .expected file:
#   - the browsing statement gets "ORDER BY Id": PostgreSQL returns rows without ORDER BY in
#     storage order, which an UPDATE changes (SQLite keeps the rowid order);
#   - the text of a statement error is the server's own: the lines of the message box that
#     reports an invalid statement are compared up to the server's message.
# Exit 77 (skipped) when the PostgreSQL binaries are missing.
set -euo pipefail
tabulo=$1
script=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/server_lib.sh"
make_work_folder
"$tabulo" sample-db "$work/sample.db" --rows 1000 >/dev/null
start_pg_sample "$work/pg" "$work/sample.db"
rm "$work/sample.db"
# The first line (the script's name comment) becomes the ServerType, so line numbers stay.
ordered_session -e '1s/.*/let ServerType 1/' "$script" >"$work/session.tab"
sed -e "s|\"format\": 1,|\"format\": 1, \"postgresql\": { \"sample.db\": { \"host\": \"127.0.0.1\", \"port\": $pg_port, \"database\": \"sample\", \"user\": \"postgres\", \"password\": \"secret\" } },|" \
  "$(dirname "$script")/host.json" >"$work/host.json"
cd "$work"
run_and_compare "${script%.tab}.expected"
