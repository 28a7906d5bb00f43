#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks, then configures and builds.
# Usage: scripts/setup.sh [build-dir] [extra cmake arguments...]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$here/build}"
shift || true

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev libvulkan-dev libxkbcommon-dev libqt6svg6
    libbenchmark-dev clang libclang-rt-14-dev
    xvfb xauth fonts-dejavu-core
    attr acl e2fsprogs util-linux strace
    desktop-file-utils appstream dpkg-dev file librsvg2-bin help2man
    zlib1g-dev imagemagick openbox x11-utils xdotool
    chromium-headless-shell python3.11-doc apache2-doc libjsoncpp-doc openjdk-17-doc libjs-bootstrap
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@"
cmake --build "$build" -j "$(nproc)"
