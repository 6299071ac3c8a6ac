#!/usr/bin/env bash
# Installs every Debian package that building, testing and running need.
# Idempotent: does nothing when all of them are present and the Spanish locale
# (es_ES.UTF-8) is generated.
#   scripts/install-deps.sh          what building, the tests and the demo need
#   scripts/install-deps.sh --bench  also what the benchmarks and the fuzzer need
set -euo pipefail

packages=(
    # build
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools
    libcurl4-openssl-dev libnss3-dev libxml2-dev libssl-dev
    # Spanish throughout: Qt's own texts (qtbase_es.qm), the C library's error
    # texts (libc.mo) and the es_ES.UTF-8 locale through which they are read
    qt6-translations-l10n libc-l10n locales
    # tests, demo and screenshots
    libnss3-tools openssl xvfb xauth xdotool x11-utils fonts-dejavu-core libxml2-utils util-linux
    # checks: formatting and static analysis (scripts/check-format.sh, scripts/tidy.sh)
    clang-format clang-tidy
)
if [[ "${1:-}" == "--bench" ]]; then
    packages+=(time curl python3 clang libclang-rt-14-dev)
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
