#!/usr/bin/env bash
# Builds and runs every test.
#   scripts/test.sh              the normal build (build/test)
#   scripts/test.sh --sanitize   with AddressSanitizer and UndefinedBehaviorSanitizer (build/sanitize)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=deps.sh
. "$root/scripts/deps.sh"
# Test tools: the allocators the programs are also tested under, preloaded;
# a private D-Bus daemon for the lock signals; xclip, another X client of the
# clipboard.
veskel_install_deps libjemalloc2 libtcmalloc-minimal4 dbus-daemon xclip

dir="$root/build/test"
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESKEL_BENCH=ON)
if [ "${1:-}" = "--sanitize" ]; then
    dir="$root/build/sanitize"
    flags=(-DCMAKE_BUILD_TYPE=Debug -DVESKEL_SANITIZE=ON)
    export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
    export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/tests/lsan.supp:print_suppressions=0}
    export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
fi

# CI builds with warnings as errors (VESKEL_WERROR=ON).
flags+=(-DVESKEL_WERROR="${VESKEL_WERROR:-OFF}")
cmake -S "$root" -B "$dir" -G Ninja "${flags[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)"
