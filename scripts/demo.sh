#!/usr/bin/env bash
# The demo: the program submits a sample survey to a simulated statistics
# office on 127.0.0.1, authenticating with a demo certificate, on your desktop.
#
#   scripts/demo.sh            you pick the certificate and answer the windows
#   scripts/demo.sh --errores  the same with a survey that the office rejects
#   scripts/demo.sh --auto     the windows are answered for you (xdotool); with
#                              ImageMagick's import, screenshots are kept too
#
# Everything it makes lives in build/demo/: the office's authority and demo
# certificate, a demo NSS database (your own ~/.pki/nssdb is never touched),
# a copy of the program, the survey, the office's record of the exchange and
# the program's response file.
set -euo pipefail
cd "$(dirname "$0")/.."

survey_source=tools/simulated_office/encuesta-ejemplo.xml
auto=false
for argument in "$@"; do
    case "$argument" in
        --errores) survey_source=tools/simulated_office/encuesta-con-errores.xml ;;
        --auto) auto=true ;;
        *) sed -n '2,14p' "$0" >&2; exit 2 ;;
    esac
done

if [[ -z "${DISPLAY:-}" ]]; then
    cat >&2 <<MESSAGE
The demo shows the program's windows, and there is no display here (DISPLAY is empty).

Run it from a desktop session, or on a virtual X server, answering the windows automatically:

    xvfb-run -a scripts/demo.sh --auto

(scripts/install-deps.sh installs xvfb-run and xdotool.)
MESSAGE
    exit 1
fi

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target ConexionTulvaOskel simulated_office

demo="$PWD/build/demo"
rm -rf "$demo"
mkdir -p "$demo/program" "$demo/work" "$demo/nssdb"

echo "Starting the simulated office..."
build/tools/simulated_office/simulated_office --state-dir "$demo/office" \
    --demo-certificate "Lucía Hernández Peña" --record "$demo/office/exchanges" &
office_pid=$!
stop_office() {
    if kill -0 "$office_pid" 2>/dev/null; then
        kill "$office_pid"
        wait "$office_pid" 2>/dev/null || true
    fi
}
trap stop_office EXIT
for _ in $(seq 100); do
    [[ -s "$demo/office/port" ]] && break
    kill -0 "$office_pid" 2>/dev/null || { echo "The simulated office did not start." >&2; exit 1; }
    sleep 0.2
done
[[ -s "$demo/office/port" ]] || { echo "The simulated office did not start in time." >&2; exit 1; }
port=$(cat "$demo/office/port")

echo "Making the demo certificate store in $demo/nssdb..."
certutil -N -d "sql:$demo/nssdb" --empty-password
pk12util -i "$demo/office/demo.p12" -d "sql:$demo/nssdb" -W demo -K "" >/dev/null

# A copy of the program, with the engine module it loads from its own folder:
# its response file is stored beside it.
cp build/app/ConexionTulvaOskel build/app/libConexionTulvaOskelEngine.so "$demo/program/"
survey=$(basename "$survey_source")
cp "$survey_source" "$demo/work/$survey"

run_program() {
    (cd "$demo/work" && CTO_SERVICE_HOST="127.0.0.1:$port" CTO_SERVICE_CA_FILE="$demo/office/ca.pem" \
        CTO_NSS_DATABASE="$demo/nssdb" \
        "$demo/program/ConexionTulvaOskel" "$survey")
}

# --auto: answers each window once it holds the focus, as a user would.
wait_for_focus() { # <window title>
    for _ in $(seq 150); do
        [[ "$(xdotool getwindowfocus getwindowname 2>/dev/null)" == "$1" ]] && return 0
        sleep 0.2
    done
    echo "The window \"$1\" did not appear." >&2
    return 1
}
screenshot() { # <name>
    if command -v import >/dev/null; then
        mkdir -p "$demo/screenshots"
        sleep 0.3
        import -window root "$demo/screenshots/$1.png"
    fi
}
answer_windows() {
    wait_for_focus "Selección de Certificado"
    xdotool key --delay 150 space
    screenshot 1-certificate-dialog
    xdotool key alt+a
    wait_for_focus "Conexiontulvaoskel"
    screenshot 2-outcome
    xdotool key Return
    wait_for_focus "Guardar resultados del envio"
    screenshot 3-save-dialog
    xdotool key ctrl+a
    xdotool type --delay 20 "$demo/work/saved-copy.xml"
    xdotool key Return
}

echo
echo "Running: ConexionTulvaOskel $survey   (office at https://127.0.0.1:$port)"
if $auto; then
    run_program &
    program_pid=$!
    answer_windows || { kill "$program_pid" 2>/dev/null || true; }
    wait "$program_pid"
else
    echo "Pick the certificate \"Lucía Hernández Peña\" and press Aceptar."
    run_program
fi

echo
echo "The program ended. Its response file, $demo/program/${survey%????}-response.xml:"
cat "$demo/program/${survey%????}-response.xml" 2>/dev/null && echo || echo "(none)"
echo "What the office received and answered is in $demo/office/exchanges/."
