#!/usr/bin/env bash
# Renders the application icon's PNG sizes from its SVG (rsvg-convert, Debian package
# librsvg2-bin). The PNGs are committed, so a build needs no SVG renderer.
set -euo pipefail
cd "$(dirname "$0")/../dist/icons"
name=io.github.velmora.Velmora
for size in 48 128 256; do
  mkdir -p "${size}x${size}"
  rsvg-convert -w "$size" -h "$size" "$name.svg" -o "${size}x${size}/$name.png"
done
