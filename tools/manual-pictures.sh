#!/usr/bin/env bash
# Remakes the pictures that the program shows by itself, on an inventory of 300 sample parts, each
# cropped to its window (tools/window-shot.sh): the main window, the settings window and the print
# preview into docs/ and, at most 640 pixels wide, into the manual (the help viewer enlarges and
# shrinks pictures without smoothing, so the manual's are shown at their own size); the help
# viewer's first three pages into docs/. The pictures of typed-in states (editor, search,
# catalogue, pasting, a drop-down) are taken by hand with window-shot.sh and shrunk alike:
#   convert docs/NAME.png -resize '640x>' -strip assets/Help/images/NAME.png
# usage: manual-pictures.sh [BUILD-DIR] (default build/)
set -eu
src=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$src/build}" && pwd)
shot=$src/tools/window-shot.sh
pics=$src/assets/Help/images
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
# A program tree of its own, with settings of its own and the manual as it is in the sources.
cp -r "$build/Bin" "$build/Sys" "$build/Skins" "$build/Bul" "$build/Eng" "$tree/"
cp -r "$src/assets/Help/." "$tree/Bin/"
rm -f "$tree/Bin/grid.ini"
# The plain look, no skin; no archive copies.
printf '%s\r\n' Database=Velostok.mdb DAOVersion=3.6 ArchiveCount=3 'SkinPath=..\Skins\MySkin.skn' SP=No AutoArchive=No \
  SpeedButtons=Yes PassByChange=No ChangeLanguage=No Skins=No >"$tree/Bin/set.dll"
mkdir "$tree/work"
cp "$build/Sys/EmptyBase.bck" "$tree/work/Velostok.mdb"
sqlite3 "$tree/work/Velostok.mdb" <<'SQL'
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300)
INSERT INTO main (user_id, unit_number, unit_name, quantity, price, second_price, comment, deliver_name,
                  delivery_unit_number, delivery_country)
SELECT i, printf('%05d-%s', 37 * i, substr('ABCDEFGH', i % 8 + 1, 1)),
       json_extract('["Накладки предни","Амортисьор заден","Свещ запалителна","Ремък ангренажен","Крушка H7 12V","Филтър маслен"]', printf('$[%d]', (i - 1) % 6)),
       i % 9, round(5 + 1.37 * i, 2), round((5 + 1.37 * i) * 0.8, 1),
       json_extract('["Opel Astra G 1998-2004;","Renault Clio II 1998-2005;","Škoda Octavia 1996-2004;","VW Golf IV 1997-2003;"]', printf('$[%d]', (i - 1) % 4)),
       json_extract('["Интер Карс","Мото Пфое","Авто Плюс"]', printf('$[%d]', (i - 1) % 3)),
       printf('D-%04d', i), json_extract('["Германия","Франция","Чехия"]', printf('$[%d]', i % 3))
FROM n;
SQL
# Dates and numbers as a shop's computer shows them.
mkdir "$tree/locale"
localedef -i bg_BG -f UTF-8 "$tree/locale/bg_BG.UTF-8" || test -f "$tree/locale/bg_BG.UTF-8/LC_CTYPE"
program=(env "LOCPATH=$tree/locale" LC_ALL=bg_BG.UTF-8 "$tree/Bin/velostok")
cd "$tree/work"
# A click at x, y of the main window: the tool bar's print, settings and help buttons.
click() { echo "search --sync --onlyvisible --name '^Velostok 1.4\$' mousemove --window %1 $1 $2 click 1"; }
for picture in main-window settings-window print-preview; do
  case $picture in
    main-window) steps=() ;;
    settings-window) steps=(--keys "$(click 20 427)") ;;
    print-preview) steps=(--keys "$(click 20 310)" --window "Print Preview") ;;
  esac
  "$shot" "$src/docs/$picture.png" 4 "${steps[@]}" -- "${program[@]}"
  convert "$src/docs/$picture.png" -resize '640x>' -strip "$pics/$picture.png"
done
# The help viewer at the manual's beginning (the about window's Help), then a page and two further.
for page in 1 2 3; do
  next=(); [ "$page" -gt 1 ] && next=(--keys "key$(printf ' Next%.0s' $(seq 2 "$page"))")
  "$shot" "$src/docs/manual-page$page.png" 4 --keys "$(click 20 465)" --keys "key alt+h" "${next[@]}" -- "${program[@]}"
done
