#!/usr/bin/env bash
# Installs what is missing, configures, builds and runs the whole test suite.
#   scripts/test.sh            AddressSanitizer + UndefinedBehaviorSanitizer build in build-sanitize/
#   scripts/test.sh --plain    optimised build (RelWithDebInfo) in build/, as the demo builds it
# Extra arguments after -- go to ctest (for instance: -- -L transport).
# The suite runs under the sanitizers by default: one build that both passes
# the tests and shows them free of memory faults and undefined behaviour,
# where a second build of every file would double what CI spends compiling.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build-sanitize
# The benchmarks build in build-release/ (bench/run.sh); not here.
cmake_args=(-DCMAKE_BUILD_TYPE=Debug -DCTO_SANITIZE=ON -DCTO_BENCHMARKS=OFF)
if [[ "${1:-}" == "--plain" ]]; then
    shift
    build_dir=build
    cmake_args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCTO_BENCHMARKS=OFF)
else
    [[ "${1:-}" == "--sanitize" ]] && shift # the default, kept for habit
    # Qt and the system libraries are not built with the sanitizers; leaks in
    # them are not ours to report.
    export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1:${ASAN_OPTIONS:-}"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
fi
[[ "${1:-}" == "--" ]] && shift

scripts/install-deps.sh
cmake -S . -B "$build_dir" -G Ninja "${cmake_args[@]}" >/dev/null
cmake --build "$build_dir"
# Two suites at a time: most of a suite's time is spent waiting on its peers
# (the test server, the office, a card driver that hangs), and no suite's
# bound is so tight that a second one beside it matters.
ctest --test-dir "$build_dir" --output-on-failure --timeout 600 --parallel 2 "$@"
