#!/usr/bin/env bash
# Sets the machine up, builds (warnings are errors) and runs the whole test suite
# headless.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$here/scripts/setup.sh" "$here/build" -DVELOCITRIX_WERROR=ON
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$here/build" --output-on-failure -j "$(nproc)"
