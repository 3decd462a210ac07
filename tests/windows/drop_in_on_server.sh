#!/usr/bin/env bash
# A classic program on wbtrv32.dll, under Wine, in a directory whose
# recman-server.conf sends its files to the test server (over TCP with TLS:
# scripts/server-for-wine): the program creates, fills and reads DROPIN.BTR;
# then the server, asked from the host with psql, must hold the file in its
# catalogue and the program's record in the file's table.
#   drop_in_on_server.sh <runner> <program>
set -euo pipefail

if [[ -z ${RECLINK_TEST_SERVER:-} || -z ${RECLINK_TEST_HOST_PGSERVICEFILE:-} ]]; then
  echo "no server to test against: scripts/test starts one (scripts/with-server, scripts/server-for-wine)" >&2
  exit 77
fi
fail() {
  echo "drop-in on the server: $*" >&2
  exit 1
}
# A short name, as Wine finds short names without reading the directory.
dir=$(mktemp -d "${TMPDIR:-/tmp}/RLXXXXXX")
trap 'rm -rf "$dir"' EXIT
database="dropin-$$-$RANDOM"
printf 'server = %s\ndatabase = %s\n' "$RECLINK_TEST_SERVER" "$database" >"$dir/recman-server.conf"
"$@" "Z:$dir"

sql() {
  PGSERVICEFILE=$RECLINK_TEST_HOST_PGSERVICEFILE PGPASSFILE=$RECLINK_TEST_HOST_PGPASSFILE \
    psql -X -q -A -t -v ON_ERROR_STOP=1 service=reclink-test -c "$1"
}
id=$(sql "SELECT id FROM recman.files
          WHERE database = convert_to('$database', 'UTF8') AND name = convert_to('DROPIN.BTR', 'UTF8')")
[[ -n $id ]] || fail "the server's catalogue has no DROPIN.BTR in database '$database'"
records=$(sql "SELECT string_agg(encode(data, 'escape'), ' ' ORDER BY data) FROM recman.r$id")
[[ $records == 'KEY00001payload! KEY00002payload! KEY00003payload!' ]] ||
  fail "the server holds '$records' as DROPIN.BTR's records, not the three records inserted"
echo "drop-in on the server: passed"
