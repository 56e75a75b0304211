#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for the given number of
# seconds (60 by default), or only the targets named:
#   scripts/fuzz.sh [SECONDS [TARGET...]]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-60}
# shellcheck source=deps.sh
. "$root/scripts/deps.sh"
veskel_install_deps clang libclang-rt-dev

dir="$root/build/fuzz"
CXX=clang++ cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVESKEL_FUZZ=ON -DVESKEL_TESTS=OFF >/dev/null
targets=(fuzz_decodearmour fuzz_scantoken fuzz_rtfreader fuzz_plaintext fuzz_objectdata
    fuzz_strongfile)
if [ $# -gt 1 ]; then
    targets=("${@:2}")
fi
cmake --build "$dir" -j "$(nproc)" --target "${targets[@]}"
for target in "${targets[@]}"; do
    corpus="$dir/corpus-$target"
    mkdir -p "$corpus"
    options=(-max_len=8192)
    case $target in
    # A strong document of one bucket is about 90,000 bytes.
    fuzz_strongfile) options=(-max_len=92160 -dict="$root/fuzz/strongfile.dict") ;;
    esac
    echo "== $target for ${seconds}s"
    (cd "$dir" && "./fuzz/$target" -max_total_time="$seconds" "${options[@]}" -rss_limit_mb=4096 \
        "$corpus")
done
