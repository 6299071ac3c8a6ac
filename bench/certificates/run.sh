#!/bin/sh
# Times opening the personal store and listing 200 certificates, and that plus
# finding one and making it ready to sign (its key found in the database), against
# `certutil -L` listing the same database, alternating, in one run.
# Usage: bench/certificates/run.sh [build-dir] [rounds]   (default: build, 30)
set -eu
"$(dirname "$0")/../../scripts/install-deps.sh" --bench
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$here/../summary.sh"
build="${1:-$root/build}"
rounds="${2:-30}"
bench="$build/bench/certificates/bench_certificates"
[ -x "$bench" ] || { echo "build bench_certificates in $build first" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Five fixture certificates and 195 more: 200 in the store.
"$root/tests/support/make-test-nssdb.sh" --extra 195 "$work/nssdb" >/dev/null
export CTO_NSS_DATABASE="$work/nssdb"
[ "$(certutil -L -d "sql:$work/nssdb" | tail -n +5 | wc -l)" -eq 200 ] || { echo "fixture is not 200 certificates" >&2; exit 1; }

now() { date +%s%N; }
run() { # label command...: appends the run's nanoseconds to $work/label
    label=$1; shift
    start=$(now); "$@" >/dev/null; end=$(now)
    echo $((end - start)) >>"$work/$label"
}

i=0
while [ "$i" -lt "$rounds" ]; do
    # Alternate which goes first, so neither always meets a warm cache.
    if [ $((i % 2)) -eq 0 ]; then
        run certutil certutil -L -d "sql:$work/nssdb"
        run list "$bench" list
        run handover "$bench" hand-over "Peña Muñoz"
    else
        run handover "$bench" hand-over "Peña Muñoz"
        run list "$bench" list
        run certutil certutil -L -d "sql:$work/nssdb"
    fi
    i=$((i + 1))
done

median() { sort -n "$work/$1" | awk '{ a[NR] = $1 } END { m = (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2; printf "%.1f", m / 1e6 }'; }
c=$(median certutil); l=$(median list); h=$(median handover)
echo "rounds: $rounds, certificates: 200 (median wall time, ms)"
echo "certutil -L:                      $c"
echo "open + list 200:                  $l  ($(awk "BEGIN { printf \"%.2f\", $l / $c }") x certutil)"
echo "open + find + hand over:          $h  ($(awk "BEGIN { printf \"%.2f\", $h / $c }") x certutil)"
bench_summary "certificate store, open + list 200" "certutil -L" ms "$l" "$c"
bench_summary "certificate store, open + find + hand over" "certutil -L" ms "$h" "$c"
