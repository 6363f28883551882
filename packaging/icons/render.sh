#!/usr/bin/env bash
# Renders the committed PNG icons from pellowquarnby.svg; run it after editing
# the drawing (needs rsvg-convert, Debian package librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 32 48 64 128 256; do
    rsvg-convert --width "$size" --height "$size" pellowquarnby.svg \
        --output "pellowquarnby-$size.png"
done
