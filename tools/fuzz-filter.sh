#!/bin/sh
# Builds the filter/pattern fuzzer with clang in build-fuzz/ and runs it for SECONDS (default 60).
# Exits non-zero when the fuzzer finds a crash or a violated check; the input is kept in
# build-fuzz/fuzz-artifacts/.
set -eu

seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-fuzz"

if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja \
    -DVELOSTOK_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
fi
cmake --build "$build" --target fuzz_filter -j 2

corpus="$build/fuzz-corpus"
artifacts="$build/fuzz-artifacts"
mkdir -p "$corpus" "$artifacts"

# The first directory collects new inputs; the seeds in the source tree stay as they are.
exec "$build/tests/fuzz/fuzz_filter" \
  -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
  -dict="$root/tests/fuzz/filter.dict" -artifact_prefix="$artifacts/" -print_final_stats=1 \
  "$corpus" "$root/tests/fuzz/corpus"
