#!/usr/bin/env bash
# Start-up of the program against a bare Qt Widgets window, on the offscreen
# platform: time from process start to the main window being shown, and peak
# resident memory up to then. Both programs run alternately in one loop.
#
#   cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release
#   ninja -C build-release ConexionTulvaOskel bench_bare_window
#   bench/app/run.sh build-release [runs]      (defaults: build, 40 runs)
#
# CTO_EXIT_WHEN_SHOWN makes each program print a CLOCK_MONOTONIC timestamp and
# end as soon as its window is first painted or activated; the start-up path
# up to there is the ordinary one (the program also builds its hidden
# certificate dialog). Targets: the program within 1.10 x the bare window, in time and in peak RSS.
set -euo pipefail
"$(dirname "$0")/../../scripts/install-deps.sh" --bench

here=$(cd "$(dirname "$0")" && pwd)
. "$here/../summary.sh"
build=$(cd "${1:-$here/../../build}" && pwd)
runs=${2:-40}
program=$build/app/ConexionTulvaOskel
bare=$build/bench/app/bench_bare_window
for binary in "$program" "$bare"; do
    [[ -x $binary ]] || { echo "missing $binary: build the targets ConexionTulvaOskel and bench_bare_window" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '<Encuesta/>' > "$work/encuesta.xml"

nice -n 19 python3 - "$program" "$bare" "$runs" "$work" "$work/figures" <<'PY'
import os, statistics, subprocess, sys, time

program, bare, runs, work, figures = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4], sys.argv[5]
env = dict(os.environ, QT_QPA_PLATFORM="offscreen", CTO_EXIT_WHEN_SHOWN="1", HOME=work,
           CTO_SERVICE_HOST="127.0.0.1:9")

def once(binary, args):
    start = time.monotonic_ns()
    child = subprocess.Popen([binary] + args, cwd=work, env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    out = child.stdout.read().decode()
    _, status, usage = os.wait4(child.pid, 0)
    child.stdout.close()
    if status != 0 or not out.startswith("shown "):
        sys.exit(f"{binary} did not report its window: status {status}, output {out!r}")
    shown = int(out.split()[1])
    return (shown - start) / 1e6, usage.ru_maxrss / 1024.0

results = {"program": [], "bare": []}
once(program, ["encuesta.xml"]); once(bare, [])  # warm the caches
for _ in range(runs):
    results["program"].append(once(program, ["encuesta.xml"]))
    results["bare"].append(once(bare, []))

def summary(name):
    times = [t for t, _ in results[name]]
    rss = [r for _, r in results[name]]
    return statistics.median(times), min(times), max(times), statistics.median(rss), max(rss)

print(f"runs: {runs} each, alternating; offscreen platform")
print(f"{'':10} {'median ms':>10} {'min ms':>8} {'max ms':>8} {'median RSS MiB':>15} {'max RSS MiB':>12}")
for name in ("bare", "program"):
    m, lo, hi, rm, rx = summary(name)
    print(f"{name:10} {m:10.1f} {lo:8.1f} {hi:8.1f} {rm:15.1f} {rx:12.1f}")
pt, _, _, pr, _ = summary("program")
bt, _, _, br, _ = summary("bare")
print(f"ratio time {pt / bt:.2f} x (target <= 1.10), peak RSS {pr / br:.2f} x (target <= 1.10)")
with open(figures, "w") as out:
    print(f"{pt:.3f} {bt:.3f} {pr * 1024:.0f} {br * 1024:.0f}", file=out)
PY
read -r program_ms bare_ms program_rss bare_rss <"$work/figures"
bench_summary "program start-up to window shown" "bare Qt window" ms "$program_ms" "$bare_ms" "$program_rss" "$bare_rss"
