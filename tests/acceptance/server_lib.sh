# What the acceptance runners against server databases share (sourced, not run).

# The browsing statement with "ORDER BY Id": PostgreSQL returns rows without ORDER BY in
# storage order, which an UPDATE changes (SQLite keeps the rowid order).
ordered_session() {
  sed -e 's/\(let RecordSource "SELECT Id, Customer, Qty, Price FROM Orders WHERE Qty < 400\)"/\1 ORDER BY Id"/' "$@"
}

# Makes the working folder $work (readable by the server's own user) and removes it at exit,
# stopping the throw-away server in $work/pg if one was started there.
make_work_folder() {
  work=$(mktemp -d)
  trap '[ -d "$work/pg" ] && { "$here/../common/pg_server.sh" stop "$work/pg" || true; }; rm -rf "$work"' EXIT
  chmod 755 "$work"
}

# Starts a throw-away PostgreSQL server in $1 (tests/common/pg_server.sh) and loads the
# 1000-row sample (the SQLite file $2) into its database "sample"; sets pg_port. Exits 77
# (skipped) when the PostgreSQL binaries are missing.
start_pg_sample() {
  local server=$1 sqlite_file=$2 status=0
  pg_port=$("$here/../common/pg_server.sh" start "$server" $$) || status=$?
  if [ $status -eq 77 ]; then
    echo "skipped: no PostgreSQL binaries" >&2
    exit 77
  fi
  [ $status -eq 0 ] || exit $status
  export PGPASSWORD=secret
  local psql=(psql -X -q -v ON_ERROR_STOP=1 -h 127.0.0.1 -p "$pg_port" -U postgres)
  sqlite3 -csv "$sqlite_file" "SELECT * FROM Orders ORDER BY Id" >"$server.csv"
  "${psql[@]}" -d postgres -c "CREATE DATABASE sample"
  "${psql[@]}" -d sample -c "CREATE TABLE Orders(Id integer PRIMARY KEY, Customer varchar(40),
    Qty integer, Price double precision, Placed timestamp, Note varchar(200))" \
    -c "\\copy Orders FROM '$server.csv' WITH (FORMAT csv)"
}

# Runs session.tab of the current folder with its host.json and compares the output with the
# .expected file $1; the text of a statement error is the server's or driver's own, so the
# lines of the message box that reports an invalid statement are compared up to it.
run_and_compare() {
  local expected=$1 status=0
  export XDG_STATE_HOME="$PWD/state"
  "$tabulo" script session.tab --host host.json --locale en-US --ui-lang 1033 >actual.txt 2>&1 || status=$?
  echo "exit $status" >>actual.txt
  filter() { sed -e 's/\(text="The SQL Statement is invalid: \\r\\n\).*/\1(server message)"/' "$1"; }
  diff -u <(filter "$expected") <(filter actual.txt)
}
