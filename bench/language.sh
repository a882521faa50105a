#!/usr/bin/env bash
# Applying a complete language file (the shipped German one) to every window at start-up,
# offscreen: the median of the editor's own measurement over $BENCH_RUNS starts.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bench_build velmora
export QT_QPA_PLATFORM=offscreen
work=$(mktemp -d)
runtime=$(mktemp -d)
chmod 700 "$runtime"
trap 'rm -rf "$work" "$runtime"' EXIT
export VELMORA_CONFIG_DIR=$work XDG_RUNTIME_DIR=$runtime
cp "$ROOT/languages/German.Velmora.ini" "$work/"
mkdir -p "$RESULTS"
times=$(for _ in $(seq "$BENCH_RUNS"); do
    (cd "$work" && "$BUILD/velmora" --quit-when-idle --timing 2>&1 >/dev/null) |
        sed -n 's/^language German: \([0-9.]*\) ms$/\1/p'
done | sort -n)
count=$(echo "$times" | grep -c .)
median=$(echo "$times" | awk -v n="$count" '{ v[NR] = $1 } END {
    if (n % 2) print v[(n + 1) / 2]; else printf "%.2f", (v[n / 2] + v[n / 2 + 1]) / 2 }')
{
    echo "== language file"
    awk -v m="$median" -v n="$count" 'BEGIN {
        printf "  applying German.Velmora.ini to every window: median %.2f ms of %d starts " \
            "(target <= 20: %s)\n", m, n, m <= 20 ? "met" : "MISSED"
    }'
} | tee -a "$RESULTS/summary.txt"
