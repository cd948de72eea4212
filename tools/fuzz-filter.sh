#!/bin/sh
# Fuzzes the filter/pattern parser for SECONDS (default 60); see tools/fuzz.sh.
root=$(cd "$(dirname "$0")/.." && pwd)
exec "$root/tools/fuzz.sh" fuzz_filter "${1:-60}" "$root/tests/fuzz/corpus" \
  -max_len=4096 -dict="$root/tests/fuzz/filter.dict"
