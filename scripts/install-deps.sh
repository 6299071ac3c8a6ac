#!/usr/bin/env bash
# Installs every Debian package that building, testing and running need.
# Idempotent: does nothing when all of them are present.
#   scripts/install-deps.sh          what building, the tests and the demo need
#   scripts/install-deps.sh --bench  also what the benchmarks and the fuzzer need
set -euo pipefail

packages=(
    # build
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools
    libcurl4-openssl-dev libnss3-dev libxml2-dev libssl-dev
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

if ((${#missing[@]} == 0)); then
    exit 0
fi

echo "Installing: ${missing[*]}"
as_root=()
if ((EUID != 0)); then
    as_root=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
