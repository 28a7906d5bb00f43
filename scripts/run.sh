#!/usr/bin/env bash
# Sets the machine up, builds (optimized) and starts the program.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$here/scripts/setup.sh" "$here/build"
exec "$here/build/app/velocitrix" "$@"
