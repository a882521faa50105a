#!/usr/bin/env bash
# Every test: the normal build's test programs, the sanitizer build of the core, and short
# fuzz runs of the parsers.
set -euo pipefail
cd "$(dirname "$0")/.."
FUZZ_SECONDS=${FUZZ_SECONDS:-60}

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
ctest --test-dir build --output-on-failure -j2

echo "== sanitizer build (address, undefined)"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELMORA_SANITIZE=ON -DVELMORA_BUILD_GUI=OFF >/dev/null
cmake --build build-asan --target velmora_engine_tests velmora_settings_tests
for t in velmora_settings_tests velmora_engine_tests; do
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ./build-asan/tests/$t --gtest_brief=1
done

if command -v clang++ >/dev/null; then
  echo "== fuzzing (${FUZZ_SECONDS}s per target)"
  CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVELMORA_FUZZ=ON -DVELMORA_BUILD_TESTS=ON -DVELMORA_SANITIZE=ON -DVELMORA_BUILD_GUI=OFF >/dev/null
  for src in tests/fuzz/*.cpp; do
    [ -e "$src" ] || continue
    name=$(basename "$src" .cpp)
    cmake --build build-fuzz --target "$name"
    corpus=build-fuzz/corpus-$name
    mkdir -p "$corpus"
    seeds=tests/data/fuzz/$name
    [ -d "$seeds" ] || seeds=
    ./build-fuzz/tests/"$name" -max_total_time="$FUZZ_SECONDS" -rss_limit_mb=2048 \
      -artifact_prefix=build-fuzz/ "$corpus" $seeds 2>&1 | tail -n 3
  done
fi
echo "all tests passed"
