#!/usr/bin/env bash
# Renders data/icons/vellora.svg into the PNG sizes the desktop and the window use.
# The PNGs are committed, so building needs no SVG renderer; rerun after editing the SVG.
set -euo pipefail
cd "$(dirname "$0")/../data/icons"
for size in 16 24 32 48 64 128 256; do
  mkdir -p "$size"
  rsvg-convert -w "$size" -h "$size" vellora.svg -o "$size/vellora.png"
done
