#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running need.
# Idempotent: does nothing when all of them are present and the Spanish locale
# (es_ES.UTF-8) is generated.
#   scripts/install-deps.sh            what building, the tests and the demo need
#   scripts/install-deps.sh --bench    also what the benchmarks and the fuzzer need
#   scripts/install-deps.sh --demo     also ImageMagick, for the unattended demo's screenshots
#   scripts/install-deps.sh --runtime  only what the installed program needs to run
#                                      (no compilers, no -dev packages, no test tools)
#   --list with any of them            prints the packages, one a line, and installs nothing
set -euo pipefail

usage() {
    sed -n '2,10p' "$0" >&2
    exit 2
}

# To run: the libraries that the program and its engine module link (readelf -d,
# NEEDED; dpkg -S names their packages) and what those load at run time.
runtime=(
    # Qt 6 widgets; libqt6gui6 also holds the X11 (xcb) platform plugin and the
    # image format plugins that Qt loads when the first window opens
    libqt6core6 libqt6gui6 libqt6widgets6
    # HTTPS with OpenSSL (libcurl4 is libcurl's OpenSSL flavour), and the system's
    # certification authorities, which vouch for the office's server
    libcurl4 libssl3 ca-certificates
    # the desktop's proxy settings: libproxy reads the environment by itself,
    # GNOME's through this plugin (KDE's through libproxy1-plugin-kconfig, and
    # PAC scripts through libproxy1-plugin-webkit, which a user adds: both
    # bring large libraries)
    libproxy1v5 libproxy1-plugin-gsettings
    # the user's certificate store (libnss3 also holds the softoken that opens it),
    # and p11-kit, which says what smart-card modules the system registers
    libnss3 libnspr4 libp11-kit0
    # the office's answer
    libxml2
    # the faces that stand in for the windows' own
    fonts-dejavu-core
    # Spanish throughout: Qt's own texts (qtbase_es.qm), the C library's error
    # texts (libc.mo) and the es_ES.UTF-8 locale through which they are read
    qt6-translations-l10n libc-l10n locales
    # the C++ run-time
    libstdc++6 libgcc-s1
)

build_and_test=(
    # build
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools
    libcurl4-openssl-dev libnss3-dev libxml2-dev libssl-dev libp11-kit-dev libproxy-dev
    # tests, demo and screenshots
    libnss3-tools openssl xvfb xauth xdotool x11-utils fonts-dejavu-core libxml2-utils util-linux
    # the smart card that tests and the demo simulate (a SoftHSM2 token), and
    # pkcs11-tool, which gives a test token a key that asks for its PIN at every signature
    softhsm2 opensc
    # p11-kit's proxy module (p11-kit-proxy.so), which a test registers in a
    # database as a browser registers p11-kit
    p11-kit-modules
    # a real proxy between the transport and the test office; the program
    # alone, without the system service that the tinyproxy package starts
    tinyproxy-bin
    # a screen reader's view of the end-to-end run: a private D-Bus session
    # bus and the AT-SPI bus launcher with its registry, no desktop session;
    # and the GTK theme that Qt loads in a GNOME session, as GNOME users have it
    dbus-daemon at-spi2-core qt6-gtk-platformtheme
    # checks: formatting and static analysis (scripts/check-format.sh, scripts/tidy.sh)
    clang-format clang-tidy
)

only_runtime=false
bench=false
demo=false
list=false
for argument in "$@"; do
    case "$argument" in
        --runtime) only_runtime=true ;;
        --bench) bench=true ;;
        --demo) demo=true ;;
        --list) list=true ;;
        *) usage ;;
    esac
done

if $only_runtime; then
    # The extras are for a build tree; a machine that only runs the program has none.
    if $bench || $demo; then
        usage
    fi
    packages=("${runtime[@]}")
else
    # The tests and the demo run the program, so what it needs at run time comes too.
    packages=("${build_and_test[@]}" "${runtime[@]}")
    if $bench; then
        packages+=(time curl python3 clang libclang-rt-14-dev)
    fi
    if $demo; then
        packages+=(imagemagick)
    fi
fi

if $list; then
    printf '%s\n' "${packages[@]}"
    exit 0
fi

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$package")
done

as_root=()
if ((EUID != 0)); then
    as_root=(sudo)
fi

if ((${#missing[@]} > 0)); then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    "${as_root[@]}" apt-get update -qq
    "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The system's error texts are read in Spanish through this locale, whatever
# the user's own; a locale is usable only once generated.
spanish_locale="es_ES.UTF-8"
if ! locale -a 2>/dev/null | grep -qix 'es_ES\.utf-\?8'; then
    echo "Generating the locale $spanish_locale"
    if grep -q "^# *$spanish_locale UTF-8" /etc/locale.gen; then
        "${as_root[@]}" sed -i "s/^# *$spanish_locale UTF-8/$spanish_locale UTF-8/" /etc/locale.gen
    elif ! grep -q "^$spanish_locale UTF-8" /etc/locale.gen; then
        echo "$spanish_locale UTF-8" | "${as_root[@]}" tee -a /etc/locale.gen >/dev/null
    fi
    "${as_root[@]}" locale-gen --keep-existing >/dev/null
fi
