#!/usr/bin/env bash
# The certificate dialog with every store a user may have, against the dialog
# with the desktop's database alone: time from process start to the dialog
# shown with its rows, on the offscreen platform. Two test homes:
#   alone   ~/.pki/nssdb
#   all     ~/.pki/nssdb, two Firefox profiles and a SoftHSM token
#           registered in ~/.pki/nssdb (a smart card as modutil adds one)
# Both run the same program, alternately in one loop; the system's p11-kit
# modules load in both, as they would on the user's desktop.
#
#   bench/certificates/sources_run.sh build-release [runs]   (default 30 runs)
#
# Target: all within 1.5 x alone.
set -euo pipefail
"$(dirname "$0")/../../scripts/install-deps.sh" --bench

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$here/../summary.sh"
build=$(cd "${1:-$root/build}" && pwd)
runs=${2:-30}
program=$build/app/ConexionTulvaOskel
[[ -x $program ]] || { echo "missing $program: build the target ConexionTulvaOskel" >&2; exit 1; }

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

nice -n 19 python3 - "$program" "$runs" "$work" "$work/figures" <<'PY'
import os, statistics, subprocess, sys, time

program, runs, work, figures = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
base = dict(os.environ, QT_QPA_PLATFORM="offscreen", CTO_EXIT_WHEN_SHOWN="certificados",
            CTO_SERVICE_HOST="127.0.0.1:9", SOFTHSM2_CONF=os.path.join(work, "token", "softhsm2.conf"))
base.pop("CTO_NSS_DATABASE", None)

def once(home):
    start = time.monotonic_ns()
    child = subprocess.Popen([program, "encuesta.xml"], cwd=work, env=dict(base, HOME=os.path.join(work, home)),
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    out = child.stdout.read().decode()
    _, status, _ = os.wait4(child.pid, 0)
    child.stdout.close()
    fields = out.split()
    if status != 0 or len(fields) < 4 or fields[0] != "shown":
        sys.exit(f"{home}: the dialog was not reported: status {status}, output {out!r}")
    return (int(fields[1]) - start) / 1e6, int(fields[3])

results = {"alone": [], "all": []}
rows = {home: once(home)[1] for home in results}  # also warms the caches
if rows["all"] <= rows["alone"]:
    sys.exit(f"the homes list {rows}: the one with every store must list more")
for _ in range(runs):
    for home in results:
        results[home].append(once(home)[0])

print(f"runs: {runs} each, alternating; offscreen platform; rows listed: {rows}")
print(f"{'':8} {'median ms':>10} {'min ms':>8} {'max ms':>8}")
for home, times in results.items():
    print(f"{home:8} {statistics.median(times):10.1f} {min(times):8.1f} {max(times):8.1f}")
alone, every = statistics.median(results["alone"]), statistics.median(results["all"])
print(f"ratio {every / alone:.2f} x (target <= 1.50)")
with open(figures, "w") as out:
    print(f"{every:.3f} {alone:.3f}", file=out)
PY
read -r all_ms alone_ms <"$work/figures"
bench_summary "certificate dialog, every store" "~/.pki/nssdb alone" ms "$all_ms" "$alone_ms"
