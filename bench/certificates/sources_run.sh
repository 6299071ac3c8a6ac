#!/usr/bin/env bash
# The certificate dialog with every store a user may have, against the dialog
# with the desktop's database alone: time from process start to the dialog
# shown with its rows, on the offscreen platform. Test homes:
#   alone    ~/.pki/nssdb
#   all      ~/.pki/nssdb, two Firefox profiles and a SoftHSM token
#            registered in ~/.pki/nssdb (a smart card as modutil adds one)
#   hanging  alone's database with a card driver registered in it that never
#            returns from C_Initialize (the tests' broken module)
# They run the same program, alternately in one loop; the system's p11-kit
# modules load in all, as they would on the user's desktop. alone and all run
# warm (the card modules' probe remembered from the run before); hanging, and
# alone once more as its peer ("cold"), run with no remembered probe, as the
# first run after a driver was installed: every module is probed then.
#
#   bench/certificates/sources_run.sh build-release [runs]   (default 30 runs)
#
# Targets: all within 1.05 x alone; hanging within 1.10 x cold.
set -euo pipefail
"$(dirname "$0")/../../scripts/install-deps.sh" --bench

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$here/../summary.sh"
build=$(cd "${1:-$root/build}" && pwd)
runs=${2:-30}
program=$build/app/ConexionTulvaOskel
[[ -x $program ]] || { echo "missing $program: build the target ConexionTulvaOskel" >&2; exit 1; }
cmake --build "$build" --target cto_broken_module_hang >/dev/null
hanging_module=$(find "$build/tests/certificates" -name 'libcto_broken_module_hang.so' | head -1)
[[ -n $hanging_module ]] || { echo "missing the hanging module in $build/tests/certificates" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '<Encuesta/>' >"$work/encuesta.xml"
nssdb() { sh "$root/tests/support/make-test-nssdb.sh" "$@" >/dev/null 2>&1; }

nssdb "$work/alone/.pki/nssdb"
ca=$work/alone/.pki/nssdb/pem
nssdb "$work/all/.pki/nssdb" "$ca/ca.pem" "$ca/ca.key"
firefox=$work/all/.mozilla/firefox
# Each profile's certificates from an authority of another name: the script
# numbers its certificates alike in every database, and two certificates of
# one issuer and serial number are one to NSS (as to anyone), so the profiles'
# would not be listed at all. (Peña Muñoz's intermediate has one name in all
# of them: hers is still one certificate, listed once.)
authority() { # <stem> <name>
    openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1.key" 2>/dev/null
    openssl req -new -x509 -key "$1.key" -subj "/CN=$2" -days 3650 -out "$1.pem" \
        -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign"
}
authority "$work/ca-uno" "Autoridad del perfil uno"
authority "$work/ca-dos" "Autoridad del perfil dos"
nssdb "$firefox/uno.default-release" "$work/ca-uno.pem" "$work/ca-uno.key"
nssdb --password perfil "$firefox/dos.trabajo" "$work/ca-dos.pem" "$work/ca-dos.key"
cat >"$firefox/profiles.ini" <<'EOF'
[Install4F96D1932A9F858E]
Default=uno.default-release
Locked=1

[Profile1]
Name=trabajo
IsRelative=1
Path=dos.trabajo

[Profile0]
Name=default-release
IsRelative=1
Path=uno.default-release
Default=1

[General]
StartWithLastProfile=1
Version=2
EOF
sh "$root/tests/support/make-test-token.sh" --register-in "$work/all/.pki/nssdb" \
    "$work/token" "$ca/ca.pem" "$ca/ca.key" >/dev/null
mkdir -p "$work/hanging/.pki"
cp -r "$work/alone/.pki/nssdb" "$work/hanging/.pki/nssdb"
printf '\nlibrary=%s\nname=Lector colgado\n\n' "$hanging_module" >>"$work/hanging/.pki/nssdb/pkcs11.txt"

nice -n 19 python3 - "$program" "$runs" "$work" "$work/figures" <<'PY'
import os, statistics, subprocess, sys, time

program, runs, work, figures = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
base = dict(os.environ, QT_QPA_PLATFORM="offscreen", CTO_EXIT_WHEN_SHOWN="certificados",
            CTO_SERVICE_HOST="127.0.0.1:9", SOFTHSM2_CONF=os.path.join(work, "token", "softhsm2.conf"))
base.pop("CTO_NSS_DATABASE", None)

def once(home, cold=False):
    environment = dict(base, HOME=os.path.join(work, home))
    if cold:  # nothing remembered of the card modules' probes
        cache = os.path.join(work, "cold-cache")
        subprocess.run(["rm", "-rf", cache], check=True)
        environment["XDG_CACHE_HOME"] = cache
    start = time.monotonic_ns()
    # A session of its own: the process ends at once when the dialog shows,
    # and the probes it left running (the hanging driver's) are ended with it.
    child = subprocess.Popen([program, "encuesta.xml"], cwd=work, env=environment, start_new_session=True,
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    out = child.stdout.read().decode()
    _, status, _ = os.wait4(child.pid, 0)
    child.stdout.close()
    subprocess.run(["pkill", "-KILL", "-s", str(child.pid)], check=False)
    fields = out.split()
    if status != 0 or len(fields) < 4 or fields[0] != "shown":
        sys.exit(f"{home}: the dialog was not reported: status {status}, output {out!r}")
    return (int(fields[1]) - start) / 1e6, int(fields[3])

cases = {"alone": ("alone", False), "all": ("all", False), "cold": ("alone", True), "hanging": ("hanging", True)}
results = {case: [] for case in cases}
rows = {case: once(*how)[1] for case, how in cases.items()}  # also warms the caches
if rows["all"] <= rows["alone"]:
    sys.exit(f"the homes list {rows}: the one with every store must list more")
if rows["hanging"] != rows["alone"]:
    sys.exit(f"the homes list {rows}: the hanging driver's must list the database's rows at once")
for _ in range(runs):
    for case, how in cases.items():
        results[case].append(once(*how)[0])

print(f"runs: {runs} each, alternating; offscreen platform; rows listed: {rows}")
print(f"{'':8} {'median ms':>10} {'min ms':>8} {'max ms':>8}")
for case, times in results.items():
    print(f"{case:8} {statistics.median(times):10.1f} {min(times):8.1f} {max(times):8.1f}")
median = {case: statistics.median(times) for case, times in results.items()}
print(f"all / alone      {median['all'] / median['alone']:.2f} x (target <= 1.05)")
print(f"hanging / cold   {median['hanging'] / median['cold']:.2f} x (target <= 1.10)")
with open(figures, "w") as out:
    print(f"{median['all']:.3f} {median['alone']:.3f} {median['hanging']:.3f} {median['cold']:.3f}", file=out)
PY
read -r all_ms alone_ms hanging_ms cold_ms <"$work/figures"
bench_summary "certificate dialog, every store" "~/.pki/nssdb alone" ms "$all_ms" "$alone_ms"
bench_summary "certificate dialog, a hanging card driver, first run" "the same without it" ms "$hanging_ms" "$cold_ms"
