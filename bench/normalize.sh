#!/usr/bin/env bash
# velmora-cli normalize (every frame decoded and measured) beside mpg123 decoding to nothing.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bench_prepare
bench_need mpg123

for f in "$HOUR_CBR" "$HOUR_VBR"; do
    compare "normalize $(basename "$f") ($(bench_size_mb "$f"))" \
        normalize "$CLI normalize --defaults '$f'" - \
        mpg123 "mpg123 -t -q '$f'" 1.2
done
