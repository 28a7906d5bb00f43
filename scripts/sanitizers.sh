#!/usr/bin/env bash
# The whole suite under AddressSanitizer + UndefinedBehaviorSanitizer, then the
# scanner's tests under ThreadSanitizer; each in a build directory of its own.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export QT_QPA_PLATFORM=offscreen

cmake -S "$here" -B "$here/build-asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DVELOCITRIX_SANITIZE="address;undefined" -DVELOCITRIX_BUILD_BENCH=OFF -DVELOCITRIX_WERROR=ON
cmake --build "$here/build-asan" -j "$(nproc)"
# Leaks are checked too; tests/lsan.supp names only libraries outside the program.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 LSAN_OPTIONS="suppressions=$here/tests/lsan.supp" UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir "$here/build-asan" --output-on-failure -j "$(nproc)"

# The scanner's thread-safe tests (label scanner-tsan, no dialogs), the command
# line's (label cli-tsan: velocitrix-cli --jobs) and the batch run's (label
# batch-tsan: its workers) under ThreadSanitizer.
# Qt itself is not instrumented: tests/scanner/tsan.supp names only Qt-internal
# frames; the scanner's hand-over is annotated for the tool.
cmake -S "$here" -B "$here/build-tsan" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DVELOCITRIX_SANITIZE=thread -DVELOCITRIX_BUILD_BENCH=OFF -DVELOCITRIX_WERROR=ON
cmake --build "$here/build-tsan" -j "$(nproc)" --target tst_masks tst_scanner tst_scanstress \
    tst_cli velocitrix-cli tst_batchrun
TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$here/tests/scanner/tsan.supp" \
    ctest --test-dir "$here/build-tsan" --output-on-failure -L "scanner-tsan|cli-tsan|batch-tsan"
