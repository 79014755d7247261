#!/usr/bin/env bash
# Throw-away PostgreSQL servers for tests (PG_BIN, default /usr/lib/postgresql/15/bin; fsync
# off unless PG_FSYNC=on).
#   start DIR OWNER_PID [PRIMARY_PORT]: a server in DIR on a free port of 127.0.0.1 (printed),
#       a standby of PRIMARY_PORT if given; login "postgres"/"secret" over TCP, any role over
#       the socket in DIR. A watcher stops it and removes DIR once OWNER_PID has ended.
#   stop DIR: stops it at once and removes DIR.   promote DIR: promotes a standby.
# Exit status 77: the binaries are missing (callers skip).
set -euo pipefail
bin=${PG_BIN:-/usr/lib/postgresql/15/bin}
cmd=$1
dir=$2
as_pg() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}
case $cmd in
start)
  owner=$3
  primary=${4:-0}
  [ -x "$bin/initdb" ] && [ -x "$bin/pg_ctl" ] ||
    { echo "PostgreSQL binaries not found in $bin (install the postgresql package)" >&2; exit 77; }
  [ "$(id -u)" -ne 0 ] || id postgres >/dev/null 2>&1 ||
    { echo "no postgres user to run the server as" >&2; exit 77; }
  mkdir -p "$dir"
  chmod 700 "$dir"
  [ "$(id -u)" -eq 0 ] && chown postgres: "$dir"
  if [ "$primary" != 0 ]; then
    PGPASSWORD=secret as_pg "$bin/pg_basebackup" -h "127.0.0.1" -p "$primary" -U postgres -D "$dir/data" -R \
      -X stream >"$dir/setup.log" 2>&1 <<<"secret" ||
      { cat "$dir/setup.log" >&2; exit 1; }
  else
    echo secret >"$dir/pw"
    [ "$(id -u)" -eq 0 ] && chown postgres: "$dir/pw"
    as_pg "$bin/initdb" -D "$dir/data" -U postgres --pwfile="$dir/pw" -N -E UTF8 --locale=C.UTF-8 \
      --auth-local=trust --auth-host=scram-sha-256 >"$dir/setup.log" 2>&1 ||
      { cat "$dir/setup.log" >&2; exit 1; }
    echo "host replication postgres 127.0.0.1/32 scram-sha-256" >>"$dir/data/pg_hba.conf"
  fi
  for _ in 1 2 3 4 5 6 7 8 9 10; do
    port=$((20000 + RANDOM % 20000))
    if as_pg "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -s start \
      -o "-p $port -k $dir -c listen_addresses=127.0.0.1 -c fsync=${PG_FSYNC:-off} -c wal_level=replica" \
      >>"$dir/setup.log" 2>&1; then
      echo "$port" >"$dir/port"
      # The watcher outlives this script, detached from the caller's output.
      (
        while kill -0 "$owner" 2>/dev/null; do sleep 1; done
        "$0" stop "$dir"
      ) </dev/null >/dev/null 2>&1 &
      echo "$port"
      exit 0
    fi
  done
  cat "$dir/server.log" >&2 || true
  exit 1
  ;;
stop)
  [ -d "$dir/data" ] && as_pg "$bin/pg_ctl" -D "$dir/data" -s -m immediate stop >/dev/null 2>&1 || true
  rm -rf "$dir"
  ;;
promote)
  as_pg "$bin/pg_ctl" -D "$dir/data" -s -w promote
  ;;
*)
  echo "usage: $0 start DIR OWNER_PID [PRIMARY_PORT] | stop DIR | promote DIR" >&2
  exit 2
  ;;
esac
