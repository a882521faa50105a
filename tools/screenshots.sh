#!/usr/bin/env bash
# Screenshots of the editor on a real X server (Xvfb, the xcb platform) with the demo open:
# docs/screenshots/main-window.png, advanced-info.png, about.png and options-<page>.png; the main
# window also in a dark palette (main-window-dark.png) and at 200 % (main-window-200.png).
# Usage: tools/screenshots.sh [BUILD_DIR]   (default: build; needs xvfb-run and fonts)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" --target velmora demo >/dev/null
out=docs/screenshots
mkdir -p "$out"
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
# A private settings store: the screenshots show the defaults, not the user's options.
VELMORA_CONFIG_DIR=$config QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1024x768x24" \
  "$build/velmora" --screenshots "$out" "$build/demo.mp3"
scaled=$(mktemp -d)
trap 'rm -rf "$config" "$scaled"' EXIT
VELMORA_CONFIG_DIR=$config QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=2 \
  xvfb-run -a -s "-screen 0 2048x1536x24" \
  "$build/velmora" --screenshots "$scaled" "$build/demo.mp3"
cp "$scaled/main-window.png" "$out/main-window-200.png"
ls -l "$out"/*.png
