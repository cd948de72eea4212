#!/usr/bin/env bash
# Pictures of the program's windows for the manual and docs/: starts a program on an X display of
# its own, waits, sends keys, and saves one window, cropped to the place the X server gives it,
# not the whole screen with its black desktop.
# usage: window-shot.sh OUT.png SECONDS [--keys "xdotool key args"]... [--window TITLE] -- PROGRAM [ARGS...]
#   --keys    xdotool commands, run one after the other a second apart (repeat the option)
#   --window  the window whose title is TITLE; without it, the program's topmost window
# Run from the folder the program should use as its working folder.
set -eu
out=$1; secs=$2; shift 2
keys=(); title=""
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  case "$1" in
    --keys) keys+=("$2"); shift 2 ;;
    --window) title=$2; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
[ "${1:-}" = "--" ] && shift
for t in Xvfb import xdotool; do
  command -v $t >/dev/null || { echo "missing $t: tools/install-deps.sh installs it" >&2; exit 2; }
done
dir=$(mktemp -d)
mkfifo "$dir/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display" >/dev/null 2>&1 & xpid=$!
ppid=""
trap '[ -n "$ppid" ] && kill $ppid 2>/dev/null; kill $xpid 2>/dev/null; rm -rf "$dir"' EXIT
display=$(timeout 20 head -n 1 "$dir/display")
[ -n "$display" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$display
QT_QPA_PLATFORM=xcb "$@" >/dev/null 2>&1 & ppid=$!
sleep "$secs"
for k in ${keys[@]+"${keys[@]}"}; do
  eval "xdotool $k"
  sleep 1
done
if [ -n "$title" ]; then
  id=$(xdotool search --onlyvisible --name "^$title\$" | head -n 1)
else
  id=$(xdotool search --onlyvisible --pid "$ppid" | tail -n 1) # listed from the bottom up
fi
[ -n "$id" ] || { echo "no window ${title:+named \"$title\" }is shown" >&2; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$id")"
# The screen's pixels, not the window's own: what lies over the window (a drop-down) is kept.
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage -strip "$out"
echo "wrote $out (${WIDTH}x${HEIGHT})"
