#!/usr/bin/env bash
# Builds the libFuzzer harnesses of tests/fuzz (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer), replays each one's saved corpus, then fuzzes each
# for a bounded time. The saved corpora are only read: new inputs go to a
# temporary copy. Fails when any harness finds a crash, a failed property, a
# leak or an input slower than the time-out.
#
# Environment: FUZZ_SECONDS (default 30) per harness; FUZZ_HARNESSES to pick a
# subset ("fuzz_masks fuzz_hive"); FUZZ_BUILD for another build directory.
# Crash inputs are kept in <build>/fuzz-artifacts/ (reproduce with
# <build>/tests/fuzz/<harness> <file>).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${FUZZ_BUILD:-$here/build-fuzz}"
seconds="${FUZZ_SECONDS:-30}"
harnesses=(${FUZZ_HARNESSES:-fuzz_masks fuzz_optimizer fuzz_replace fuzz_document fuzz_pieces fuzz_hive})

if ! command -v clang++ >/dev/null; then
    echo "fuzz.sh: clang++ is missing (scripts/setup.sh installs clang and libclang-rt-14-dev)" >&2
    exit 1
fi

CC=clang CXX=clang++ cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVELOCITRIX_FUZZ=ON -DVELOCITRIX_BUILD_TESTS=OFF -DVELOCITRIX_BUILD_BENCH=OFF \
    -DVELOCITRIX_SANITIZE="address;undefined" -DVELOCITRIX_WERROR=ON
cmake --build "$build" -j "$(nproc)" --target "${harnesses[@]}"

# The document and hive harnesses write a file per input: on a memory file system
# (no disk flushes) they run many times faster.
tmpbase="${TMPDIR:-/tmp}"
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    tmpbase=/dev/shm
fi
work="$(mktemp -d "$tmpbase/velocitrix-fuzz.XXXXXX")"
trap 'rm -rf "$work"' EXIT
artifacts="$build/fuzz-artifacts"
mkdir -p "$artifacts"
export ASAN_OPTIONS="${ASAN_OPTIONS:-abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export QT_QPA_PLATFORM=offscreen
export TMPDIR="$work"

failed=()
for h in "${harnesses[@]}"; do
    exe="$build/tests/fuzz/$h"
    saved="$here/tests/fuzz/corpus/$h"
    common=(-timeout=10 -rss_limit_mb=2048 -artifact_prefix="$artifacts/$h-" -print_final_stats=1)
    if [ -f "$here/tests/fuzz/$h.dict" ]; then
        common+=(-dict="$here/tests/fuzz/$h.dict")
    fi

    echo "== $h: replaying $(find "$saved" -type f | wc -l) saved inputs"
    if ! "$exe" "${common[@]}" -runs=0 "$saved" >"$work/$h.replay.log" 2>&1; then
        tail -n 40 "$work/$h.replay.log"
        failed+=("$h (saved corpus)")
        continue
    fi

    echo "== $h: fuzzing for ${seconds}s"
    mkdir -p "$work/corpus/$h"
    cp -r "$saved/." "$work/corpus/$h/"
    if ! "$exe" "${common[@]}" -max_total_time="$seconds" "$work/corpus/$h" \
        >"$work/$h.fuzz.log" 2>&1; then
        tail -n 60 "$work/$h.fuzz.log"
        failed+=("$h")
        continue
    fi
    grep -E '^stat::number_of_executed_units|^Done' "$work/$h.fuzz.log" || true
done

if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz.sh: failed: ${failed[*]} (inputs in $artifacts)" >&2
    exit 1
fi
echo "fuzz.sh: every harness passed"
