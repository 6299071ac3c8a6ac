#!/bin/sh
# Times the response path (the answer read once, the element written, the
# outcome's fields gathered) against `xmllint --noout` on the same answers of
# about 1 KB, 1 MB, 50 MB and 250 MiB (the largest the program takes), and
# prints ours/xmllint for wall time and peak resident memory (best of runs).
# Usage: bench/response/run.sh [build-dir] [runs]   (default: build-response-bench, Release; RUNS or 3)
set -eu
"$(dirname "$0")/../../scripts/install-deps.sh" --bench
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$here/../summary.sh"
build=${1:-$root/build-response-bench}
runs=${2:-${RUNS:-3}}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
fi
ninja -C "$build" -j2 bench_response >/dev/null
bench=$(find "$build" -name bench_response -type f -perm -u+x | head -n 1)

python3 "$here/generate.py" "$work/small.xml" 0
python3 "$here/generate.py" "$work/medium.xml" 4200
python3 "$here/generate.py" "$work/large.xml" 200000
python3 "$here/generate.py" "$work/largest.xml" 1060000

# best <command...>: the lowest wall time and the lowest peak RSS of $runs runs, as "seconds kilobytes".
# /usr/bin/time gives the peak RSS; its %e has only 10 ms steps, too coarse for
# the small answer, so the wall time comes from a nanosecond clock around it.
best() {
    i=0
    bestTime=""
    bestRss=""
    while [ "$i" -lt "$runs" ]; do
        start=$(date +%s%N)
        /usr/bin/time -f '%M' -o "$work/time" "$@" >/dev/null
        end=$(date +%s%N)
        t=$(awk "BEGIN { printf \"%.4f\", ($end - $start) / 1e9 }")
        read -r m <"$work/time"
        if [ -z "$bestTime" ] || awk "BEGIN{exit !($t < $bestTime)}"; then bestTime=$t; fi
        if [ -z "$bestRss" ] || [ "$m" -lt "$bestRss" ]; then bestRss=$m; fi
        i=$((i + 1))
    done
    echo "$bestTime $bestRss"
}

ratio() { awk "BEGIN{ if ($2 > 0) printf \"%.2f\", $1 / $2; else printf \"n/a\" }"; }

printf '%-8s %10s %9s %9s %7s %10s %10s %7s\n' file bytes "ours s" "lint s" "time x" "ours KB" "lint KB" "RSS x"
for name in small medium large largest; do
    file="$work/$name.xml"
    set -- $(best "$bench" "$file" "$work/$name-response.xml")
    oursTime=$1 oursRss=$2
    set -- $(best xmllint --noout "$file")
    lintTime=$1 lintRss=$2
    bytes=$(stat -c %s "$file")
    printf '%-8s %10s %9s %9s %7s %10s %10s %7s\n' "$name" "$bytes" \
        "$oursTime" "$lintTime" "$(ratio "$oursTime" "$lintTime")" \
        "$oursRss" "$lintRss" "$(ratio "$oursRss" "$lintRss")"
    bench_summary "response path, $name answer ($(numfmt --to=si --suffix=B "$bytes"))" "xmllint --noout" s \
        "$oursTime" "$lintTime" "$oursRss" "$lintRss" >>"$work/summary"
done
"$bench" "$work/large.xml" "$work/large-response.xml"
cat "$work/summary"
