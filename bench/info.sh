#!/usr/bin/env bash
# velmora-cli info beside cat and mp3val on the hour files, and the frame table's memory on a
# 16-hour file.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bench_prepare
bench_need mp3val /usr/bin/time

for f in "$HOUR_CBR" "$HOUR_VBR"; do
    compare "info $(basename "$f") ($(bench_size_mb "$f"))" \
        info "$CLI info '$f'" - \
        cat "cat '$f' > /dev/null" 2 \
        mp3val "mp3val '$f'" 1
done

# Peak resident set in KiB of `velmora-cli info FILE`, the median of three runs.
peak_rss_kib() {
    for _ in 1 2 3; do
        /usr/bin/time -f %M "$CLI" info "$1" 2>&1 >/dev/null | tail -n 1
    done | sort -n | sed -n 2p
}

# The scan reads the file through a small buffer and the mapping is touched only at the file's
# ends, so the peak resident set does not hold the file: what a 16-hour run holds beyond a
# small file's run is the frame table.
long=$(bench_long_file 16)
small=$MATERIAL/small-1MB.mp3
[ -f "$small" ] || head -c 1000000 "$HOUR_CBR" >"$small"
frames=$("$CLI" info --json "$long" | sed -n 's/.*"frames": \([0-9]*\).*/\1/p')
longSize=$(stat -c %s "$long")
longPeak=$(peak_rss_kib "$long")
smallPeak=$(peak_rss_kib "$small")
{
    echo "== memory: info on 16 hours ($(bench_size_mb "$long"), $frames frames)"
    awk -v lp="$longPeak" -v sp="$smallPeak" -v ls="$longSize" -v n="$frames" '
        BEGIN {
            extra = (lp - sp) * 1024
            printf "  peak RSS %.1f MiB, file %.1f MiB, small-file run %.1f MiB\n", lp / 1024, ls / 1048576, sp / 1024
            printf "  beyond the small-file run: %.1f MiB = %.1f bytes per frame (target <= 32: %s)\n",
                extra / 1048576, extra / n, extra / n <= 32 ? "met" : "MISSED"
        }'
} | tee -a "$RESULTS/summary.txt"
