#!/usr/bin/env bash
# The R128 loudness analysis (velmora-cli normalize: one decode feeding the peak tally and the
# R128 analyser) of the hour beside mpg123 decoding to nothing and loudgain analysing it; then
# album mode on the 12 tracks split from the hour beside mp3gain's album gain, fresh copies for
# every run.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bench_prepare
bench_need mpg123 loudgain mp3gain

compare "R128 analysis $(basename "$HOUR_CBR") ($(bench_size_mb "$HOUR_CBR"))" \
    normalize "$CLI normalize --defaults '$HOUR_CBR'" - \
    mpg123 "mpg123 -t -q '$HOUR_CBR'" 1.2 \
    loudgain "loudgain -q '$HOUR_CBR'" 0.5

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
bench_hour_tracks "$WORK"
tracks=$(ls "$WORK/tracks" | wc -l)
BENCH_PREPARE="rm -rf '$WORK/v' '$WORK/g' && mkdir '$WORK/v' '$WORK/g' && cp '$WORK/tracks/'*.mp3 '$WORK/v/' && cp '$WORK/tracks/'*.mp3 '$WORK/g/'" \
    compare "album gain over $tracks tracks split from $(basename "$HOUR_CBR")" \
    album "$CLI normalize --defaults --album --apply '$WORK/v/'*.mp3" - \
    mp3gain "mp3gain -a -c -q '$WORK/g/'*.mp3" 0.6
