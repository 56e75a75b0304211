#!/usr/bin/env bash
# Builds and runs the tests.
#   scripts/test.sh              every test, in the normal build (build/test), with the benchmarks
#   scripts/test.sh --sanitize   with AddressSanitizer and UndefinedBehaviorSanitizer (build/sanitize)
#   scripts/test.sh -R REGEX     only the tests whose names match REGEX (ctest -R), building only
#                                their programs, not the benchmarks; --test REGEX is the same
#   scripts/test.sh --bench      with -R, build everything, the benchmarks too (as without -R)
#   scripts/test.sh --no-bench   without the benchmarks (VESKEL_BENCH=OFF)
# The options combine: scripts/test.sh --sanitize --bench -R '^tst_rtf'.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

usage() {
    sed -n '2,9s/^# \{0,1\}//p' "${BASH_SOURCE[0]}" >&2
    exit 2
}

sanitize=0
bench=
regex=
while [ $# -gt 0 ]; do
    case $1 in
    --sanitize) sanitize=1 ;;
    --bench) bench=ON ;;
    --no-bench) bench=OFF ;;
    -R | --test)
        if [ $# -lt 2 ] || [ -z "$2" ]; then
            usage
        fi
        regex=$2
        shift
        ;;
    -h | --help) usage ;;
    *)
        echo "test.sh: unknown argument: $1" >&2
        usage
        ;;
    esac
    shift
done

# shellcheck source=deps.sh
. "$root/scripts/deps.sh"
# Test tools: the allocators the programs are also tested under, preloaded;
# a private D-Bus daemon for the lock signals; xclip, another X client of the
# clipboard.
veskel_install_deps libjemalloc2 libtcmalloc-minimal4 dbus-daemon xclip

dir="$root/build/test"
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESKEL_BENCH="${bench:-ON}")
if [ $sanitize -eq 1 ]; then
    dir="$root/build/sanitize"
    flags=(-DCMAKE_BUILD_TYPE=Debug -DVESKEL_SANITIZE=ON)
    if [ -n "$bench" ]; then
        flags+=(-DVESKEL_BENCH="$bench")
    fi
    export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
    export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/tests/lsan.supp:print_suppressions=0}
    export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
fi

# CI builds with warnings as errors (VESKEL_WERROR=ON).
flags+=(-DVESKEL_WERROR="${VESKEL_WERROR:-OFF}")
cmake -S "$root" -B "$dir" -G Ninja "${flags[@]}" >/dev/null

ctest_args=(--test-dir "$dir" --output-on-failure -j "$(nproc)")
targets=()
if [ -n "$regex" ]; then
    ctest_args+=(-R "$regex" --no-tests=error)
    # The programs the matching tests run, as the configure step registered
    # them (CTestTestfile.cmake); one that is not a target of the build (none
    # today) builds everything.
    mapfile -t tests < <(ctest --test-dir "$dir" -N -R "$regex" | sed -n 's/^ *Test *#[0-9]*: //p')
    if [ ${#tests[@]} -eq 0 ]; then
        echo "test.sh: no test matches '$regex' (ctest --test-dir $dir -N lists them all)" >&2
        exit 1
    fi
    registered=$(find "$dir" -name CTestTestfile.cmake -exec cat {} +)
    for test in "${tests[@]}"; do
        program=$({ grep -F "add_test([=[$test]=] \"" <<<"$registered" || true; } |
            sed -n 's/^[^"]*"\([^"]*\)".*/\1/p')
        program=${program%%$'\n'*}
        name=${program##*/}
        if [ -z "$name" ] || ! ninja -C "$dir" -t query "$name" >/dev/null 2>&1; then
            targets=()
            break
        fi
        case " ${targets[*]} " in
        *" $name "*) ;;
        *) targets+=("$name") ;;
        esac
    done
fi
if [ ${#targets[@]} -gt 0 ] && [ "$bench" != ON ]; then
    cmake --build "$dir" -j "$(nproc)" --target "${targets[@]}"
else
    cmake --build "$dir" -j "$(nproc)"
fi
export QT_QPA_PLATFORM=offscreen
ctest "${ctest_args[@]}"
