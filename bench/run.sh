#!/usr/bin/env bash
# Every benchmark in one go, on one Release build, and one table at the end:
#   response path      against xmllint --noout      (bench/response/run.sh)
#   HTTPS POST         against the curl command line (bench/transport/run.sh)
#   program start-up   against a bare Qt window     (bench/app/run.sh)
#   certificate store  against certutil -L          (bench/certificates/run.sh)
#   certificate dialog with every store against ~/.pki/nssdb alone, and with a
#                      hanging card driver against the same first run without it
#                                                   (bench/certificates/sources_run.sh)
#   TLS handshake      a token's key against a database's
#                                                   (bench/certificates/handshake_run.sh)
#
#   bench/run.sh [rounds] [build-dir]     (defaults: 5 rounds, build-release)
#
# Each benchmark runs `rounds` times per program (the response benchmark keeps
# the best, the others the median); what each prints on its own is shown as
# it goes, and also kept in <build-dir>/bench-<name>.log. Not a test: CI never
# runs it. A quiet machine gives steadier figures.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
rounds=${1:-5}
build=${2:-$root/build-release}
[[ "$rounds" =~ ^[1-9][0-9]*$ ]] || { sed -n '2,13p' "$0" >&2; exit 2; }

"$root/scripts/install-deps.sh" --bench
echo "Building the Release tree in $build..."
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
nice -n 10 cmake --build "$build" -j2 --target ConexionTulvaOskel ConexionTulvaOskelEngine bench_bare_window \
    bench_response tls_bench_server bench_post bench_certificates bench_handshake >/dev/null

for name in response transport app certificates; do
    echo
    echo "=== $name"
    "$root/bench/$name/run.sh" "$build" "$rounds" | tee "$build/bench-$name.log"
done
echo
echo "=== certificate sources"
"$root/bench/certificates/sources_run.sh" "$build" "$rounds" | tee "$build/bench-sources.log"
echo
echo "=== handshakes"
"$root/bench/certificates/handshake_run.sh" "$build" "$rounds" | tee "$build/bench-handshake.log"

echo
echo "Summary, $rounds rounds each (ratio = ours / peer; below 1 is better than the peer):"
cat "$build"/bench-{response,transport,app,certificates,sources,handshake}.log | grep '^BENCH ' | python3 -c '
import shlex, sys

def number(text):
    return float(text) if text not in (None, "", "-") else None

def ratio(ours, theirs):
    return f"{ours / theirs:.2f}" if ours is not None and theirs else "-"

rows = []
for line in sys.stdin:
    figure = dict(field.split("=", 1) for field in shlex.split(line)[1:])
    ours, theirs = number(figure["ours"]), number(figure["theirs"])
    rssOurs, rssPeer = number(figure.get("rss_ours")), number(figure.get("rss_peer"))
    toMs = {"s": 1000.0, "ms": 1.0}[figure["unit"]]  # every time in one unit, for reading down a column
    rows.append((figure["name"], figure["peer"], f"{ours * toMs:.2f} ms", f"{theirs * toMs:.2f} ms",
                 ratio(ours, theirs), ratio(rssOurs, rssPeer)))
header = ("benchmark", "peer", "ours", "peer figure", "ratio", "peak RSS ratio")
widths = [max(len(row[i]) for row in rows + [header]) for i in range(len(header))]
for i, row in enumerate([header] + rows):
    print("  ".join(cell.ljust(w) if c < 2 else cell.rjust(w) for c, (cell, w) in enumerate(zip(row, widths))))
    if i == 0:
        print("  ".join("-" * w for w in widths))
'
