#!/usr/bin/env bash
# Sets up, builds and starts Velostok. The working folder is where "Velostok.mdb" is made.
set -eu
src=$(cd "$(dirname "$0")/.." && pwd)
"$src/tools/install-deps.sh"
[ -f "$src/build/build.ninja" ] || cmake -S "$src" -B "$src/build" -G Ninja >/dev/null
cmake --build "$src/build" --target velostok
exec "$src/build/Bin/velostok"
