#!/usr/bin/env bash
# Shared by the benchmark sections: the Release build, the material, and `compare`.
# A section sources this file, calls bench_prepare, then uses $CLI, $HOUR_CBR, $HOUR_VBR.

BENCH_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ROOT=$(cd "$BENCH_DIR/.." && pwd)
BUILD=${BENCH_BUILD:-$ROOT/build-bench}
MATERIAL=$BENCH_DIR/.material
RESULTS=$BUILD/bench-results
BENCH_RUNS=${BENCH_RUNS:-10}
CLI=$BUILD/velmora-cli
MAKEPCM=$BUILD/velmora-makepcm
HOUR_CBR=$MATERIAL/hour-cbr128.mp3
HOUR_VBR=$MATERIAL/hour-vbr-V2.mp3
LAME_RAW=(lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian)

bench_need() {
    local missing=()
    for p in "$@"; do
        command -v "$p" >/dev/null || missing+=("$p")
    done
    if ((${#missing[@]})); then
        echo "bench: missing programs: ${missing[*]} (see README.md, Benchmarks)" >&2
        exit 2
    fi
}

# BENCH_SKIP_BUILD=1 times the binaries already in $BUILD (say, while the tree does not build).
# Arguments name more targets to build beside the command line (the editor, a bench driver).
bench_build() {
    if [ "${BENCH_SKIP_BUILD:-0}" = 1 ] && [ -x "$CLI" ] && [ -x "$MAKEPCM" ]; then
        return
    fi
    if [ ! -f "$BUILD/build.ninja" ]; then
        cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release \
            -DVELMORA_BUILD_TESTS=OFF >/dev/null
    fi
    local log
    log=$(ninja -j2 -C "$BUILD" velmora-cli velmora-makepcm "$@" 2>&1) || {
        echo "$log" >&2
        exit 1
    }
}

# The material depends on the PCM generator and the encoder; a change of either remakes it.
bench_material_stamp() {
    { sha256sum "$BENCH_DIR/MakePcm.cpp"; lame --version | head -n 1; } | sha256sum | cut -c1-16
}

# The 60-minute, 12-track recording, encoded once as CBR 128 kbit/s and as VBR -V 2 in one pass
# of the generator.
bench_material() {
    mkdir -p "$MATERIAL"
    local stamp
    stamp=$(bench_material_stamp)
    if [ -f "$HOUR_CBR" ] && [ -f "$HOUR_VBR" ] && [ "$(cat "$MATERIAL/stamp" 2>/dev/null)" = "$stamp" ]; then
        return
    fi
    echo "bench: making the 60-minute material (a few minutes, once)" >&2
    rm -f "$MATERIAL"/*.mp3 "$MATERIAL/stamp" "$MATERIAL/pcm.fifo"
    mkfifo "$MATERIAL/pcm.fifo"
    "${LAME_RAW[@]}" -b 128 - "$HOUR_CBR.part" <"$MATERIAL/pcm.fifo" 2>/dev/null &
    local cbrPid=$!
    "$MAKEPCM" hour - | tee "$MATERIAL/pcm.fifo" | "${LAME_RAW[@]}" -V 2 - "$HOUR_VBR.part" 2>/dev/null
    wait "$cbrPid"
    rm -f "$MATERIAL/pcm.fifo"
    mv "$HOUR_CBR.part" "$HOUR_CBR"
    mv "$HOUR_VBR.part" "$HOUR_VBR"
    echo "$stamp" >"$MATERIAL/stamp"
}

# The byte length of the MPEG-1 Layer III frame at the start of FILE (the material's own files).
bench_first_frame_length() {
    local b2 rates=(0 32 40 48 56 64 80 96 112 128 160 192 224 256 320 0)
    b2=$(od -An -tu1 -j2 -N1 "$1" | tr -d ' ')
    echo $((144000 * ${rates[$((b2 >> 4))]} / 44100 + ((b2 >> 1) & 1)))
}

# HOURS copies of the CBR hour's audio frames (its leading Info frame left out), made once.
bench_long_file() {
    local hours=$1 out=$MATERIAL/long-${1}h-cbr128.mp3
    if [ ! -f "$out" ] || [ "$out" -ot "$HOUR_CBR" ]; then
        local skip
        skip=$(bench_first_frame_length "$HOUR_CBR")
        tail -c +$((skip + 1)) "$HOUR_CBR" >"$MATERIAL/hour-frames.tmp"
        : >"$out.part"
        for ((i = 0; i < hours; i++)); do
            cat "$MATERIAL/hour-frames.tmp" >>"$out.part"
        done
        rm -f "$MATERIAL/hour-frames.tmp"
        mv "$out.part" "$out"
    fi
    echo "$out"
}

bench_prepare() {
    bench_need cmake ninja lame hyperfine
    bench_build
    bench_material
    mkdir -p "$RESULTS"
}

bench_size_mb() {
    awk -v b="$(stat -c %s "$1")" 'BEGIN { printf "%.1f MB", b / 1e6 }'
}

# compare TITLE NAME COMMAND - [NAME COMMAND MAX_RATIO]...
# Times the subject (first triple) and its peers in one hyperfine run (warm cache, 2 warm-up
# runs, $BENCH_RUNS runs each) and prints every median and subject/peer with its target. The
# mean CPU time (user + system) beside it tells how much a busy machine inflated the medians.
# BENCH_PREPARE, when set, runs before every timed run (hyperfine --prepare), untimed.
compare() {
    local title=$1
    shift
    local slug args=() names=() targets=()
    slug=$(echo "$title" | tr -c 'A-Za-z0-9\n' '-' | tr -s '-' | sed 's/-$//')
    while (($#)); do
        names+=("$1")
        args+=(--command-name "$1" "$2")
        targets+=("$3")
        shift 3
    done
    # hyperfine's warnings about outliers go to a log; a failing command still stops the run.
    local prepare=()
    [ -n "${BENCH_PREPARE:-}" ] && prepare=(--prepare "$BENCH_PREPARE")
    if ! hyperfine --style none --warmup 2 --runs "$BENCH_RUNS" "${prepare[@]}" --export-json "$RESULTS/$slug.json" \
        --export-csv "$RESULTS/$slug.csv" "${args[@]}" >/dev/null 2>"$RESULTS/$slug.log"; then
        cat "$RESULTS/$slug.log" >&2
        exit 1
    fi
    echo "== $title" | tee -a "$RESULTS/summary.txt"
    awk -F, -v targets="${targets[*]}" '
        NR == 1 { next }
        { name[NR - 1] = $1; median[NR - 1] = $4; cpu[NR - 1] = $5 + $6; n = NR - 1 }
        END {
            split(targets, t, " ")
            for (i = 1; i <= n; i++) {
                line = sprintf("  %-10s median %8.1f ms  (cpu %7.1f ms)", name[i], median[i] * 1000, cpu[i] * 1000)
                if (i > 1) {
                    ratio = median[1] / median[i]
                    line = line sprintf("  %s/%s %5.2f (cpu %5.2f)", name[1], name[i], ratio, cpu[1] / cpu[i])
                    if (t[i] != "-")
                        line = line sprintf("  target <= %s: %s", t[i], ratio <= t[i] ? "met" : "MISSED")
                }
                print line
            }
        }' "$RESULTS/$slug.csv" | tee -a "$RESULTS/summary.txt"
}

# The 12 tracks split from the CBR hour by its own gap search, into DIR/tracks (DIR is a scratch
# folder the caller removes).
bench_hour_tracks() {
    local dir=$1
    cp "$HOUR_CBR" "$dir/hour.mp3"
    "$CLI" cue --defaults "$dir/hour.mp3" >/dev/null 2>&1
    "$CLI" split --defaults "$dir/hour.mp3" >/dev/null 2>&1
    mkdir "$dir/tracks"
    mv "$dir/hour/"*.mp3 "$dir/tracks/"
}
