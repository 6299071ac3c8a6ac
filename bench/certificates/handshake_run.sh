#!/bin/sh
# Times TLS handshakes with a client certificate whose key signs in a SoftHSM2
# token (a smart card's stand-in) against the same with a key of an NSS
# database, EC P-256 and RSA 2048, each a full handshake on a fresh connection
# to a local test server that demands the certificate. Information only: a
# card's signature costs what the card takes; SoftHSM signs in software too.
# Usage: bench/certificates/handshake_run.sh [build-dir] [rounds]   (default: build, 30)
set -eu
"$(dirname "$0")/../../scripts/install-deps.sh" --bench
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$here/../summary.sh"
build="${1:-$root/build}"
rounds="${2:-30}"
bench="$build/bench/certificates/bench_handshake"
[ -x "$bench" ] || { echo "build bench_handshake in $build first" >&2; exit 1; }

result=$("$bench" "$rounds" "$root/tests/support/make-test-nssdb.sh" "$root/tests/support/make-test-token.sh")
echo "rounds: $rounds (median wall time of one post on a fresh connection, ms)"
echo "$result" | while read -r curve size token database; do
    t=${token#token=}
    d=${database#database=}
    echo "$curve $size: token $t, database $d ($(awk "BEGIN { printf \"%.2f\", $t / $d }") x database)"
    bench_summary "TLS handshake, $curve $size key on a token" "same key type in a database" ms "$t" "$d"
done
