#!/usr/bin/env bash
# Installs the Debian packages the build needs, when they are missing.
# Sourced by run.sh and test.sh; call veskel_install_deps [extra packages...].

VESKEL_PACKAGES=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libssl-dev libsodium-dev libbenchmark-dev fonts-dejavu-core
    xvfb xauth xdotool openbox x11-utils
)

veskel_install_deps() {
    local wanted=("${VESKEL_PACKAGES[@]}" "$@") missing=() pkg
    for pkg in "${wanted[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages. Install them with:" >&2
        echo "  sudo apt-get install -y ${missing[*]}" >&2
        return 1
    fi
    echo "Installing: ${missing[*]}" >&2
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq && apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
}
