#!/usr/bin/env bash
# Installs the Debian packages the project needs (only those missing) and builds it into build/: every
# target, or only the targets named as arguments.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-charts-dev libgl-dev libsqlite3-dev libpq-dev
          poppler-utils libxlsxwriter-dev libzip-dev zlib1g-dev qt6-translations-l10n fonts-wqy-microhei xvfb xauth
          ccache clang-format libqrencode-dev zbar-tools)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo_cmd=""
    [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
    $sudo_cmd apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}"
fi

# HEXIU_WERROR=ON (CI sets it) turns every compiler warning into an error.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHEXIU_WERROR="${HEXIU_WERROR:-OFF}" >/dev/null
targets=()
for target in "$@"; do targets+=(--target "$target"); done
cmake --build build -j"$(nproc)" "${targets[@]}"
