#!/usr/bin/env bash
# The search for frame headers through bytes that only look like them: 1 MiB of 0xFF (no header
# at all) beside cat, and the CBR hour with a 512 KiB run of 0xFF after every 4 MiB (the chain
# resynchronises after each run) beside the plain hour. The search is linear in the bytes it
# passes.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bench_prepare

ff=$MATERIAL/ff-1MiB.mp3
[ -f "$ff" ] || head -c 1048576 /dev/zero | tr '\0' '\377' >"$ff"
# `info` refuses the file (no header), which is the result being timed.
compare "info on 1 MiB of 0xFF" \
    info "'$CLI' info '$ff' > /dev/null 2>&1 || true" - \
    cat "cat '$ff' > /dev/null" 2

runs=$MATERIAL/hour-ff-runs.mp3
if [ ! -f "$runs" ] || [ "$runs" -ot "$HOUR_CBR" ]; then
    head -c 524288 /dev/zero | tr '\0' '\377' >"$MATERIAL/ff-run.tmp"
    split -b 4194304 -d -a 3 "$HOUR_CBR" "$MATERIAL/piece."
    for p in "$MATERIAL"/piece.*; do
        cat "$p" "$MATERIAL/ff-run.tmp"
    done >"$runs.part"
    rm -f "$MATERIAL"/piece.* "$MATERIAL/ff-run.tmp"
    mv "$runs.part" "$runs"
fi
# The whole analysis of the hour is held against cat in info.sh; here the runs may add no more
# than their share of the bytes (6.5 MiB of 65.5 MB) to it.
compare "info on the CBR hour with 0xFF runs ($(bench_size_mb "$runs"))" \
    runs "'$CLI' info '$runs' > /dev/null" - \
    hour "'$CLI' info '$HOUR_CBR' > /dev/null" 1.2 \
    cat "cat '$runs' > /dev/null" -
