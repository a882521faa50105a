#!/usr/bin/env bash
# Screenshots of the editor on a real X server (Xvfb, the xcb platform) with the demo open, into
# docs/screenshots/: the main window, the advanced information (its Frames and Errors pages) and
# the Save As dialog and the waveform panel alone, each light and dark (-dark), at 100 % and 200 %
# (-200), in English and in German (-de); the About box and every page of the Options window (options-<page>.png).
# Usage: tools/screenshots.sh [BUILD_DIR]   (default: build; needs xvfb-run and fonts)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(cd "${1:-build}" && pwd)
cmake --build "$build" --target velmora demo >/dev/null
out=$root/docs/screenshots
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One run: a private settings store (the pictures show the defaults), started in a folder that
# holds only the language file wanted (the current folder is searched first).
shoot() { # NAME SCALE LANGUAGE
  local name=$1 scale=$2 language=$3
  local dir=$work/$name
  mkdir -p "$dir/config" "$dir/cwd" "$dir/png"
  if [ "$language" != English ]; then
    cp "$root/languages/$language.Velmora.ini" "$dir/cwd/"
  fi
  local width=$((1024 * scale)) height=$((768 * scale))
  (cd "$dir/cwd" && VELMORA_CONFIG_DIR=$dir/config QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=$scale \
    xvfb-run -a -s "-screen 0 ${width}x${height}x24" \
    "$build/velmora" --screenshots "$dir/png" "$build/demo.mp3")
}

copy() { # NAME SUFFIX
  local png
  for png in main-window advanced-info advanced-info-errors save-as waveform-panel; do
    cp "$work/$1/png/$png.png" "$out/$png$2.png"
    cp "$work/$1/png/$png-dark.png" "$out/$png-dark$2.png"
  done
}

shoot en-100 1 English
cp "$work/en-100/png/about.png" "$work"/en-100/png/options-*.png "$out/"
copy en-100 ""
shoot en-200 2 English
copy en-200 -200
shoot de-100 1 German
copy de-100 -de
shoot de-200 2 German
copy de-200 -200-de
ls -l "$out"/*.png
