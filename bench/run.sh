#!/usr/bin/env bash
# Runs benchmark sections: bench/run.sh [SECTION...], where SECTION is bench/SECTION.sh
# (for example "info"); without arguments every section runs. Set BENCH_RUNS (default 10) for
# more runs per command. The material is made once into bench/.material.
set -euo pipefail
BENCH_DIR=$(cd "$(dirname "$0")" && pwd)
source "$BENCH_DIR/lib.sh"

sections=("$@")
if ((${#sections[@]} == 0)); then
    for f in "$BENCH_DIR"/*.sh; do
        name=$(basename "$f" .sh)
        [ "$name" = lib ] || [ "$name" = run ] || sections+=("$name")
    done
fi
for s in "${sections[@]}"; do
    if [ ! -f "$BENCH_DIR/$s.sh" ] || [ "$s" = lib ] || [ "$s" = run ]; then
        echo "bench: no section \"$s\"" >&2
        exit 2
    fi
done

bench_prepare
rm -f "$RESULTS/summary.txt"
for s in "${sections[@]}"; do
    bash "$BENCH_DIR/$s.sh"
done
echo "(hyperfine JSON and the summary are in $RESULTS)"
