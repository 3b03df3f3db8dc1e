#!/usr/bin/env bash
# The tray icon and the ticker as a desktop shows them: under Xvfb with openbox and an XEmbed
# tray (trayer). Unread news make the ticker appear; the icon sits in the tray; minimising
# hides the window into the tray and a double click on the icon brings it back.
#
#   tray_ticker_wm.sh SKIMLET_BINARY [SCREENSHOT.png]
set -euo pipefail

bin=$1
shot=${2:-}
[ -z "$shot" ] || command -v import >/dev/null || { echo "tray_ticker_wm: import is missing"; exit 1; }
WM_NAME=tray_ticker_wm WM_TOOLS=trayer
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

wait_for() {  # wait_for COMMAND...: up to 20 s
  local i
  for i in $(seq 1 100); do "$@" >/dev/null 2>&1 && return 0; sleep 0.2; done
  return 1
}
visible() { xdotool search --onlyvisible --name "$1" | head -1; }
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

wid=$(visible '^Skimlet - ' || true)
[ -n "$wid" ] && wmctrl -i -c "$wid"
for i in $(seq 1 100); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
if kill -0 $pid 2>/dev/null; then echo "FAIL the program did not end"; kill $pid; fail=1; fi
check "ticker placement stored" 1000 "$(awk -F= '/^\[/{own = ($0 == "[NewNewsForm]")} own && $1 == ".Right" {print $2}' "$ini" | tr -d '\r')"
exit $fail
