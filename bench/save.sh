#!/usr/bin/env bash
# velmora-cli save on the 60-minute CBR file: Save As trimming 30 s at each end beside cp,
# mp3splt and ffmpeg; an in-place save trimming the last 30 s beside cp; an in-place gain of
# +2 steps beside mp3gain. Every in-place run works on a fresh, synced copy.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bench_prepare
bench_need mp3splt ffmpeg mp3gain

WORK=$BUILD/bench-save
mkdir -p "$WORK"
SRC=$HOUR_CBR
COPY=$WORK/copy.mp3
SAVE=("$CLI" save --defaults)

# (a) A new file without the first and the last 30 s. The outputs are removed before each run,
# so nobody pays for replacing an older file.
BENCH_PREPARE="rm -rf '$WORK/out' && mkdir -p '$WORK/out'" \
    compare "Save As trimming 30 s at each end ($(bench_size_mb "$SRC"))" \
    velmora "${SAVE[*]} '$SRC' -o '$WORK/out/v.mp3' --begin 30s --end 30s" - \
    cp "cp '$SRC' '$WORK/out/c.mp3'" 1.5 \
    mp3splt "mp3splt -q -f -d '$WORK/out' -o s '$SRC' 0.30 59.30" 0.5 \
    ffmpeg "ffmpeg -nostdin -v error -y -ss 30 -to 3570 -i '$SRC' -c copy '$WORK/out/f.mp3'" 0.2

# The same onto an existing file: the new file goes under a temporary name, is flushed to disk
# (fsync) and renamed over the old one.
BENCH_PREPARE="cp '$SRC' '$WORK/old-v.mp3' && cp '$SRC' '$WORK/old-c.mp3' && sync '$WORK'/old-*.mp3" \
    compare "Save As over an existing file" \
    velmora "${SAVE[*]} '$SRC' -o '$WORK/old-v.mp3' --begin 30s --end 30s" - \
    cp "cp '$SRC' '$WORK/old-c.mp3'" -

# (b) In place, only the end trimmed: nothing moves, the file is cut. The dry run is the open
# and analysis alone, which every save includes.
BENCH_PREPARE="cp '$SRC' '$COPY' && sync '$COPY' && rm -f '$WORK/cp.mp3'" \
    compare "In-place save trimming the last 30 s" \
    velmora "${SAVE[*]} '$COPY' --end 30s" - \
    cp "cp '$SRC' '$WORK/cp.mp3'" 0.1 \
    analysis "${SAVE[*]} '$COPY' --end 30s --dry-run" -

# (c) In place, +2 global-gain steps on every frame. mp3gain -T rewrites the file in place
# itself and is slow, so this comparison takes fewer runs.
BENCH_RUNS=${BENCH_GAIN_RUNS:-5} BENCH_PREPARE="cp '$SRC' '$COPY' && sync '$COPY'" \
    compare "In-place gain +2" \
    velmora "${SAVE[*]} '$COPY' --gain 2" - \
    mp3gain "mp3gain -q -g 2 '$COPY'" 1 \
    mp3gain-T "mp3gain -q -T -g 2 '$COPY'" 0.05 \
    analysis "${SAVE[*]} '$COPY' --gain 2 --dry-run" -

# What the flush of an in-place save costs: waiting for the disk (msync MS_SYNC, which a save
# does not do) after the same gain change, on top of the save itself.
BENCH_RUNS=${BENCH_GAIN_RUNS:-5} BENCH_PREPARE="cp '$SRC' '$COPY' && sync '$COPY'" \
    compare "In-place gain +2, then waiting for the disk" \
    velmora "${SAVE[*]} '$COPY' --gain 2" - \
    "velmora+sync" "${SAVE[*]} '$COPY' --gain 2 && sync '$COPY'" -
