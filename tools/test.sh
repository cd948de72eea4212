#!/usr/bin/env bash
# Sets up, builds and runs every test; then fuzzes the filter parser for a bounded time
# (VELOSTOK_FUZZ_SECONDS, default 60; 0 skips it).
set -eu
src=$(cd "$(dirname "$0")/.." && pwd)
"$src/tools/install-deps.sh"
[ -f "$src/build/build.ninja" ] || cmake -S "$src" -B "$src/build" -G Ninja >/dev/null
cmake --build "$src/build"
ctest --test-dir "$src/build" --output-on-failure
secs=${VELOSTOK_FUZZ_SECONDS:-60}
if [ "$secs" != 0 ] && [ -x "$src/tools/fuzz-filter.sh" ]; then
  "$src/tools/fuzz-filter.sh" "$secs"
fi
