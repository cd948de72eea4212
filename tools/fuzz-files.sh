#!/bin/sh
# Builds the fuzzer of the small text files' readers and the export statement (settings file,
# caption file, export statement) with clang in build-fuzz/ and runs it for SECONDS (default 30).
# Exits non-zero when it finds a crash or a violated check; the input is kept in
# build-fuzz/fuzz-files-artifacts/.
set -eu

seconds=${1:-30}
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-fuzz"

if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja \
    -DVELOSTOK_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
fi
cmake --build "$build" --target fuzz_files -j 2

corpus="$build/fuzz-files-corpus"
artifacts="$build/fuzz-files-artifacts"
mkdir -p "$corpus" "$artifacts"

exec "$build/tests/fuzz/fuzz_files" \
  -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
  -artifact_prefix="$artifacts/" -print_final_stats=1 \
  "$corpus" "$root/tests/fuzz/files-corpus"
