#!/usr/bin/env bash
# Starts the program on a virtual X display with a window manager (openbox) and
# saves a picture of the whole screen as a PNG, for judging the windows by eye as
# a user sees them: frames, title bars, dialogs and where they open.
#
# Usage: scripts/screenshot.sh [options] [build-dir] [output.png]
#   --scale N       QT_SCALE_FACTOR for the program (default 1)
#   --screen WxH    the virtual screen's size (default 1280x1024)
#   --do "ARGS"     an xdotool command run before the picture is taken, e.g.
#                   --do "key alt Down Return" (repeatable, run in order, each
#                   followed by half a second for the program to answer); %WIN%
#                   stands for the main window, for clicks at places inside it:
#                   --do "mousemove --window %WIN% 40 400 click 1"
#   --window        only the main window instead of the whole screen
# Needs xvfb-run (xvfb), openbox, xwininfo (x11-utils), xdotool and import
# (imagemagick); scripts/setup.sh installs them.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

scale=1
screen=1280x1024
steps=()
only_window=0
while [ $# -gt 0 ]; do
    case "$1" in
    --scale) scale="$2"; shift 2 ;;
    --screen) screen="$2"; shift 2 ;;
    --do) steps+=("$2"); shift 2 ;;
    --window) only_window=1; shift ;;
    *) break ;;
    esac
done
build="${1:-$here/build}"
out="$(realpath -m "${2:-$here/out/main-window.png}")"
program="$build/app/velocitrix"
[ -x "$program" ] || cmake --build "$build" --target velocitrix

mkdir -p "$(dirname "$out")"
settings="$(mktemp -d)"
trap 'rm -rf "$settings"' EXIT

# A fresh settings folder, so the windows open at their default places and sizes.
export XDG_CONFIG_HOME="$settings" QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR="$scale"
xvfb-run -a -s "-screen 0 ${screen}x24" bash -c '
    program="$1" out="$2" only_window="$3"
    shift 3
    openbox >/dev/null 2>&1 &
    wm=$!
    sleep 1
    "$program" &
    pid=$!
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
        for step in "$@"; do
            # shellcheck disable=SC2086
            xdotool ${step//%WIN%/$id}
            sleep 0.5
        done
        sleep 0.5
        target=root
        [ "$only_window" = 1 ] && target="$id"
        timeout 20 import -window "$target" "$out" && status=0
    else
        echo "the main window did not show" >&2
    fi
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    kill "$wm" 2>/dev/null || true
    exit $status
' screenshot "$program" "$out" "$only_window" "${steps[@]}"
echo "$out"
