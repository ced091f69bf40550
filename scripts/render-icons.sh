#!/usr/bin/env bash
# Renders the committed PNG icons from data/icons/org.example.mivot.svg (needs rsvg-convert, from
# librsvg2-bin); run it after changing the drawing, then commit the PNGs.
set -euo pipefail
cd "$(dirname "$0")/../data/icons"
for size in 16 22 24 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" org.example.mivot.svg -o "org.example.mivot-$size.png"
done
