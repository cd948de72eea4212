#!/bin/sh
# Kills the crash driver KILLS times (default 300) at random moments and checks the file after
# each kill, as the test command does 30 times; SEED repeats a run.
#   tools/crashes.sh [KILLS [SEED]]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cmake --build "$root/build" --target tst_crashes crashdriver
VELOSTOK_KILLS=${1:-300}
export VELOSTOK_KILLS
if [ -n "${2:-}" ]; then VELOSTOK_CRASH_SEED=$2; export VELOSTOK_CRASH_SEED; fi
exec "$root/build/tests/tst_crashes"
