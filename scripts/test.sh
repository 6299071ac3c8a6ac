#!/usr/bin/env bash
# Installs what is missing, configures, builds and runs the whole test suite.
#   scripts/test.sh                 normal build in build/
#   scripts/test.sh --sanitize      AddressSanitizer + UndefinedBehaviorSanitizer build in build-sanitize/
# Extra arguments after -- go to ctest (for instance: -- -L transport).
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build
# The benchmarks build in build-release/ (bench/run.sh); not here.
cmake_args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCTO_BENCHMARKS=OFF)
if [[ "${1:-}" == "--sanitize" ]]; then
    shift
    build_dir=build-sanitize
    cmake_args=(-DCMAKE_BUILD_TYPE=Debug -DCTO_SANITIZE=ON -DCTO_BENCHMARKS=OFF)
    # Qt and the system libraries are not built with the sanitizers; leaks in
    # them are not ours to report.
    export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1:${ASAN_OPTIONS:-}"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
fi
[[ "${1:-}" == "--" ]] && shift

scripts/install-deps.sh
cmake -S . -B "$build_dir" -G Ninja "${cmake_args[@]}" >/dev/null
cmake --build "$build_dir"
# Two suites at a time in the plain build, where no suite's time bound is
# tight; one at a time under the sanitizers, where every step is slower.
jobs=2
[[ $build_dir == build-sanitize ]] && jobs=1
ctest --test-dir "$build_dir" --output-on-failure --timeout 600 --parallel "$jobs" "$@"
