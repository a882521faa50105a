#!/usr/bin/env bash
# Runs every line of the EXAMPLES section of velmora-cli's manual page as written, in a folder
# holding the files they name, and fails when one ends with a status other than 0.
# Usage: man-examples.sh VELMORA_CLI MANUAL_SOURCE. Exit status 77 means skipped.
set -euo pipefail
cli=$(realpath "$1") page=$2
for p in lame ffmpeg; do
  command -v $p >/dev/null || { echo "SKIPPED: $p is missing"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export VELMORA_CONFIG_DIR=$work/config PATH=$(dirname "$cli"):$PATH
mkdir -p "$work/config" "$work/bin"
[ "$(basename "$cli")" = velmora-cli ] || ln -s "$cli" "$work/bin/velmora-cli"
PATH=$work/bin:$PATH

# MP3 of 20-second tones with 2 seconds of digital silence after each (DURATION seconds).
tones() { # DURATION FILE
  ffmpeg -nostdin -v error -f lavfi -i "aevalsrc=if(lt(mod(t\,22)\,20)\,0.3*sin(2*PI*440*t)\,0):d=$1:s=44100" \
    -ac 1 -f s16le - | lame --quiet -r -s 44.1 -m m --bitwidth 16 --signed --little-endian -b 64 - "$2"
}
cd "$work"
tones 10 live.mp3
cp live.mp3 talk.mp3
cp live.mp3 old.mp3
tones 64 album.mp3

examples=$(sed -n '/^\.SH EXAMPLES/,/^\.SH/p' "$page" | sed -n '/^\.EX/,/^\.EE/p' | sed '/^\.E[XE]/d; s/\\-/-/g; s/\\e/\\/g')
[ -n "$examples" ] || { echo "FAIL: no examples in $page" >&2; exit 1; }
status=0
while IFS= read -r line; do
  if ! output=$(bash -c "set -o pipefail; $line" 2>&1 >/dev/null); then
    echo "FAIL: $line" >&2
    echo "$output" >&2
    status=1
  fi
done <<<"$examples"
# What the split example wrote: the three songs, named by the pattern.
[ "$(ls tracks 2>/dev/null | paste -sd ' ')" = "01.mp3 02.mp3 03.mp3" ] ||
  { echo "FAIL: the split example wrote $(ls tracks 2>/dev/null | paste -sd ' ')" >&2; status=1; }
[ -s cut.mp3 ] || { echo "FAIL: save -o - wrote no cut.mp3" >&2; status=1; }
exit $status
