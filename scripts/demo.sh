#!/usr/bin/env bash
# The demo: the program submits a sample survey to a simulated statistics
# office on 127.0.0.1, authenticating with a demo certificate, on your desktop.
#
#   scripts/demo.sh            you pick the certificate and answer the windows
#   scripts/demo.sh --errores  the same with a survey that the office rejects
#   scripts/demo.sh --auto     the windows are answered for you (xdotool), and
#                              screenshots are kept in build/demo/screenshots/
#   scripts/demo.sh --tarjeta  the certificate is on a simulated smart card (a
#                              SoftHSM2 token in build/demo/tarjeta, PIN 1234)
#                              that the demo database names, as modutil adds a
#                              card: pick a "Titular Tarjeta …" row, type the PIN
#
# Without a display (DISPLAY empty) it runs the --auto demo on an X server of
# its own (Xvfb), which it stops at the end.
#
# CTO_DEMO_ANSWER_DELAY_MS=N makes the office think N milliseconds before it
# answers; --auto then also takes a screenshot of the window while it waits
# (scripts/screenshots.sh uses both). With --auto --tarjeta it also shows a
# card row's details under the mouse, and CTO_DEMO_WRONG_PIN_FIRST=1 types a
# wrong PIN before the right one; both are kept as screenshots.
#
# Everything it makes lives in build/demo/: the office's authority and demo
# certificate, a demo NSS database (your own ~/.pki/nssdb is never touched),
# the program installed as a user installs it, the survey, the office's record
# of the exchange and the program's response file; with --tarjeta, the card.
set -euo pipefail
cd "$(dirname "$0")/.."

survey_source=tools/simulated_office/encuesta-ejemplo.xml
auto=false
card=false
for argument in "$@"; do
    case "$argument" in
        --errores) survey_source=tools/simulated_office/encuesta-con-errores.xml ;;
        --auto) auto=true ;;
        --tarjeta) card=true ;;
        *) sed -n '2,20p' "$0" >&2; exit 2 ;;
    esac
done

own_display=false
if [[ -z "${DISPLAY:-}" ]]; then
    echo "No display here (DISPLAY is empty): running the unattended demo (--auto) on an X server of its own (Xvfb)."
    auto=true
    own_display=true
fi

if $auto; then
    scripts/install-deps.sh --demo # ImageMagick's import takes the screenshots
else
    scripts/install-deps.sh
fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target ConexionTulvaOskel ConexionTulvaOskelEngine simulated_office

demo="$PWD/build/demo"
rm -rf "$demo"
mkdir -p "$demo/work" "$demo/nssdb"

stop_process() { # <pid or nothing>
    if [[ -n "$1" ]] && kill -0 "$1" 2>/dev/null; then
        kill "$1"
        wait "$1" 2>/dev/null || true
    fi
}
office_pid=""
x_server_pid=""
stop_all() {
    stop_process "$office_pid"
    if [[ -n "$x_server_pid" ]]; then
        stop_process "$x_server_pid"
        echo "The demo's X server ($DISPLAY) is stopped."
    fi
}
trap stop_all EXIT

# An Xvfb of the demo's own, without a window manager: -displayfd lets it pick a
# free display and tell its number; -noreset keeps it from resetting when its
# last client leaves, which refuses whoever connects next. It is trusted once
# xdpyinfo is served on it; one that does not answer is replaced.
start_x_server() {
    for _ in 1 2 3; do
        : >"$demo/x-display"
        Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1024x768x24 \
            3>"$demo/x-display" 2>"$demo/xvfb.log" &
        x_server_pid=$!
        for _ in $(seq 100); do
            [[ -s "$demo/x-display" ]] && break
            kill -0 "$x_server_pid" 2>/dev/null || break
            sleep 0.2
        done
        if [[ -s "$demo/x-display" ]]; then
            local display
            display=":$(head -n 1 "$demo/x-display")"
            for _ in $(seq 50); do
                if xdpyinfo -display "$display" >/dev/null 2>&1; then
                    export DISPLAY="$display"
                    echo "The demo's X server is on display $DISPLAY."
                    return 0
                fi
                sleep 0.2
            done
        fi
        stop_process "$x_server_pid"
        x_server_pid=""
    done
    echo "Xvfb did not start (see $demo/xvfb.log)." >&2
    return 1
}
if $own_display; then
    start_x_server
fi

echo "Starting the simulated office..."
answer_delay=${CTO_DEMO_ANSWER_DELAY_MS:-0}
build/tools/simulated_office/simulated_office --state-dir "$demo/office" \
    --demo-certificate "Lucía Hernández Peña" --record "$demo/office/exchanges" \
    --answer-delay "$answer_delay" &
office_pid=$!
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
card_settings=()
if $card; then
    echo "Making the simulated smart card in $demo/tarjeta (PIN 1234)..."
    tests/support/make-test-token.sh --label "Tarjeta de demostracion" --register-in "$demo/nssdb" \
        "$demo/tarjeta" "$demo/office/ca.pem" "$demo/office/ca.key" >/dev/null
    card_settings=(SOFTHSM2_CONF="$demo/tarjeta/softhsm2.conf")
fi

# The program installed as a user installs it, beside the program that calls
# it: with the engine module it loads from its own folder, and where its
# response file is stored.
cmake --install build --prefix "$demo/program" >/dev/null
survey=$(basename "$survey_source")
cp "$survey_source" "$demo/work/$survey"

run_program() {
    (cd "$demo/work" && env CTO_SERVICE_HOST="127.0.0.1:$port" CTO_SERVICE_CA_FILE="$demo/office/ca.pem" \
        CTO_NSS_DATABASE="$demo/nssdb" XDG_DATA_HOME="$demo/data" "${card_settings[@]}" \
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
screenshot() { # <name>: the whole screen, and the window in front alone
    mkdir -p "$demo/screenshots"
    sleep 0.3
    import -window root "$demo/screenshots/$1.png"
    import -window "$(xdotool getwindowfocus)" "$demo/screenshots/$1-window.png"
}
main_window_shot() { # <name>: the main window's area with what lies over it (a dialog, a tooltip)
    # Cut from the screen: a window's own image leaves what covers it black.
    local X Y WIDTH HEIGHT WINDOW SCREEN
    eval "$(xdotool search --name '^Conexión y envio a OSKEL$' | head -n 1 | xargs xdotool getwindowgeometry --shell)"
    import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$demo/screenshots/$1.png"
}
# The mouse rests on the list's second row (the first of the card's, in the
# demo database) until its tooltip shows; the place is the list's in the
# dialog's layout, in pixels of the scale the program runs at.
show_row_details() {
    local scale=${QT_SCALE_FACTOR:-1}
    xdotool mousemove --window "$(xdotool getwindowfocus)" \
        "$(awk -v s="$scale" 'BEGIN { print int(40 * s) }')" \
        "$(awk -v s="$scale" 'BEGIN { print int(86 * s) }')"
    sleep 1.5
    mkdir -p "$demo/screenshots"
    main_window_shot 1-row-details
    xdotool mousemove 0 0
    sleep 0.5
}
answer_windows() {
    wait_for_focus "Selección de Certificado"
    if $card; then
        # The card's rows join the list once its module has answered its probe,
        # which is stopped after 5 s at the latest. Then type-ahead on the names
        # selects the card's first certificate, the RSA one.
        sleep 6
        xdotool type --delay 60 "Titular"
        sleep 1
        show_row_details
    else
        xdotool key --delay 150 space
    fi
    screenshot 1-certificate-dialog
    xdotool key alt+a
    if $card; then
        wait_for_focus "PIN de la tarjeta «Tarjeta de demostracion»"
        if [[ "${CTO_DEMO_WRONG_PIN_FIRST:-0}" == 1 ]]; then
            # The prompt closes and comes again with its warning.
            xdotool type --delay 60 0000
            xdotool key Return
            sleep 1
            wait_for_focus "PIN de la tarjeta «Tarjeta de demostracion»"
            sleep 0.3
            main_window_shot 1-card-wrong-pin
        fi
        xdotool type --delay 60 1234
        screenshot 1-card-pin
        xdotool key Return
    fi
    if ((answer_delay >= 2500)); then
        # The main window while the office thinks: its log, and the line counting the wait.
        sleep 2
        import -window "$(xdotool search --name '^Conexión y envio a OSKEL$' | head -n 1)" \
            "$demo/screenshots/0-waiting-window.png"
    fi
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
    if $card; then
        echo "Pick one of the \"Titular Tarjeta …\" certificates (on the card), press Aceptar and type the PIN 1234."
    else
        echo "Pick the certificate \"Lucía Hernández Peña\" and press Aceptar."
    fi
    run_program
fi

response="$demo/program/${survey%????}-response.xml"
echo
echo "The program ended. Its response file, $response:"
if [[ -f "$response" ]]; then
    cat "$response"
    echo
else
    echo "(none)"
fi
echo "What the office received and answered is in $demo/office/exchanges/."
if $auto; then
    echo "Screenshots of the windows are in $demo/screenshots/: $(cd "$demo/screenshots" && echo *.png)"
    # Unattended, a run that stored no answer is a failed demo.
    [[ -f "$response" ]]
fi
