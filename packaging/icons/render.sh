#!/usr/bin/env bash
# Renders the PNG icons from the SVG after it changes (needs librsvg2-bin):
#   packaging/icons/render.sh
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
for size in 16 22 24 32 48 64 128 256; do
    mkdir -p "${size}x${size}"
    rsvg-convert -w "$size" -h "$size" org.veskel.Veskel.svg -o "${size}x${size}/org.veskel.Veskel.png"
done
