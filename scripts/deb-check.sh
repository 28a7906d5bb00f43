#!/usr/bin/env bash
# Builds the Debian package, installs it and starts the installed program under the
# offscreen platform for a moment: it must come up and keep running.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$here/build}"
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls -t "$build"/velocitrix_*.deb | head -n 1)
echo "Installing $deb"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "$deb" >/dev/null
test -x /usr/bin/velocitrix
test -f /usr/share/applications/velocitrix.desktop
test -f /usr/share/icons/hicolor/scalable/apps/velocitrix.svg
home=$(mktemp -d)
QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$home" /usr/bin/velocitrix &
pid=$!
sleep 3
if kill -0 "$pid" 2>/dev/null; then
    kill "$pid"; wait "$pid" 2>/dev/null || true
    echo "The installed program started and ran."
else
    wait "$pid" || true
    echo "The installed program did not keep running." >&2
    exit 1
fi
