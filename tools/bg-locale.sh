#!/bin/sh
# Makes the Bulgarian UTF-8 locale a shop's computer runs under, in DIR, for LOCPATH=DIR with
# LC_ALL=bg_BG.UTF-8: the tests run under it whether or not the system has it. Usage: bg-locale.sh DIR
set -eu
dir=$1
[ -f "$dir/bg_BG.UTF-8/LC_NUMERIC" ] && exit 0
mkdir -p "$dir"
# localedef exits 1 on mere warnings; the locale is made all the same.
localedef -i bg_BG -f UTF-8 "$dir/bg_BG.UTF-8" >"$dir/localedef.log" 2>&1 || true
if [ ! -f "$dir/bg_BG.UTF-8/LC_NUMERIC" ]; then
  cat "$dir/localedef.log" >&2
  echo "the bg_BG.UTF-8 locale could not be made in $dir (is the 'locales' package installed?)" >&2
  exit 1
fi
