#!/usr/bin/env bash
# Checks that every C++ file follows .clang-format; prints the files that do
# not. Fix them with: clang-format -i FILE...
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=deps.sh
. "$root/scripts/deps.sh"
veskel_install_deps clang-format
cd "$root"
mapfile -t files < <(git ls-files '*.cpp' '*.h')
clang-format --dry-run -Werror "${files[@]}"
echo "check-format: ${#files[@]} files follow .clang-format"
