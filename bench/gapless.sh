#!/usr/bin/env bash
# Exact cuts on the 60-minute files. The join test: split by the 12-track sheet, decode every
# track gapless (mpg123 and ffmpeg), and count per boundary the samples lost and the samples that
# differ from the decoded source, for velmora-cli split beside mp3splt -c and mp3splt -c -b of
# the same sheet. Then the timings: Save As trimming 30 s at each end beside cp, in the editor
# (the file open, as Save As finds it) and on the command line (which opens the file first; beside
# the frame cut), and the split beside mp3splt -c. BENCH_GAPLESS_JOIN=0 leaves the join test out.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bench_build velmora-joincheck velmora velmora-editor-bench
bench_prepare
bench_need mpg123 mp3splt ffmpeg
JOINCHECK=$BUILD/velmora-joincheck

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

decode() { # TOOL FILE OUT
    case $1 in
    mpg123) mpg123 -q -s "$2" >"$3" ;;
    ffmpeg) ffmpeg -nostdin -v error -i "$2" -f s16le - >"$3" ;;
    esac
}

# The sheet's INDEX times in samples at 44.1 kHz; its third field is hundredths of a second.
sheet_starts() {
    sed -n 's/.*INDEX 01 \([0-9]*\):\([0-9]*\):\([0-9]*\).*/\1 \2 \3/p' "$1" |
        awk '{ printf "%d\n", int(($1 * 60000 + $2 * 1000 + $3 * 10) * 44100 / 1000 + 0.5) }'
}

# The same sheet for mp3splt, which reads the third field as CD frames (1/75 s), and its starts.
cd_sheet() {
    awk '/INDEX 01/ { split($3, t, ":"); $0 = sprintf("    INDEX 01 %02d:%02d:%02d", t[1], t[2],
        int(t[3] * 75 / 100 + 0.5)) } { print }' "$1"
}
cd_sheet_starts() {
    sed -n 's/.*INDEX 01 \([0-9]*\):\([0-9]*\):\([0-9]*\).*/\1 \2 \3/p' "$1" |
        awk '{ printf "%d\n", int((($1 * 60 + $2) * 75 + $3) * 44100 / 75 + 0.5) }'
}

# join_check TITLE STARTS_FILE TRACK_DIR: every track decoded by both decoders, then compared.
join_check() {
    local title=$1 starts=$2 dir=$3 tool
    for tool in mpg123 ffmpeg; do
        local args=()
        local k=0
        mapfile -t tracks < <(ls "$dir"/*.mp3 | sort -V)
        mapfile -t at <"$starts"
        for t in "${tracks[@]}"; do
            decode "$tool" "$t" "$t.$tool.raw"
            args+=("${at[$k]}" "$t.$tool.raw")
            k=$((k + 1))
        done
        echo "-- $title, decoded by $tool" | tee -a "$RESULTS/summary.txt"
        "$JOINCHECK" 2 "$WORK/source.$tool.raw" "${args[@]}" | tail -n 2 | tee -a "$RESULTS/summary.txt"
        rm -f "$dir"/*.raw
    done
}

# timings NAME MP3: the exact Save As beside cp, the split beside mp3splt -c (its sheet in
# $WORK/cd.cue). The editor's Save As writes a file it has analysed when it was opened. The
# command line's `save -o` must analyse the whole file before it can finish: the analysis alone
# (the dry run) and cp run beside it as two processes show its floor, which it approaches by
# copying on the second core while the scan runs.
timings() {
    local name=$1 mp3=$2
    mkdir -p "$WORK/out"
    local config
    config=$(mktemp -d)
    QT_QPA_PLATFORM=offscreen VELMORA_CONFIG_DIR=$config XDG_RUNTIME_DIR=$config \
        "$BUILD/velmora-editor-bench" saveas "$mp3" "$WORK/out/w.mp3" "$CLI" "$BENCH_RUNS" \
        2>/dev/null >"$RESULTS/gapless-window-$name.txt"
    rm -rf "$config"
    # Its files' write-back, done before the next timings.
    sync
    echo "== exact Save As trimming 30 s at each end through the window, $name" |
        tee -a "$RESULTS/summary.txt"
    awk '$1 == "window-save-as" { s = $3 } $1 == "cp" { c = $3 } END {
        printf "  window     median %8.1f ms\n  cp         median %8.1f ms  window/cp %5.2f  target <= 1.5: %s\n",
            s, c, s / c, s <= 1.5 * c ? "met" : "MISSED" }' "$RESULTS/gapless-window-$name.txt" |
        tee -a "$RESULTS/summary.txt"
    BENCH_PREPARE="rm -rf '$WORK/out' && mkdir -p '$WORK/out'" \
        compare "exact velmora-cli save -o trimming 30 s at each end, $name" \
        exact "$CLI save --defaults '$mp3' -o '$WORK/out/v.mp3' --begin 30s --end 30s" - \
        cp "cp '$mp3' '$WORK/out/c.mp3'" - \
        frame-cut "$CLI save --defaults --option CheckBoxExactCut=0 '$mp3' -o '$WORK/out/f.mp3' --begin 30s --end 30s" - \
        analysis "$CLI save --defaults '$mp3' -o '$WORK/out/d.mp3' --begin 30s --end 30s --dry-run" - \
        cp+analysis "cp '$mp3' '$WORK/out/c.mp3' & $CLI save --defaults '$mp3' -o '$WORK/out/d.mp3' --begin 30s --end 30s --dry-run >/dev/null; wait" -
    mkdir -p "$WORK/splt"
    BENCH_PREPARE="rm -rf '$WORK/$name' '$WORK/splt' && mkdir -p '$WORK/splt'" \
        compare "exact split by the sheet, $name" \
        split "$CLI split --defaults '$mp3'" - \
        mp3splt "mp3splt -q -f -c '$WORK/cd.cue' -d '$WORK/splt' '$mp3'" 0.5
    rm -rf "$WORK/$name" "$WORK/splt" "$WORK/out"
}

# join_tests NAME MP3 SHEET: velmora-cli split (exact and not) and mp3splt -c (with and without
# -b), each track decoded by both decoders and joined.
join_tests() {
    local name=$1 mp3=$2 sheet=$3 tool flags
    echo "== join test $name: $(grep -c TRACK "$sheet") tracks" | tee -a "$RESULTS/summary.txt"
    for tool in mpg123 ffmpeg; do
        decode "$tool" "$mp3" "$WORK/source.$tool.raw"
    done

    sheet_starts "$sheet" >"$WORK/starts"
    "$CLI" split --defaults "$mp3" >/dev/null 2>"$WORK/split.log"
    grep warning "$WORK/split.log" || true
    join_check "velmora-cli split" "$WORK/starts" "$WORK/$name"
    rm -rf "$WORK/$name"

    "$CLI" split --defaults --option CheckBoxExactCut=0 "$mp3" >/dev/null 2>&1
    join_check "velmora-cli split, exact cut off" "$WORK/starts" "$WORK/$name"
    rm -rf "$WORK/$name"

    cd_sheet_starts "$WORK/cd.cue" >"$WORK/cd-starts"
    for flags in "" "-b"; do
        mkdir -p "$WORK/splt"
        # shellcheck disable=SC2086
        mp3splt -q -f $flags -c "$WORK/cd.cue" -d "$WORK/splt" -o '@n' "$mp3" >/dev/null 2>&1
        join_check "mp3splt -c $flags" "$WORK/cd-starts" "$WORK/splt"
        rm -rf "$WORK/splt"
    done
    rm -f "$WORK"/source.*.raw
}

for f in "$HOUR_VBR" "$HOUR_CBR"; do
    name=$(basename "$f" .mp3)
    cp "$f" "$WORK/$name.mp3"
    mp3=$WORK/$name.mp3
    "$CLI" cue --defaults "$mp3" >/dev/null 2>&1
    sheet=$WORK/$name.cue
    cd_sheet "$sheet" >"$WORK/cd.cue"
    [ "${BENCH_GAPLESS_JOIN:-1}" = 0 ] || join_tests "$name" "$mp3" "$sheet"
    timings "$name" "$mp3"
    rm -f "$mp3" "$sheet"
done
