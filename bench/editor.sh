#!/usr/bin/env bash
# The editor's start-up, offscreen: (a) to an idle window with no file, (b) with the CBR hour
# until its information is shown, beside `velmora-cli info` on the same file; the longest
# wait of the event loop while the 16-hour file opens; Save As of the CBR hour through the window
# beside `cp` and `velmora-cli save -o`; a trim change to the refreshed space display on 16 hours;
# the "[" key to the first PCM the sink takes, for a 5-second clip in the middle of the CBR hour,
# through a PulseAudio server of our own with a null sink (skipped without pulseaudio); the
# waveform: its overview's delay after the information and its refinement beside `mpg123 -t` on
# the CBR hour, the event loop's longest wait while 16 hours are refined, its bytes per frame.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
# The editor lives in the same Release tree as the command line.
bench_build velmora velmora-editor-bench
bench_prepare
EDITOR=$BUILD/velmora
export QT_QPA_PLATFORM=offscreen
config=$(mktemp -d)
runtime=$(mktemp -d)
chmod 700 "$runtime"
work=$(mktemp -d)
trap 'rm -rf "$config" "$runtime" "$work"' EXIT
export VELMORA_CONFIG_DIR=$config XDG_RUNTIME_DIR=$runtime

median_ms() { # TITLE NAME: the median of NAME in the section TITLE, in ms
    local slug
    slug=$(echo "$1" | tr -c 'A-Za-z0-9\n' '-' | tr -s '-' | sed 's/-$//')
    awk -F, -v n="$2" '$1 == n { printf "%.1f", $4 * 1000 }' "$RESULTS/$slug.csv"
}

idle="editor start-up to an idle window"
compare "$idle" start "$EDITOR --quit-when-idle" -
hour="editor start-up with the CBR hour ($(bench_size_mb "$HOUR_CBR"))"
compare "$hour" open "$EDITOR --quit-when-idle '$HOUR_CBR'" - \
    info "$CLI info '$HOUR_CBR'" -

a=$(median_ms "$idle" start)
b=$(median_ms "$hour" open)
info=$(median_ms "$hour" info)

# The longest wait of the event loop while the 16-hour file opens, the median of three runs.
long=$(bench_long_file 16)
gap=$(for _ in 1 2 3; do
    "$EDITOR" --quit-when-idle --timing "$long" 2>&1 >/dev/null |
        sed -n 's/.*longest event-loop wait: \([0-9]*\) ms.*/\1/p'
done | sort -n | sed -n 2p)

# Save As with 30 s trimmed at each end: the window holds the analysis, so only the writing counts;
# the command line pays for the analysis too.
"$BUILD/velmora-editor-bench" saveas "$HOUR_CBR" "$work/out.mp3" "$CLI" "$BENCH_RUNS" \
    >"$RESULTS/editor-save-as.txt"
bench_field() { awk -v n="$1" '$1 == n { print $3 }' "$2"; }
save=$(bench_field window-save-as "$RESULTS/editor-save-as.txt")
copy=$(bench_field cp "$RESULTS/editor-save-as.txt")
cli=$(bench_field cli-save-o "$RESULTS/editor-save-as.txt")
"$BUILD/velmora-editor-bench" trim "$long" 200 >"$RESULTS/editor-trim.txt"
trim=$(bench_field trim-change-to-space-display "$RESULTS/editor-trim.txt")
# The waveform: three opens of the hour, one of the 16 hours.
"$BUILD/velmora-editor-bench" waveform "$HOUR_CBR" 3 >"$RESULTS/editor-waveform-hour.txt"
"$BUILD/velmora-editor-bench" waveform "$long" 1 >"$RESULTS/editor-waveform-long.txt"
overview=$(bench_field overview-after-information "$RESULTS/editor-waveform-hour.txt")
refine=$(bench_field refinement "$RESULTS/editor-waveform-hour.txt")
tool=$(bench_field mpg123-t "$RESULTS/editor-waveform-hour.txt")
refineGap=$(bench_field event-loop-longest-wait "$RESULTS/editor-waveform-long.txt")
perFrame=$(awk '$1 == "bytes-per-frame" { print $2 }' "$RESULTS/editor-waveform-long.txt")
preview=-
if command -v pulseaudio >/dev/null; then
    HOME=$runtime pulseaudio --daemonize=no --exit-idle-time=-1 -n --disable-shm=true \
        --load="module-null-sink sink_name=velmora_null rate=44100 channels=2" \
        --load="module-native-protocol-unix auth-anonymous=1 socket=$runtime/pulse.socket" \
        2>/dev/null &
    pulse=$!
    for _ in $(seq 100); do
        [ -S "$runtime/pulse.socket" ] && break
        sleep 0.1
    done
    PULSE_SERVER=unix:$runtime/pulse.socket "$BUILD/velmora-editor-bench" preview "$HOUR_CBR" \
        "$BENCH_RUNS" >"$RESULTS/editor-preview.txt"
    kill "$pulse"
    wait "$pulse" 2>/dev/null || true
    preview=$(bench_field preview-key-to-first-pcm "$RESULTS/editor-preview.txt")
fi

{
    echo "== editor targets"
    awk -v s="$save" -v c="$copy" -v l="$cli" -v t="$trim" -v p="$preview" 'BEGIN {
        printf "  Save As of the hour through the window %.1f ms, cp %.1f ms, velmora-cli save -o %.1f ms:\n", s, c, l
        printf "    window/cp %.2f (target <= 1.2: %s)\n", s / c, s <= 1.2 * c ? "met" : "MISSED"
        printf "  trim change to the space display on 16 hours: %.2f ms (target <= 5: %s)\n", t,
            t <= 5 ? "met" : "MISSED"
        if (p == "-")
            printf "  \"[\" to the first PCM: not measured (pulseaudio is not installed)\n"
        else
            printf "  \"[\" to the first PCM, 5 s clip in the hour: %.2f ms (target <= 50: %s)\n", p,
                p <= 50 ? "met" : "MISSED"
    }'
    awk -v o="$overview" -v r="$refine" -v t="$tool" -v g="$refineGap" -v m="$perFrame" 'BEGIN {
        printf "  waveform overview after the information, hour: %.1f ms (target <= 50: %s)\n", o,
            o <= 50 ? "met" : "MISSED"
        printf "  waveform refinement of the hour %.0f ms, mpg123 -t %.0f ms: %.2f (target <= 1.2: %s)\n",
            r, t, r / t, r <= 1.2 * t ? "met" : "MISSED"
        printf "  longest event-loop wait refining 16 hours: %.1f ms (target <= 50: %s)\n", g,
            g <= 50 ? "met" : "MISSED"
        printf "  waveform memory: %.1f bytes per frame (target <= 16: %s)\n", m,
            m <= 16 ? "met" : "MISSED"
    }'
    awk -v a="$a" -v b="$b" -v i="$info" -v g="$gap" 'BEGIN {
        printf "  (a) idle window %.1f ms (target <= 250: %s)\n", a, a <= 250 ? "met" : "MISSED"
        printf "  (b) with the hour %.1f ms; info %.1f + (a) %.1f + 50 = %.1f (%s)\n", b, i, a,
            i + a + 50, b <= i + a + 50 ? "met" : "MISSED"
        printf "  longest event-loop wait opening 16 hours: %d ms (target <= 50: %s)\n", g,
            g <= 50 ? "met" : "MISSED"
    }'
} | tee -a "$RESULTS/summary.txt"
