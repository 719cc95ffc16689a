#!/usr/bin/env bash
# Installs what building and testing Pellix needs on Debian 12, then configures and builds.
# Usage: scripts/setup.sh [BUILD_DIR] [extra cmake options...]
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
    build-essential cmake pkg-config git
    qt6-base-dev libzip-dev libgtest-dev libgmock-dev
    zlib1g-dev libbz2-dev liblzma-dev libzstd-dev libssl-dev
    zip unzip 7zip p7zip-full libarchive-tools python3
    clang-format fonts-dejavu-core
    clang libclang-rt-14-dev
    xdg-utils shared-mime-info desktop-file-utils file
    xvfb xdotool
    python3-gi gir1.2-gtk-3.0 openbox
    appstream
)
missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed'; then
        missing+=("$package")
    fi
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        sudo="sudo"
    fi
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

build_dir="${1:-build}"
shift || true
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELLIX_WERROR=ON "$@" >/dev/null
cmake --build "$build_dir" -j"$(nproc)"
