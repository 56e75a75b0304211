#!/usr/bin/env bash
# Builds Veskel (Release, with Debian's hardening flags) and makes its Debian
# package, then checks it with lintian:
#   scripts/package.sh     -> build/package/veskel_<version>_<arch>.deb
# Install it with: sudo apt-get install ./build/package/veskel_*.deb
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=deps.sh
. "$root/scripts/deps.sh"
veskel_install_deps dpkg-dev file lintian

dir="$root/build/package"
# The flags Debian builds its own packages with; CMake takes CXXFLAGS and
# LDFLAGS from the environment, the preprocessor flags go with CXXFLAGS.
eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
export CXXFLAGS="$CPPFLAGS $CXXFLAGS"
rm -f "$dir"/veskel_*.deb
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVESKEL_TESTS=OFF \
    -DVESKEL_BENCH=OFF >/dev/null
cmake --build "$dir" -j "$(nproc)"
(cd "$dir" && cpack -G DEB >/dev/null)
deb=$(ls "$dir"/veskel_*.deb)
lintian --fail-on error "$deb"
echo "$deb"
