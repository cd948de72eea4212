#!/usr/bin/env bash
# tools/pg.sh on a throwaway cluster of its own (DIR, the first argument): a running cluster that
# was started before its configuration (by an older pg.sh, which trusted every role) is started
# again by "start", so that velostok_password must give its password; one started with its
# configuration is left running as it is.
set -eu
pgsh=$(dirname "$0")/../../tools/pg.sh
dir=$1
fail() { echo "FAIL: $*" >&2; exit 1; }
trap '"$pgsh" stop "$dir"' EXIT

"$pgsh" start "$dir"
eval "set -- $("$pgsh" url "$dir")" # host=… port=… dbname=… user=…
url=("$@")
for kv in "${url[@]}"; do case $kv in host=*) sock=${kv#host=} ;; port=*) port=${kv#port=} ;; esac; done
bindir=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)
psql() { PGPASSWORD= PGPASSFILE="$dir/none" PGOPTIONS="-c client_min_messages=warning" "$bindir/psql" -X -q -w -h "$sock" -p "$port" -d postgres "$@"; }
postmaster() { head -n 1 "$dir/cluster/postmaster.pid"; }
psql -U postgres -c "DROP ROLE IF EXISTS velostok_password" -c "CREATE ROLE velostok_password LOGIN PASSWORD 'x'"
psql -U velostok_password -c "SELECT 1" >/dev/null 2>&1 && fail "velostok_password let in without its password"

# Started again with its configuration as it is: nothing happens.
before=$(postmaster)
"$pgsh" start "$dir"
[ "$(postmaster)" = "$before" ] || fail "a cluster started with its configuration was started again"

# As an older pg.sh left it: every role trusted, and no record of what it was started with.
sed -i '/velostok_password/d' "$dir/cluster/velostok_hba.conf"
rm -f "$dir/started-with.conf"
kill -HUP "$before"
for i in $(seq 50); do psql -U velostok_password -c "SELECT 1" >/dev/null 2>&1 && break; sleep 0.1; done
psql -U velostok_password -c "SELECT 1" >/dev/null 2>&1 || fail "the older configuration did not take"

"$pgsh" start "$dir"
[ "$(postmaster)" != "$before" ] || fail "the cluster that predates its configuration was not started again"
psql -U velostok_password -c "SELECT 1" >/dev/null 2>&1 && fail "velostok_password still let in without its password"
psql -U postgres -c "SELECT 1" >/dev/null || fail "the cluster does not answer after its restart"
echo "PASS"
