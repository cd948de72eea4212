#!/bin/sh
# Runs a test program on a virtual X display of its own, on Qt's xcb platform: keys then carry
# the text a real keyboard gives them. Usage: on-xvfb.sh PROGRAM [ARGS...]
# Exits 77 (the test is reported skipped) only when Xvfb cannot start here.
set -u
if ! command -v Xvfb >/dev/null 2>&1; then
  echo "SKIPPED: Xvfb is not installed, so the keys cannot be tried on an X display"
  exit 77
fi
dir=$(mktemp -d)
mkfifo "$dir/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display" >"$dir/xvfb.log" 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -rf "$dir"' EXIT INT TERM
# The display number, or nothing when Xvfb ends without one.
display=$(timeout 20 head -n 1 "$dir/display")
if [ -z "$display" ]; then
  echo "SKIPPED: Xvfb cannot start here:"
  cat "$dir/xvfb.log"
  exit 77
fi
DISPLAY=:$display QT_QPA_PLATFORM=xcb "$@"
