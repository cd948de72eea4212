#!/usr/bin/env bash
# Sets up, builds and runs every test. Before the tests it fuzzes the filter parser for a bounded
# time (VELOSTOK_FUZZ_SECONDS, default 60; 0 skips it), then the small files' readers and the export
# statement for half that; the logs go to build-fuzz/fuzz.log and build-fuzz/fuzz-files.log.
set -eu
src=$(cd "$(dirname "$0")/.." && pwd)
"$src/tools/install-deps.sh"
[ -f "$src/build/build.ninja" ] || cmake -S "$src" -B "$src/build" -G Ninja >/dev/null
cmake --build "$src/build"
secs=${VELOSTOK_FUZZ_SECONDS:-60}
if [ "$secs" != 0 ]; then
  mkdir -p "$src/build-fuzz"
  if "$src/tools/fuzz-filter.sh" "$secs" > "$src/build-fuzz/fuzz.log" 2>&1; then
    echo "filter fuzzing: $(grep -E '^Done [0-9]+ runs' "$src/build-fuzz/fuzz.log" || echo 'done')"
  else
    tail -n 60 "$src/build-fuzz/fuzz.log"
    echo "filter fuzzing failed (log: build-fuzz/fuzz.log)"
    exit 1
  fi
  if "$src/tools/fuzz-files.sh" "$((secs / 2))" > "$src/build-fuzz/fuzz-files.log" 2>&1; then
    echo "file reader fuzzing: $(grep -E '^Done [0-9]+ runs' "$src/build-fuzz/fuzz-files.log" || echo 'done')"
  else
    tail -n 60 "$src/build-fuzz/fuzz-files.log"
    echo "file reader fuzzing failed (log: build-fuzz/fuzz-files.log)"
    exit 1
  fi
fi
ctest --test-dir "$src/build" --output-on-failure
