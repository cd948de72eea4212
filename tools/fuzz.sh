#!/bin/sh
# Builds one libFuzzer target with clang in build-fuzz/ and runs it for SECONDS over its seeds.
#   tools/fuzz.sh TARGET SECONDS SEEDS_DIR [libFuzzer options...]
# Exits non-zero when the fuzzer finds a crash or a violated check; the input is kept in
# build-fuzz/TARGET-artifacts/.
set -eu

target=$1; seconds=$2; seeds=$3; shift 3
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-fuzz"

if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja \
    -DVELOSTOK_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
fi
cmake --build "$build" --target "$target" -j 2

corpus="$build/$target-corpus"
artifacts="$build/$target-artifacts"
mkdir -p "$corpus" "$artifacts"

# The first directory collects new inputs; the seeds in the source tree stay as they are.
exec "$build/tests/fuzz/$target" \
  -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$artifacts/" -print_final_stats=1 "$@" \
  "$corpus" "$seeds"
