#!/usr/bin/env bash
# velmora-cli cue (decode every frame, find the gaps, write the sheet) beside mp3splt's silence
# detection without writing and mpg123 decoding to nothing; velmora-cli split by that sheet
# beside mp3splt splitting by the same sheet.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bench_prepare
bench_need mpg123 mp3splt

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

for f in "$HOUR_CBR" "$HOUR_VBR"; do
    name=$(basename "$f" .mp3)
    # A copy beside which the sheet and the track folder are written.
    cp "$f" "$WORK/$name.mp3"
    mp3=$WORK/$name.mp3
    sheet=$WORK/$name.cue

    "$CLI" cue --defaults "$mp3" >/dev/null 2>&1
    tracks=$(grep -c "TRACK" "$sheet")
    echo "== cue $name: $tracks tracks found (target 12: $([ "$tracks" = 12 ] && echo met || echo MISSED))" |
        tee -a "$RESULTS/summary.txt"

    compare "cue $name ($(bench_size_mb "$f"))" \
        cue "$CLI cue --defaults '$mp3'" - \
        mpg123 "mpg123 -t -q '$mp3'" 1.3 \
        mp3splt-silence "mp3splt -q -s -P '$mp3'" -

    # mp3splt reads the sheet's third field as CD frames; the timing compares the same work.
    # Each run writes the tracks afresh: a second split refuses to replace them.
    mkdir -p "$WORK/mp3splt"
    BENCH_PREPARE="rm -rf '$WORK/$name'" compare "split $name by its sheet" \
        split "$CLI split --defaults '$mp3'" - \
        mp3splt "mp3splt -q -f -c '$sheet' -d '$WORK/mp3splt' '$mp3'" 0.5
    # (the preparation of mp3splt's runs removed the folder of the last split)
    rm -rf "$WORK/$name" "$WORK/mp3splt" "$mp3" "$sheet"
done
