#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for the given number of
# seconds (60 by default):  scripts/fuzz.sh [SECONDS]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-60}
# shellcheck source=deps.sh
. "$root/scripts/deps.sh"
veskel_install_deps clang libclang-rt-dev

dir="$root/build/fuzz"
CXX=clang++ cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVESKEL_FUZZ=ON -DVESKEL_TESTS=OFF >/dev/null
targets=(fuzz_decodearmour fuzz_scantoken fuzz_rtfreader fuzz_plaintext fuzz_objectdata)
cmake --build "$dir" -j "$(nproc)" --target "${targets[@]}"
for target in "${targets[@]}"; do
    corpus="$dir/corpus-$target"
    mkdir -p "$corpus"
    echo "== $target for ${seconds}s"
    (cd "$dir" && "./fuzz/$target" -max_total_time="$seconds" -max_len=8192 -rss_limit_mb=4096 "$corpus")
done
