#!/bin/sh
# Cuts the power again and again for MS milliseconds (default 300000, five minutes) and checks the
# file after each cut, as the test command does for five seconds; SEED repeats a run.
#   tools/powerloss.sh [MS [SEED]]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cmake --build "$root/build" --target tst_powerloss
VELOSTOK_POWERLOSS_MS=${1:-300000}
export VELOSTOK_POWERLOSS_MS
# QtTest ends a test function after five minutes unless told otherwise.
QTEST_FUNCTION_TIMEOUT=$((VELOSTOK_POWERLOSS_MS + 600000))
export QTEST_FUNCTION_TIMEOUT
if [ -n "${2:-}" ]; then VELOSTOK_POWERLOSS_SEED=$2; export VELOSTOK_POWERLOSS_SEED; fi
exec "$root/build/tests/tst_powerloss" randomCuts
