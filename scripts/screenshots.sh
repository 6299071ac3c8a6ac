#!/usr/bin/env bash
# Makes the pictures the README shows, in docs/screenshots/: the main window
# while the office answers, the certificate dialog, both outcome messages, a
# card row's details and the card's PIN prompt after a wrong PIN.
# Each comes from a real run of the unattended demo on an X server of the
# script's own (scripts/demo.sh without a display), against a simulated office
# that takes its time. Look at each picture before committing it.
#   scripts/screenshots.sh            at scale 1
#   QT_SCALE_FACTOR=2 scripts/screenshots.sh docs/screenshots/2x   at scale 2, elsewhere
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/screenshots}
mkdir -p "$out"
shots=build/demo/screenshots

run_demo() { # <demo arguments...>
    CTO_DEMO_ANSWER_DELAY_MS=3000 env -u DISPLAY scripts/demo.sh "$@" >/dev/null
}

run_demo --auto
cp "$shots/0-waiting-window.png" "$out/envio-en-curso.png"
cp "$shots/1-certificate-dialog-window.png" "$out/seleccion-de-certificado.png"
cp "$shots/2-outcome-window.png" "$out/encuesta-aceptada.png"

run_demo --auto --errores
cp "$shots/2-outcome-window.png" "$out/encuesta-rechazada.png"

CTO_DEMO_WRONG_PIN_FIRST=1 run_demo --auto --tarjeta
cp "$shots/1-row-details.png" "$out/detalles-del-certificado.png"
cp "$shots/1-card-wrong-pin.png" "$out/pin-de-la-tarjeta.png"

echo "Pictures in $out/: $(cd "$out" && echo *.png)"
