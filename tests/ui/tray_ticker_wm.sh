#!/usr/bin/env bash
# The tray icon and the ticker as a desktop shows them: under Xvfb with openbox and an XEmbed
# tray (trayer). Unread news make the ticker appear; the icon sits in the tray; minimising
# hides the window into the tray and a double click on the icon brings it back; the ticker
# makes way for the program's own windows (the assistant, the reader).
#
#   tray_ticker_wm.sh SKIMLET_BINARY [SCREENSHOT.png]
set -euo pipefail

bin=$1
shot=${2:-}
[ -z "$shot" ] || command -v import >/dev/null || { echo "tray_ticker_wm: import is missing"; exit 1; }
WM_NAME=tray_ticker_wm WM_TOOLS="trayer xprop"
# shellcheck source=tests/ui/wm_common.sh
source "$(dirname "$0")/wm_common.sh"
rubric="$work/home/Accounts/Лента/Новости"
mkdir -p "$rubric" "$(dirname "$ini")"
for title in "Курс рубля снова вырос" "В Москве открылся новый парк" "Учёные нашли воду на Марсе"; do
  printf '<html><body><h1>%s</h1></body></html>\r\n' "$title" >"$rubric/$title.html"
  chmod a-w "$rubric/$title.html"  # unread
done
cat >"$ini" <<INI
[Tips]
CheckBoxShowAtStart.Checked=0

[View]
Accounts.Selected.Path=Лента/Новости

[NewNewsForm]
.Left=200
.Top=700
.Right=1000
.Bottom=732
INI

openbox >/dev/null 2>&1 &
sleep 1
trayer --edge bottom --align right --widthtype request --height 28 --transparent false --tint 0x333333 \
  --SetDockType true >/dev/null 2>&1 &
sleep 1

main_visible() { [ -n "$(visible '^Skimlet - ')" ]; }
main_hidden() { ! main_visible; }
# The window our program has embedded in the tray's panel.
tray_icon() {
  local tree
  tree=$(xwininfo -root -tree)
  awk '/"panel": \("panel" "trayer"\)/ {p = 1; next} p && /"Skimlet"/ {print $1; exit}' <<<"$tree"
}
has_icon() { [ -n "$(tray_icon)" ]; }

"$bin" --home "$work/home" >"$work/log" 2>&1 &
pid=$!
wait_for main_visible || { echo "FAIL the window did not appear"; cat "$work/log"; exit 1; }

# 1. Three unread news: the ticker comes up on its own, 32 pixels high, where it was stored.
wait_for visible "^Есть новости$" || { echo "FAIL the ticker did not appear"; fail=1; }
ticker=$(visible "^Есть новости$" || true)
if [ -n "$ticker" ]; then
  read -r tw th tx ty < <(xwininfo -id "$ticker" | awk '/Absolute upper-left X/{x=$NF}/Absolute upper-left Y/{y=$NF}/Width:/{w=$NF}/Height:/{h=$NF}END{print w, h, x, y}')
  check "ticker height" 32 "$th"
  check "ticker width" 800 "$tw"
  check "ticker left" 200 "$tx"
fi

# 2. The program's icon is in the tray.
wait_for has_icon || true
icon=$(tray_icon)
check "icon in the tray" yes "$([ -n "$icon" ] && echo yes || echo no)"
sleep 1
[ -n "$shot" ] && import -window root "$shot" && echo "screenshot: $shot"

# 3. Minimised, the window hides into the tray; the ticker stays.
wid=$(visible '^Skimlet - ')
xdotool windowminimize "$wid"
check "hidden into the tray" yes "$(wait_for main_hidden && echo yes || echo no)"
check "ticker stays up" yes "$([ -n "$(visible '^Есть новости$')" ] && echo yes || echo no)"

# 4. A double click on the icon brings it back.
if [ -n "$icon" ]; then
  read -r ix iy iw ih < <(xwininfo -id "$icon" | awk '/Absolute upper-left X/{x=$NF}/Absolute upper-left Y/{y=$NF}/Width:/{w=$NF}/Height:/{h=$NF}END{print x, y, w, h}')
  xdotool mousemove $((ix + iw / 2)) $((iy + ih / 2)) click --repeat 2 --delay 100 1
  check "back from the tray" yes "$(wait_for main_visible && echo yes || echo no)"
fi

geometry() {  # geometry WINDOW: "WIDTH HEIGHT X Y"
  xwininfo -id "$1" | awk '/Absolute upper-left X/{x=$NF}/Absolute upper-left Y/{y=$NF}/Width:/{w=$NF}/Height:/{h=$NF}END{print w, h, x, y}'
}
wid=$(visible '^Skimlet - ' || true)

ticker_gone() { [ -z "$(visible '^Есть новости$')" ]; }

# 5. The ticker never covers the program's own windows: it is gone before the assistant
# (Ctrl+Shift+N) is on the screen, so nothing lies over its «Создать», and back after.
if [ -n "$wid" ]; then
  xdotool windowactivate --sync "$wid" >/dev/null 2>&1 || true
  xdotool key ctrl+shift+n
  if wait_for visible '^Новый канал по адресу$'; then
    check "ticker makes way for the assistant" yes "$(ticker_gone && echo yes || echo no)"
    xdotool key Escape
    check "ticker back after the assistant" yes "$(wait_for visible '^Есть новости$' && echo yes || echo no)"
  else
    check "Ctrl+Shift+N opens the assistant" yes no
  fi
fi

# 6. The first F11 shows the reader over the whole work area (it once came up 2x2 pixels in
# a corner), and F11 again closes it.
if [ -n "$wid" ]; then
  xdotool windowactivate --sync "$wid" >/dev/null 2>&1 || true
  read -r _ _ mx my < <(geometry "$wid")
  xdotool mousemove $((mx + 400)) $((my + 90)) click 1  # the first news of the list
  sleep 0.5
  xdotool key F11
  wait_for visible '>>' || true
  reader=$(visible '>>' || true)
  read -r _ _ area_w area_h < <(xprop -root _NET_WORKAREA | tr -d ',' | awk '{print $3, $4, $5, $6}')
  if [ -n "$reader" ]; then
    sleep 1
    read -r rw rh _ _ < <(geometry "$reader")
    check "reader covers the work area" "$area_w x $area_h" "$rw x $rh"
    check "ticker makes way for the reader" yes "$(ticker_gone && echo yes || echo no)"
    xdotool key F11
    check "F11 again closes the reader" yes "$(wait_for eval '[ -z "$(visible ">>")" ]' && echo yes || echo no)"
  else
    check "the first F11 shows the reader" yes no
  fi
fi

# 7. Shift+drag the ticker partly past the right edge, F4 twice: it comes back on screen,
# and that is the placement the close stores.
wait_for visible "^Есть новости$" || true
ticker=$(visible "^Есть новости$" || true)
if [ -n "$ticker" ] && [ -n "$wid" ]; then
  read -r _ _ tx ty < <(geometry "$ticker")
  xdotool mousemove $((tx + 100)) $((ty + 16)) keydown shift mousedown 1
  for step in 1 2 3 4 5 6; do
    xdotool mousemove $((tx + 100 + step * 100)) $((ty + 16))
    sleep 0.1
  done
  xdotool mouseup 1 keyup shift
  sleep 0.5
  read -r _ _ tx2 _ < <(geometry "$ticker")
  check "ticker dragged past the edge" $((tx + 600)) "$tx2"
  xdotool windowactivate --sync "$wid" >/dev/null 2>&1 || true
  xdotool key F4
  sleep 0.5
  xdotool key F4
  wait_for visible "^Есть новости$" || true
  sleep 0.5
  ticker=$(visible "^Есть новости$" || true)
  [ -n "$ticker" ] && read -r tw _ tx3 _ < <(geometry "$ticker")
  check "ticker back on screen" $((1280 - ${tw:-0})) "${tx3:-none}"
fi

[ -n "$wid" ] && wmctrl -i -c "$wid"
for i in $(seq 1 100); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
if kill -0 $pid 2>/dev/null; then echo "FAIL the program did not end"; kill $pid; fail=1; fi
ticker_stored() { awk -F= -v key="$1" '/^\[/{own = ($0 == "[NewNewsForm]")} own && $1 == key {print $2}' "$ini" | tr -d '\r'; }
check "ticker placement stored: left" $((1280 - 800)) "$(ticker_stored .Left)"
check "ticker placement stored: top" 700 "$(ticker_stored .Top)"
check "ticker placement stored: right" 1280 "$(ticker_stored .Right)"
exit $fail
