#!/usr/bin/env bash
# Renders the icon's PNG sizes from com.quenmark.Torvinel.svg (needs rsvg-convert from
# librsvg2-bin). The PNGs are committed, so building and installing need no renderer; run this
# after changing the SVG.
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 32 48 64 128 256; do
  mkdir -p "$size"
  rsvg-convert -w "$size" -h "$size" com.quenmark.Torvinel.svg -o "$size/com.quenmark.Torvinel.png"
done
