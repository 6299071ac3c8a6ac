#!/bin/sh
# Times POSTs of 1 MB and 100 MB bodies through THTTPReqResp::Execute against
# the curl command line, to the same local HTTPS server, alternating runs.
# Prints the time ratio ours/curl (medians of the processes' wall time), our
# peak resident memory over the body size, and, apart from process start-up,
# the ratio of the transfers themselves (Execute against curl's time_total).
# Usage: bench/transport/run.sh [build-dir] [runs]   (default: build-transport, 5)
set -eu
"$(dirname "$0")/../../scripts/install-deps.sh" --bench
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../summary.sh"
build=${1:-$here/../../build-transport}
runs=${2:-5}
ninja -C "$build" tls_bench_server bench_post >/dev/null

work=$(mktemp -d)
fifo=$work/server-input
mkfifo "$fifo"
cleanup() {
    exec 3>&- 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

: >"$work/server-output" # the wait below reads it before the server has written
"$build/bench/transport/tls_bench_server" <"$fifo" >"$work/server-output" &
exec 3>"$fifo" # the server runs until this closes
while [ "$(wc -l <"$work/server-output")" -lt 2 ]; do sleep 0.1; done
port=$(sed -n 1p "$work/server-output")
# Both clients verify the server against the test authority, as the program does.
ca=$(sed -n 2p "$work/server-output")
url="https://127.0.0.1:$port/TULVA/services/ServicioXmlTurismo?"

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

for mb in 1 100; do
    body=$work/body-$mb
    head -c $((mb * 1024 * 1024)) /dev/urandom >"$body"
    : >"$work/ours" ; : >"$work/curl" ; : >"$work/ours-transfer" ; : >"$work/curl-transfer"
    i=0
    while [ $i -lt "$runs" ]; do
        # /usr/bin/time gives the peak RSS; its %e has only 10 ms steps, so the
        # wall time comes from a nanosecond clock around the same command.
        start=$(date +%s%N)
        CTO_SERVICE_CA_FILE="$ca" /usr/bin/time -f '%e %M' -o "$work/time" "$build/bench/transport/bench_post" "$url" "$body" \
            >/dev/null 2>>"$work/ours-transfer"
        end=$(date +%s%N)
        echo "$(( (end - start) / 1000 )) $(cut -d' ' -f2 "$work/time")" >>"$work/ours"
        start=$(date +%s%N)
        /usr/bin/time -f '%e %M' -o "$work/time" curl --cacert "$ca" -sS -o /dev/null --http1.1 \
            -A 'Pramblex SOAP 1.3' -H 'SOAPAction: ""' -H 'Content-Type: text/xml; charset=utf-8' \
            -H 'Accept:' -H 'Expect:' -H 'Connection: Keep-Alive' --data-binary "@$body" \
            -w '%{time_total}\n' "$url" >>"$work/curl-transfer"
        end=$(date +%s%N)
        echo "$(( (end - start) / 1000 )) $(cut -d' ' -f2 "$work/time")" >>"$work/curl"
        i=$((i + 1))
    done
    ours=$(cut -d' ' -f1 "$work/ours" | median)
    theirs=$(cut -d' ' -f1 "$work/curl" | median)
    oursTransfer=$(median <"$work/ours-transfer")
    curlTransfer=$(median <"$work/curl-transfer")
    rss=$(cut -d' ' -f2 "$work/ours" | sort -n | tail -1)
    curlRss=$(cut -d' ' -f2 "$work/curl" | sort -n | tail -1)
    awk -v mb="$mb" -v o="$ours" -v c="$theirs" -v r="$rss" -v cr="$curlRss" -v n="$runs" \
        -v ot="$oursTransfer" -v ct="$curlTransfer" 'BEGIN {
        o /= 1e6; c /= 1e6
        ratio = (c > 0) ? o / c : 0
        over = r / 1024 - mb
        printf "%3d MB body, %d runs: ours %.3f s, curl %.3f s, ratio %.2f (target <= 1.10); ", mb, n, o, c, ratio
        printf "our peak RSS %.1f MB = body + %.1f MB (target <= body + 40 MB; curl %.1f MB)\n", r / 1024, over, cr / 1024
        printf "           transfer alone (Execute vs curl time_total): ours %.4f s, curl %.4f s, ratio %.2f\n", ot, ct, (ct > 0) ? ot / ct : 0
    }'
    bench_summary "POST of $mb MB, whole process" curl s "$(awk "BEGIN { printf \"%.4f\", $ours / 1e6 }")" \
        "$(awk "BEGIN { printf \"%.4f\", $theirs / 1e6 }")" "$rss" "$curlRss" >>"$work/summary"
    bench_summary "POST of $mb MB, transfer alone" "curl time_total" s "$oursTransfer" "$curlTransfer" \
        >>"$work/summary"
done
cat "$work/summary"
