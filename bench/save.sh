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
# so nobody pays for replacing an older file. The frames go to the new file while the source is
# analysed (`save --timing` says so), so the recording is read once.
BENCH_PREPARE="rm -rf '$WORK/out' && mkdir -p '$WORK/out'" \
    compare "Save As trimming 30 s at each end ($(bench_size_mb "$SRC"))" \
    velmora "${SAVE[*]} '$SRC' -o '$WORK/out/v.mp3' --begin 30s --end 30s" - \
    cp "cp '$SRC' '$WORK/out/c.mp3'" 1.5 \
    mp3splt "mp3splt -q -f -d '$WORK/out' -o s '$SRC' 0.30 59.30" 0.5 \
    ffmpeg "ffmpeg -nostdin -v error -y -ss 30 -to 3570 -i '$SRC' -c copy '$WORK/out/f.mp3'" 0.2

# The VBR hour the same way (its frames differ in length; the copy is the same).
BENCH_PREPARE="rm -rf '$WORK/out' && mkdir -p '$WORK/out'" \
    compare "Save As trimming 30 s at each end, VBR ($(bench_size_mb "$HOUR_VBR"))" \
    velmora "${SAVE[*]} '$HOUR_VBR' -o '$WORK/out/v.mp3' --begin 30s --end 30s" - \
    cp "cp '$HOUR_VBR' '$WORK/out/c.mp3'" 1.5

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

# The editor saves a file it has analysed already, so what a Save there costs is the writing
# alone: the median of what --timing reports, beside the cp median of the run above.
writer_ms=$(for ((i = 0; i < BENCH_RUNS; i++)); do
    cp "$SRC" "$COPY" && sync "$COPY"
    "${SAVE[@]}" "$COPY" --end 30s --timing 2>&1 >/dev/null |
        sed -n 's/^timing: .*writing \([0-9.]*\) ms$/\1/p'
done | sort -n | awk '{ v[NR] = $1 } END { print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }')
cp_ms=$(awk -F, '$1 == "cp" { print $4 * 1000 }' "$RESULTS/In-place-save-trimming-the-last-30-s.csv")
awk -v w="$writer_ms" -v c="$cp_ms" 'BEGIN {
    printf "  writing alone (--timing) median %.2f ms = %.3f x cp (target <= 0.1: %s)\n", w, w / c,
        w / c <= 0.1 ? "met" : "MISSED" }' | tee -a "$RESULTS/summary.txt"

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
