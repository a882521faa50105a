#!/usr/bin/env bash
# The preview's start and the media-player poll, timed inside velmora-preview-bench: from the "["
# request for a 5-second clip in the middle of the 60-minute CBR file to the first PCM the sound
# output takes (target <= 50 ms, median), through a private PulseAudio server with a null sink;
# and the calling thread's CPU time for one MPRIS poll while mpv (with mpv-mpris) is paused on a
# private session bus (target <= 2 ms, median).
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bench_prepare
bench_need pulseaudio dbus-daemon mpv

ninja -C "$BUILD" velmora-preview-bench >/dev/null
DRIVER=$BUILD/velmora-preview-bench
RUNS=${BENCH_RUNS:-10}
WORK=$(mktemp -d)
chmod 700 "$WORK"
PIDS=()
cleanup() {
    for p in "${PIDS[@]}"; do
        kill "$p" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT

# A sound server of our own with one null sink.
XDG_RUNTIME_DIR=$WORK HOME=$WORK pulseaudio --daemonize=no --exit-idle-time=-1 -n \
    --disable-shm=true --log-level=0 \
    --load="module-null-sink sink_name=velmora_null rate=44100 channels=2" \
    --load="module-native-protocol-unix auth-anonymous=1 socket=$WORK/pulse.socket" 2>/dev/null &
PIDS+=($!)
for _ in $(seq 100); do
    [ -S "$WORK/pulse.socket" ] && break
    sleep 0.1
done

# A session bus of our own with mpv paused at one minute on it.
BUS=$(dbus-daemon --session --fork --print-address=1 --print-pid=1 | {
    read -r address
    read -r pid
    echo "$address $pid"
})
PIDS+=("${BUS#* }")
BUS=${BUS% *}
PLUGIN=/usr/lib/mpv-mpris/mpris.so
[ -f "$PLUGIN" ] || PLUGIN=/etc/mpv/scripts/mpris.so
DBUS_SESSION_BUS_ADDRESS=$BUS HOME=$WORK mpv --no-config --script="$PLUGIN" --no-video \
    --ao=null --pause --start=60 --no-terminal "$HOUR_CBR" >/dev/null 2>&1 &
PIDS+=($!)
sleep 2

target() { # NAME TARGET_MS: the driver's line for NAME with the target verdict
    awk -v n="$1" -v t="$2" '$1 == n {
        line = sprintf("  %-28s median %6.2f ms (min %.2f, max %.2f)", $1, $3, $6, $9)
        if (t != "-")
            line = line sprintf("  target <= %s ms: %s", t, ($3 <= t ? "met" : "MISSED"))
        print line }'
}

{
    echo "== Preview start, 5-second clip in the middle of the 60-minute CBR file ($RUNS runs)"
    PULSE_SERVER=unix:$WORK/pulse.socket "$DRIVER" clip "$HOUR_CBR" "$RUNS" >"$WORK/clip.txt"
    target clip-request-to-play-call - <"$WORK/clip.txt"
    target clip-request-to-first-pcm 50 <"$WORK/clip.txt"
    echo "== One MPRIS poll with mpv paused ($((RUNS * 5)) runs)"
    DBUS_SESSION_BUS_ADDRESS=$BUS "$DRIVER" poll $((RUNS * 5)) >"$WORK/poll.txt"
    target mpris-poll-thread-cpu 2 <"$WORK/poll.txt"
    target mpris-poll-wall - <"$WORK/poll.txt"
} | tee -a "$RESULTS/summary.txt"
