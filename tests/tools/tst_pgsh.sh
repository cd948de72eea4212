#!/usr/bin/env bash
# tools/pg.sh on a cluster of its own in DIR ($1): "start" starts one that predates its configuration
# (an older pg.sh's, trusting every role) again, and leaves one started with it running.
set -eu
pgsh=$(dirname "$0")/../../tools/pg.sh
dir=$1
fail() { echo "FAIL: $*" >&2; exit 1; }
trap '"$pgsh" stop "$dir"' EXIT
"$pgsh" start "$dir"
bindir=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)
as() { PGPASSWORD= PGPASSFILE="$dir/none" PGOPTIONS="-c client_min_messages=warning" \
         "$bindir/psql" -X -q -w "$("$pgsh" url "$dir") dbname=postgres user=$1" -c "${2:-SELECT 1}" >/dev/null 2>&1; }
postmaster() { head -n 1 "$dir/cluster/postmaster.pid"; }
as postgres "DROP ROLE IF EXISTS velostok_password; CREATE ROLE velostok_password LOGIN PASSWORD 'x'"
! as velostok_password || fail "velostok_password let in without its password"
before=$(postmaster)
"$pgsh" start "$dir"
[ "$(postmaster)" = "$before" ] || fail "a cluster started with its configuration was started again"
# As an older pg.sh left it: every role trusted, and no record of what it was started with.
sed -i '/velostok_password/d' "$dir/cluster/velostok_hba.conf"
rm -f "$dir/started-with.conf"
kill -HUP "$before"
for i in $(seq 50); do as velostok_password && break; sleep 0.1; done
as velostok_password || fail "the older configuration did not take"
"$pgsh" start "$dir"
[ "$(postmaster)" != "$before" ] || fail "the cluster that predates its configuration was not started again"
! as velostok_password || fail "velostok_password still let in without its password"
as postgres || fail "the cluster does not answer after its restart"
