#!/usr/bin/env bash
# The README's GNU parallel recipe, with this machine as the only host ("-S :"): N shards of a
# normalising batch over a list of files. Every file is processed exactly once (a file processed
# twice would get its gain twice), the merged JSON lines are those of one run over the whole
# list, and the files end with the same bytes.
# Usage: shards-with-parallel.sh VELMORA_CLI [N]. Exit status 77 means skipped.
set -euo pipefail
cli=$(realpath "$1") shards=${2:-4}
command -v parallel >/dev/null || { echo "SKIPPED: GNU parallel is missing (parallel)"; exit 77; }
command -v lame >/dev/null || { echo "SKIPPED: lame is missing"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export VELMORA_CONFIG_DIR=$work/config
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Twelve one-second tones at different levels, some with awkward names.
mkdir -p "$work/archive/sub folder" "$work/config"
python3 -c 'import math, struct, sys
for i in range(1, 13):
    wave = (int(i * 2500 * math.sin(2 * math.pi * 440 * n / 44100)) for n in range(44100))
    with open("%s/%d.raw" % (sys.argv[1], i), "wb") as f:
        f.write(b"".join(struct.pack("<hh", v, v) for v in wave))' "$work"
for i in $(seq 1 12); do
  case $i in
  1) name="sub folder/it's $i.mp3" ;;
  2) name=$'caf\xe9 '"$i.mp3" ;;
  *) name="track $i.mp3" ;;
  esac
  # lame warns about raw input even with --quiet; its messages matter only when it fails.
  lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian -b 128 "$work/$i.raw" \
    "$work/archive/$name" 2>"$work/lame.log" || { cat "$work/lame.log"; fail "lame failed"; }
done
(cd "$work" && find archive -type f -print0) >"$work/list"
cp -a "$work/archive" "$work/original"
batch=(batch --defaults --jobs 1 --json --option CheckBoxBatchVolumeNormalize=on)

# One machine over the whole list.
(cd "$work" && "$cli" "${batch[@]}" --files-from list -0 >one.jsonl 2>one.err) ||
  { cat "$work/one.err"; fail "the single run failed"; }
mv "$work/archive" "$work/one-archive"
cp -a "$work/original" "$work/archive"

# The recipe: one job per shard, the merged output on standard output.
(cd "$work" && seq 1 "$shards" | parallel --will-cite -S : -j 2 \
  "'$cli' ${batch[*]} --files-from list -0 --shard {}/$shards" >merged.jsonl 2>merged.err) ||
  { cat "$work/merged.err"; fail "a shard failed"; }

count=$(wc -l <"$work/one.jsonl")
[ "$count" -eq 12 ] || fail "the single run reported $count files, not 12"
processed=$(grep -o '"file": "[^"]*"' "$work/merged.jsonl" | sort | uniq -c | awk '$1 == 1' | wc -l)
[ "$processed" -eq 12 ] || fail "$processed of 12 files were processed exactly once by the shards"
grep -q '"gainSteps": -\?[1-9]' "$work/one.jsonl" || fail "the batch changed no file's gain"
diff <(sort "$work/one.jsonl") <(sort "$work/merged.jsonl") ||
  fail "the shards' merged JSON differs from the single run's"
diff -r "$work/one-archive" "$work/archive" || fail "the files differ from the single run's"
echo "$shards shards: 12 files, each processed once, the same JSON and bytes as one run"
