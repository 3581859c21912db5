#!/usr/bin/env bash
# Renders the committed PNG icons from their SVG sources with rsvg-convert
# (Debian's librsvg2-bin). The 16-pixel toolbar icon has its own drawing,
# aligned to the pixel grid.
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" vantrel.svg -o "vantrel-$size.png"
done
rsvg-convert -w 16 -h 16 convert-16.svg -o convert-16.png
rsvg-convert -w 32 -h 32 convert.svg -o convert-32.png
