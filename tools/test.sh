#!/usr/bin/env bash
# Sets up, builds and runs every test. Before the tests it fuzzes the filter parser for a bounded
# time (VELOSTOK_FUZZ_SECONDS, default 30; 0 skips it), then the files' readers (delimited text,
# xlsx, ods, xls), the export statement and the row paste's text for as long; the logs go to build-fuzz/fuzz.log and
# build-fuzz/fuzz-files.log. The PostgreSQL tests run on a throwaway server in build/pg.
set -eu
src=$(cd "$(dirname "$0")/.." && pwd)
"$src/tools/install-deps.sh"
[ -f "$src/build/build.ninja" ] || cmake -S "$src" -B "$src/build" -G Ninja >/dev/null
cmake --build "$src/build"
secs=${VELOSTOK_FUZZ_SECONDS:-30}
fuzz_runs=0
# Runs of a libFuzzer log's last "Done N runs" line.
runs_of() { sed -n 's/^Done \([0-9]*\) runs.*/\1/p' "$1" | tail -n 1; }
if [ "$secs" != 0 ]; then
  mkdir -p "$src/build-fuzz"
  if "$src/tools/fuzz-filter.sh" "$secs" > "$src/build-fuzz/fuzz.log" 2>&1; then
    echo "filter fuzzing: $(grep -E '^Done [0-9]+ runs' "$src/build-fuzz/fuzz.log" || echo 'done')"
    fuzz_runs=$((fuzz_runs + $(runs_of "$src/build-fuzz/fuzz.log" || echo 0)))
  else
    tail -n 60 "$src/build-fuzz/fuzz.log"
    echo "filter fuzzing failed (log: build-fuzz/fuzz.log)"
    exit 1
  fi
  if "$src/tools/fuzz-files.sh" "$secs" > "$src/build-fuzz/fuzz-files.log" 2>&1; then
    echo "file reader fuzzing: $(grep -E '^Done [0-9]+ runs' "$src/build-fuzz/fuzz-files.log" || echo 'done')"
    fuzz_runs=$((fuzz_runs + $(runs_of "$src/build-fuzz/fuzz-files.log" || echo 0)))
  else
    tail -n 60 "$src/build-fuzz/fuzz-files.log"
    echo "file reader fuzzing failed (log: build-fuzz/fuzz-files.log)"
    exit 1
  fi
fi

# The reliability tests add their figures to this file (tests/support/Reliability.h).
VELOSTOK_RELIABILITY_LOG="$src/build/reliability.log"
export VELOSTOK_RELIABILITY_LOG
rm -f "$VELOSTOK_RELIABILITY_LOG"
status=0
# The PostgreSQL tests' server starts and stops with them (a CTest fixture); stopped here as well
# in case ctest itself was interrupted.
trap '"$src/tools/pg.sh" stop "$src/build/pg"' EXIT
ctest --test-dir "$src/build" --output-on-failure || status=$?

figure() { awk -v k="$1" '$1 == k { s += $2 } END { print s + 0 }' "$VELOSTOK_RELIABILITY_LOG" 2>/dev/null || echo 0; }
lost=$(figure lost)
echo
echo "Reliability:"
echo "  faults injected: $(figure faults), survived: $(figure survived)"
echo "  kills survived: $(figure kills)"
echo "  power cuts survived: $(figure cuts), with $(figure promised) posts promised before them"
echo "  conflicts reported to the copy that lost: $(figure conflicts)"
echo "  fuzzing runs: $fuzz_runs"
if [ "$lost" = 0 ] && [ "$status" = 0 ]; then
  echo "  nothing lost"
elif [ "$lost" != 0 ]; then
  echo "  LOST: $lost committed rows or changes (see the test output above)"
  status=1
else
  echo "  tests failed (see above)"
fi
exit "$status"
