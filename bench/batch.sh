#!/usr/bin/env bash
# velmora-cli batch normalising the 12 tracks split from the CBR hour (fresh copies for every run)
# beside mp3gain applying its track gain to copies of the same files; then a test run over 1,000
# small files, per file.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bench_prepare
bench_need mp3gain

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

bench_hour_tracks "$WORK"
tracks=$(ls "$WORK/tracks" | wc -l)
echo "== batch: $tracks tracks split from $(basename "$HOUR_CBR")" | tee -a "$RESULTS/summary.txt"

BENCH_PREPARE="rm -rf '$WORK/v' '$WORK/g' && mkdir '$WORK/v' '$WORK/g' && cp '$WORK/tracks/'*.mp3 '$WORK/v/' && cp '$WORK/tracks/'*.mp3 '$WORK/g/'" \
    compare "batch normalise $tracks tracks, default jobs ($(nproc) cores)" \
    batch "$CLI batch --defaults --option CheckBoxBatchVolumeNormalize=on '$WORK/v'" - \
    mp3gain "mp3gain -r -c -q '$WORK/g/'*.mp3" 0.6

# 1,000 files of one second each.
mkdir "$WORK/small"
"$MAKEPCM" demo "$WORK/one.raw"
head -c 176400 "$WORK/one.raw" >"$WORK/second.raw"
"${LAME_RAW[@]}" -b 128 "$WORK/second.raw" "$WORK/one.mp3"
for i in $(seq -w 1 1000); do
    cp "$WORK/one.mp3" "$WORK/small/$i.mp3"
done
title="batch test run over 1000 small files"
compare "$title" \
    batch "$CLI batch --defaults --option CheckBoxBatchTestRun=on '$WORK/small'" -
slug=$(echo "$title" | tr -c 'A-Za-z0-9\n' '-' | tr -s '-' | sed 's/-$//')
awk -F, 'NR == 2 { ms = $4 * 1000 / 1000
    printf "  per file %.3f ms  target <= 2 ms: %s\n", ms, ms <= 2 ? "met" : "MISSED" }' \
    "$RESULTS/$slug.csv" | tee -a "$RESULTS/summary.txt"
