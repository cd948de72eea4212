#!/usr/bin/env bash
# A throwaway PostgreSQL cluster for the tests: tools/pg.sh start|stop|status|url DIR.
# The server listens only on a unix socket in DIR/socket; anyone local is trusted as any role but
# velostok_password, which must give its password (the tests of a refused password make it).
# start is idempotent and prints nothing but errors; a running cluster that was started before its
# configuration read as it does now (by an older version of this script) is started again with it.
# url prints the libpq connection string.
set -eu
usage() { echo "usage: $0 start|stop|status|url DIR" >&2; exit 2; }
[ $# -eq 2 ] || usage
cmd=$1
dir=$(realpath -m -- "$2")
port=54329
db=velostok_test
role=postgres
data=$dir/cluster
sock=$dir/socket
log=$dir/server.log
started_with=$dir/started-with.conf # the configuration the running cluster was started with

# A libpq keyword value, quoted when it holds a space, a quote or a backslash.
conninfo_value() {
  case $1 in
    *[[:space:]\'\\]*|'') local v=${1//\\/\\\\}; printf "'%s'" "${v//\'/\\\'}" ;;
    *) printf '%s' "$1" ;;
  esac
}

if [ "$cmd" = url ]; then
  echo "host=$(conninfo_value "$sock") port=$port dbname=$db user=$role"
  exit 0
fi

# The newest installed server (Debian keeps each major version under /usr/lib/postgresql).
bindir=${VELOSTOK_PG_BINDIR:-}
if [ -z "$bindir" ]; then
  for d in $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V); do bindir=$d; done
fi
if [ -z "$bindir" ] && command -v initdb >/dev/null; then bindir=$(dirname "$(command -v initdb)"); fi
[ -n "$bindir" ] && [ -x "$bindir/pg_ctl" ] || {
  echo "PostgreSQL server not found (install it with tools/install-deps.sh)" >&2; exit 1; }

# initdb and postgres refuse to run as root: as root the cluster belongs to the postgres user.
owner=$(id -un)
as_owner() { "$@"; }
if [ "$(id -u)" -eq 0 ]; then
  owner=postgres
  id postgres >/dev/null 2>&1 || { echo "no 'postgres' system user to run the server" >&2; exit 1; }
  as_owner() { runuser -u postgres -- "$@"; }
fi

# Whether the pid file (or socket lock) names a live postgres, not a process that has taken a dead
# server's pid since; a killed server not yet reaped (a zombie) counts as gone.
server_alive() {
  local pid stat
  pid=$(head -n 1 "${1:-$data/postmaster.pid}" 2>/dev/null) || return 1
  [ -n "$pid" ] && stat=$(cat "/proc/$pid/stat" 2>/dev/null) || return 1
  case $stat in "$pid (postgres) Z "*) return 1 ;; "$pid (postgres) "*) return 0 ;; esac
  return 1
}
# Stopping needs no set-up; as the owner so that pg_ctl may signal the server.
if [ "$cmd" = stop ]; then
  server_alive || exit 0
  (cd / && as_owner "$bindir/pg_ctl" -D "$data" -m immediate -w stop >/dev/null 2>&1) || true
  exit 0
fi

running() { "$bindir/pg_isready" -q -h "$sock" -p "$port" -d postgres -U "$role" >/dev/null 2>&1; }

if [ "$cmd" = status ]; then
  if running; then echo running; exit 0; fi
  echo stopped; exit 3
fi
[ "$cmd" = start ] || usage

# The socket's path must fit in sun_path (107 bytes) with its file name.
if [ $(( ${#sock} + ${#port} + 10 )) -gt 107 ]; then
  echo "path too long for a unix socket: $sock" >&2; exit 1
fi

# The server's configuration and its authentication rules, written at every start (a moved build
# folder gets its new socket path).
sql_string() { printf "'%s'" "${1//\'/\'\'}"; }
server_conf() {
  cat <<EOF
listen_addresses = ''
port = $port
unix_socket_directories = $(sql_string "$sock")
fsync = off
synchronous_commit = off
full_page_writes = off
shared_buffers = 16MB
max_connections = 50
hba_file = $(sql_string "$data/velostok_hba.conf")
EOF
}
hba_conf() {
  cat <<EOF
local all velostok_password scram-sha-256
local all all trust
EOF
}
configuration() { server_conf; echo; hba_conf; }
write_config() {
  server_conf | as_owner tee "$data/velostok.conf" >/dev/null
  hba_conf | as_owner tee "$data/velostok_hba.conf" >/dev/null
}

mkdir -p "$dir"
# One start at a time per cluster (ctest and a shell may both ask).
exec 9>"$dir/.lock"
flock 9

if running; then
  [ -d "$data" ] && [ "$(cat "$started_with" 2>/dev/null)" != "$(configuration)" ] || exit 0
  write_config
  # 9>&-: the server must not inherit the lock, or it would hold it for its whole life.
  if ! (cd / && as_owner "$bindir/pg_ctl" -D "$data" -l "$log" -m fast -w -t 60 restart) >/dev/null 2>&1 9>&- \
      || ! running; then
    tail -n 30 "$log" >&2
    echo "PostgreSQL did not start again in $data (log: $log)" >&2
    exit 1
  fi
  configuration >"$started_with"
  exit 0
fi

[ -d "$sock" ] || mkdir -p "$sock"
[ -f "$log" ] || : >"$log"
if [ "$(stat -c %U "$sock")" != "$owner" ] || [ "$(stat -c %U "$log")" != "$owner" ]; then
  chown "$owner" "$sock" "$log"
fi
as_owner test -w "$sock" || {
  echo "user '$owner' cannot write to $sock (a parent folder shuts it out)" >&2; exit 1; }

# A cluster of another major version is made again. initdb works in a side folder, so that one
# it never finished is not taken for a cluster.
major=$("$bindir/pg_ctl" --version | sed -n 's/.* \([0-9][0-9]*\)\..*/\1/p')
if [ -d "$data" ] && [ "$(cat "$data/PG_VERSION" 2>/dev/null)" != "$major" ]; then
  as_owner "$bindir/pg_ctl" -D "$data" -m immediate -w stop >/dev/null 2>&1 || true
  rm -rf "$data"
fi
if [ ! -d "$data" ]; then
  rm -rf "$data.new"
  mkdir -m 700 "$data.new"
  chown "$owner" "$data.new"
  # C.UTF-8: libc's full Unicode case mapping for lower()/upper()/ILIKE/~*, code point order.
  if ! (cd / && as_owner "$bindir/initdb" -D "$data.new" -U "$role" -E UTF8 --locale=C.UTF-8 \
          -A trust --no-sync --no-instructions) >"$dir/initdb.log" 2>&1; then
    cat "$dir/initdb.log" >&2
    echo "initdb failed in $data.new" >&2
    exit 1
  fi
  echo "include_if_exists = 'velostok.conf'" >>"$data.new/postgresql.conf"
  mv "$data.new" "$data"
fi
if [ "$(stat -c %U "$data")" != "$owner" ]; then chown -R "$owner" "$data"; fi

write_config

# A server killed outright leaves its pid file and socket lock behind; the postmaster ignores
# them when that pid is gone, but not when it is an unreaped zombie or an unrelated process.
# Its children leave soon after it; until they do they still use the cluster's files.
children_left() {
  local p
  for p in /proc/[0-9]*; do
    [ "$(readlink "$p/cwd" 2>/dev/null)" = "$data" ] || continue
    case $(cat "$p/stat" 2>/dev/null) in *" (postgres) Z "*|'') ;; *) return 0 ;; esac
  done
  return 1
}
if [ -f "$data/postmaster.pid" ] && ! server_alive; then
  for i in $(seq 50); do children_left || break; sleep 0.2; done
  for f in "$data/postmaster.pid" "$sock/.s.PGSQL.$port.lock"; do
    if [ -f "$f" ] && ! server_alive "$f"; then rm -f "$f"; fi
  done
fi
: >"$log"

# Retried: a killed server's last children may still hold its shared memory for a moment.
started=no
for attempt in 1 2 3 4 5 6 7 8 9 10; do
  # 9>&-: the server must not inherit the lock, or it would hold it for its whole life.
  if (cd / && as_owner "$bindir/pg_ctl" -D "$data" -l "$log" -w -t 60 start) >/dev/null 2>&1 9>&- \
      && running; then
    started=yes
    break
  fi
  running && { started=yes; break; }
  sleep 1
done
if [ $started = no ]; then
  tail -n 30 "$log" >&2
  echo "PostgreSQL did not start in $data (log: $log)" >&2
  exit 1
fi
configuration >"$started_with"

psql() { "$bindir/psql" -X -q -v ON_ERROR_STOP=1 -h "$sock" -p "$port" -U "$role" "$@"; }
if [ "$(psql -d postgres -Atc "SELECT 1 FROM pg_database WHERE datname = '$db'")" != 1 ]; then
  psql -d postgres -c "CREATE DATABASE $db" >/dev/null
fi
