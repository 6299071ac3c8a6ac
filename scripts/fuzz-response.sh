#!/bin/sh
# Fuzzes the response path (extraction and binding) with libFuzzer for a bounded time.
# Usage: scripts/fuzz-response.sh [seconds]   (default 600)
# Builds with clang in build-fuzz; the corpus grows in build-fuzz/fuzz-response-corpus,
# seeded from tests/data/response-*; crashes land in build-fuzz/fuzz-response-artifacts/.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
"$root/scripts/install-deps.sh" --bench
build=${CTO_FUZZ_BUILD:-$root/build-fuzz}
corpus=$build/fuzz-response-corpus
artifacts=$build/fuzz-response-artifacts

if [ ! -f "$build/CMakeCache.txt" ]; then
    CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCTO_FUZZ=ON >/dev/null
fi
nice -n 19 ninja -C "$build" -j2 fuzz_response >/dev/null
mkdir -p "$corpus" "$artifacts"
cp "$root"/tests/data/response-* "$corpus"/

cd "$build"
exec nice -n 19 "$build/tests/fuzz/fuzz_response" -max_total_time="$seconds" -max_len=16384 -rss_limit_mb=2048 \
    -timeout=10 -print_final_stats=1 -dict="$root/tests/fuzz/response.dict" \
    -artifact_prefix="$artifacts/" "$corpus"
