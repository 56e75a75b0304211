#!/usr/bin/env bash
# Builds the editor (Release) and starts it with the given files.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=deps.sh
. "$root/scripts/deps.sh"
veskel_install_deps

dir="$root/build/release"
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVESKEL_TESTS=OFF >/dev/null
cmake --build "$dir" -j "$(nproc)"
if [ -x "$dir/app/veskel" ]; then
    exec "$dir/app/veskel" "$@"
fi
# The window is not built yet: show what the command-line companion offers.
exec "$dir/cli/veskel-cli" --help
