#!/usr/bin/env bash
# A display tier on one machine: Debian's nginx in front of several `tabulo serve` processes,
# over a throw-away PostgreSQL primary and its streaming standby (synchronous commit).
#
#   cluster.sh up DIR [--processes N] [--port P] [--rows N]
#       starts everything in DIR (made if missing): the servers in DIR/primary and
#       DIR/standby, the table Orders with N rows (default 1000), DIR/host.json naming both
#       servers in one DizuvAdar cluster, N serve processes (default 2) on free ports, nginx on
#       127.0.0.1:P (default: a free port); writes DIR/cluster.env and prints the address.
#   cluster.sh failover DIR
#       stops the primary at once and promotes the standby, as a failover agent would;
#       prints both times (STOPPED_MS= and PROMOTED_MS=, milliseconds since the epoch).
#   cluster.sh stop-primary DIR, cluster.sh promote DIR
#       the two steps of a failover alone (STOPPED_MS=, PROMOTED_MS=), for a test that acts
#       between them.
#   cluster.sh demo DIR [up's options]
#       `up`, then waits; Ctrl-C takes everything down (make cluster-demo).
#   cluster.sh down DIR
#       stops what `up` started and removes the servers' data.
#
# The serve processes follow the servers' roles themselves (every 5 s); nothing tells them
# about a failover. TABULO names the program (default: the build tree's, else `tabulo` on
# PATH); PG_BIN the PostgreSQL binaries (default /usr/lib/postgresql/15/bin); MAX_SESSIONS
# the sessions each serve process holds (default 64). Run as root,
# the servers run as the user postgres and nginx's workers as www-data.
# Exit status 77: PostgreSQL or nginx is not installed.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
pg_bin=${PG_BIN:-/usr/lib/postgresql/15/bin}
nginx_bin=${NGINX:-$(command -v nginx || echo /usr/sbin/nginx)}

die() {
  echo "cluster.sh: $*" >&2
  exit 1
}
as_pg() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}
now_ms() { date +%s%3N; }
free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
# Waits up to 30 s for `$1` to hold a line matching `$2`; prints that match.
wait_for_line() {
  local file=$1 pattern=$2
  for _ in $(seq 300); do
    if [ -f "$file" ] && grep -Eo "$pattern" "$file" | head -1 | grep .; then return 0; fi
    sleep 0.1
  done
  return 1
}

# What a failing `up` has started so far, taken down again on its way out.
started_pids=""
started_dirs=""
up_done=""
undo_failed_up() {
  [ -n "$up_done" ] && return
  local pid d
  for pid in $started_pids; do kill "$pid" 2>/dev/null || true; done
  for d in $started_dirs; do
    [ -d "$d/data" ] && as_pg "$pg_bin/pg_ctl" -D "$d/data" -s -m immediate stop >/dev/null 2>&1 || true
    rm -rf "$d"
  done
}

# A PostgreSQL server in $1 on port $2; a standby of the primary on port $3 when given.
start_pg() {
  local dir=$1 port=$2 primary=${3:-} connections=$4
  started_dirs="$started_dirs $dir"
  mkdir -p "$dir"
  chmod 700 "$dir"
  [ "$(id -u)" -eq 0 ] && chown postgres: "$dir"
  if [ -n "$primary" ]; then
    PGPASSWORD=secret as_pg "$pg_bin/pg_basebackup" -h 127.0.0.1 -p "$primary" -U postgres \
      -D "$dir/data" -R -X stream >"$dir/setup.log" 2>&1 ||
      { cat "$dir/setup.log" >&2; die "the standby's base backup failed"; }
  else
    echo secret >"$dir/pw"
    [ "$(id -u)" -eq 0 ] && chown postgres: "$dir/pw"
    as_pg "$pg_bin/initdb" -D "$dir/data" -U postgres --pwfile="$dir/pw" -N -E UTF8 \
      --locale=C.UTF-8 --auth-local=trust --auth-host=scram-sha-256 >"$dir/setup.log" 2>&1 ||
      { cat "$dir/setup.log" >&2; die "initdb failed"; }
    echo "host replication postgres 127.0.0.1/32 scram-sha-256" >>"$dir/data/pg_hba.conf"
  fi
  as_pg "$pg_bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -s start \
    -o "-p $port -k $dir -c listen_addresses=127.0.0.1 -c wal_level=replica -c max_connections=$connections" \
    >>"$dir/setup.log" 2>&1 ||
    { cat "$dir/server.log" >&2; die "PostgreSQL did not start in $dir (port $port)"; }
}

psql_on() {
  local port=$1
  shift
  PGPASSWORD=secret psql -X -q -v ON_ERROR_STOP=1 -h 127.0.0.1 -p "$port" -U postgres -d postgres "$@"
}

up() {
  local dir=$1 processes=2 proxy_port="" rows=1000
  shift
  while [ $# -gt 0 ]; do
    case $1 in
    --processes) processes=$2 ;;
    --port) proxy_port=$2 ;;
    --rows) rows=$2 ;;
    *) die "unknown option $1 (up DIR [--processes N] [--port P] [--rows N])" ;;
    esac
    shift 2
  done
  [[ $processes =~ ^[1-9][0-9]?$ ]] || die "--processes takes 1 to 99, given '$processes'"
  [[ $rows =~ ^[1-9][0-9]*$ ]] || die "--rows takes a positive number, given '$rows'"
  [ -x "$pg_bin/initdb" ] || { echo "PostgreSQL binaries not found in $pg_bin: install postgresql" >&2; exit 77; }
  [ -x "$nginx_bin" ] || { echo "nginx not found: install the Debian package nginx" >&2; exit 77; }
  local tabulo=${TABULO:-}
  if [ -z "$tabulo" ]; then
    tabulo="$here/../build/release/apps/tabulo/tabulo"
    [ -x "$tabulo" ] || tabulo=$(command -v tabulo) || die "no tabulo program: build it (make release) or set TABULO"
  fi
  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)
  [ -f "$dir/cluster.env" ] && die "$dir already holds a cluster: run cluster.sh down $dir first"
  chmod 755 "$dir"
  trap undo_failed_up EXIT
  if [ "$(id -u)" -eq 0 ] && ! runuser -u postgres -- test -x "$dir"; then
    die "the user postgres cannot reach $dir: pick a folder outside private homes"
  fi

  # The servers: a primary and a standby whose acknowledgement every commit waits for.
  # Every session holds a connection for its record set, a load one more for its key pass,
  # and each process keeps a few idle for commands: the servers' limit follows the sessions
  # the display processes may open (a standby needs at least the primary's limit).
  local primary_port standby_port connections=$((processes * (${MAX_SESSIONS:-64} * 2 + 8) + 10))
  primary_port=$(free_port)
  start_pg "$dir/primary" "$primary_port" "" "$connections"
  psql_on "$primary_port" -c "CREATE TABLE Orders(Id integer PRIMARY KEY, Customer varchar(40),
      Qty integer, Price double precision)" \
    -c "INSERT INTO Orders SELECT i, 'Customer ' || i, i % 500, (i % 97) * 1.25
      FROM generate_series(1, $rows) i"
  standby_port=$(free_port)
  start_pg "$dir/standby" "$standby_port" "$primary_port" "$connections"
  psql_on "$primary_port" -c "ALTER SYSTEM SET synchronous_standby_names = '*'" \
    -c "ALTER SYSTEM SET synchronous_commit = remote_apply" -c "SELECT pg_reload_conf()" >/dev/null

  # The host configuration: one cluster of both servers behind the connection "plant-db".
  # Every process writes its audit records to one SQLite file (several writers are safe).
  pg_entry() {
    echo '"plant-db": { "host": "127.0.0.1", "port": '"$1"', "database": "postgres",
                   "user": "postgres", "password": "secret" }'
  }
  cat >"$dir/host.json" <<EOF
{
  "format": 1,
  "clusters": [
    { "name": "Plant", "type": "DizuvAdar", "coordinator": "North", "servers": [
      { "name": "db1", "postgresql": { $(pg_entry "$primary_port") } },
      { "name": "db2", "postgresql": { $(pg_entry "$standby_port") } } ] },
    { "name": "North Logging", "type": "Logging", "coordinator": "North" }
  ],
  "security": { "audit_database": "audit.db" }
}
EOF
  od -An -tx1 -N16 /dev/urandom | tr -d ' \n' >"$dir/token"
  chmod 600 "$dir/token"
  [ -n "$proxy_port" ] || proxy_port=$(free_port)

  # The display processes, each on a free port, answering to the proxy's address.
  local pids="" upstreams="" i port
  for i in $(seq "$processes"); do
    setsid "$tabulo" serve --host "$dir/host.json" --token-file "$dir/token" --port 0 \
      --db plant-db --sql "SELECT Id, Customer, Qty, Price FROM Orders ORDER BY Id" \
      --set ServerType=1 --set ClusterName=Plant --set DataTable=Orders --set AllowUpdates=-1 --set LogEvent=-1 \
      --public-name "127.0.0.1:$proxy_port" --public-name "localhost:$proxy_port" \
      --locale en-US --ui-lang 1033 --max-sessions "${MAX_SESSIONS:-64}" \
      </dev/null >"$dir/serve-$i.log" 2>&1 &
    pids="$pids $!"
    started_pids="$started_pids $!"
    port=$(wait_for_line "$dir/serve-$i.log" 'http://127\.0\.0\.1:[0-9]+' | sed 's/.*://') ||
      { cat "$dir/serve-$i.log" >&2; die "serve process $i printed no address"; }
    upstreams="$upstreams    server 127.0.0.1:$port max_fails=0;"$'\n'
  done

  mkdir -p "$dir/nginx"
  local user_line=""
  [ "$(id -u)" -eq 0 ] && user_line="user www-data;"
  sed -e "s|@USER@|$user_line|" -e "s|@DIR@|$dir/nginx|g" -e "s|@PORT@|$proxy_port|" \
    "$here/nginx-cluster.conf.in" | awk -v servers="$upstreams" '{ if ($0 ~ /@SERVERS@/) printf "%s", servers; else print }' \
    >"$dir/nginx/nginx.conf"
  "$nginx_bin" -t -q -p "$dir/nginx" -e "$dir/nginx/error.log" -c "$dir/nginx/nginx.conf" ||
    die "nginx refused its configuration $dir/nginx/nginx.conf"
  "$nginx_bin" -p "$dir/nginx" -e "$dir/nginx/error.log" -c "$dir/nginx/nginx.conf" ||
    die "nginx did not start: see $dir/nginx/error.log"
  local nginx_pid
  nginx_pid=$(wait_for_line "$dir/nginx/nginx.pid" '[0-9]+') || die "nginx wrote no pid file"
  started_pids="$started_pids $nginx_pid"

  local url
  url="http://127.0.0.1:$proxy_port/?token=$(cat "$dir/token")"
  cat >"$dir/cluster.env" <<EOF
URL=$url
TOKEN=$(cat "$dir/token")
SERVE_PIDS="${pids# }"
NGINX_PID=$nginx_pid
PRIMARY_DIR=$dir/primary
STANDBY_DIR=$dir/standby
PRIMARY_PORT=$primary_port
STANDBY_PORT=$standby_port
EOF
  up_done=1
  echo "$url"
}

load_env() {
  [ -f "$1/cluster.env" ] || die "no cluster in $1 (no cluster.env): start one with cluster.sh up $1"
  # shellcheck disable=SC1091
  source "$1/cluster.env"
}

# `up`, then waits until interrupted and takes everything down again.
demo() {
  local dir=$1
  [ -f "$dir/cluster.env" ] && down "$dir"
  trap 'echo; echo "Stopping the cluster in $dir"; down "$dir"; exit 0' INT TERM
  local url
  url=$(up "$@")
  cat <<EOF

The display tier is up: nginx in front of the serve processes, over a PostgreSQL primary
and its standby (the table Orders). Open, in as many browsers as you like:

  $url

A failover, from another terminal: deploy/cluster.sh failover $dir
(every page shows the data again within a few seconds, "Connected@db2" in its status).
Ctrl-C stops everything.
EOF
  while :; do sleep 1; done
}

stop_primary() {
  load_env "$1"
  echo "STOPPED_MS=$(now_ms)"
  as_pg "$pg_bin/pg_ctl" -D "$PRIMARY_DIR/data" -s -m immediate stop
}

promote() {
  load_env "$1"
  as_pg "$pg_bin/pg_ctl" -D "$STANDBY_DIR/data" -s -w promote
  echo "PROMOTED_MS=$(now_ms)"
}

failover() {
  local stopped promoted
  stopped=$(stop_primary "$1" | sed -n 's/^STOPPED_MS=//p')
  promoted=$(promote "$1" | sed -n 's/^PROMOTED_MS=//p')
  echo "primary stopped, standby promoted in $((promoted - stopped)) ms"
  echo "STOPPED_MS=$stopped"
  echo "PROMOTED_MS=$promoted"
}

down() {
  load_env "$1"
  local pid
  for pid in $SERVE_PIDS $NGINX_PID; do kill "$pid" 2>/dev/null || true; done
  for pid in $SERVE_PIDS $NGINX_PID; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  done
  local d
  for d in "$PRIMARY_DIR" "$STANDBY_DIR"; do
    [ -d "$d/data" ] && as_pg "$pg_bin/pg_ctl" -D "$d/data" -s -m immediate stop >/dev/null 2>&1 || true
    rm -rf "$d"
  done
  rm -f "$1/cluster.env"
}

[ $# -ge 2 ] || die "usage: cluster.sh up|demo DIR [--processes N] [--port P] [--rows N] | failover DIR | down DIR"
cmd=$1
shift
case $cmd in
up) up "$@" ;;
demo) demo "$@" ;;
failover) failover "$1" ;;
stop-primary) stop_primary "$1" ;;
promote) promote "$1" ;;
down) down "$1" ;;
*) die "unknown command $cmd: up, failover or down" ;;
esac
