#!/usr/bin/env bash
# Starts the program on a virtual X display and saves a picture of its main
# window as a PNG, for comparing the layout by eye.
# Usage: scripts/screenshot.sh [build-dir] [output.png]
# Needs xvfb-run (package xvfb), xwininfo (x11-utils) and import (imagemagick).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$here/build}"
out="$(realpath -m "${2:-$here/out/main-window.png}")"
program="$build/app/velocitrix"
[ -x "$program" ] || cmake --build "$build" --target velocitrix

mkdir -p "$(dirname "$out")"
settings="$(mktemp -d)"
trap 'rm -rf "$settings"' EXIT

# A fresh settings folder, so the window opens at its default place and size.
XDG_CONFIG_HOME="$settings" QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" \
    bash -c '
        "$1" & pid=$!
        title="Velocitrix Website Optimizer v1.2.1"
        id=""
        for _ in $(seq 1 150); do
            sleep 0.2
            id=$(xwininfo -root -tree 2>/dev/null | grep -F "\"$title" | awk "{print \$1}" | head -n 1)
            [ -n "$id" ] && break
        done
        status=1
        if [ -n "$id" ]; then
            sleep 1 # let it paint
            timeout 20 import -window "$id" "$2" && status=0
        else
            echo "the main window did not show" >&2
        fi
        kill "$pid"
        wait "$pid" 2>/dev/null || true
        exit $status
    ' screenshot "$program" "$out"
echo "$out"
