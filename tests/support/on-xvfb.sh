#!/bin/sh
# Runs a test program on a virtual X display of its own, on Qt's xcb platform: keys then carry
# the text a real keyboard gives them. Usage: on-xvfb.sh PROGRAM [ARGS...]
set -eu
fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -f "$fifo"' EXIT INT TERM
read -r display <"$fifo"
DISPLAY=:$display QT_QPA_PLATFORM=xcb "$@"
