#!/bin/sh
# Fuzzes the readers of the settings file, the caption file, the grid layout and skin files, the
# export statement, the splitting of a row paste's text and the import's readers (delimited text,
# xlsx, ods, xls) and the compatibility texts for SECONDS (default 30); see tools/fuzz.sh. Inputs up to 16 KB: room for the
# smallest workbooks.
root=$(cd "$(dirname "$0")/.." && pwd)
exec "$root/tools/fuzz.sh" fuzz_files "${1:-30}" "$root/tests/fuzz/files-corpus" -max_len=16384
