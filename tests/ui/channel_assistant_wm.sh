#!/usr/bin/env bash
# A channel from a real generator's paginated site (tests/corpus/pelican: three list pages
# whose pager's first link leads back) with the assistant, under Xvfb with openbox:
# Ctrl+Shift+N opens it, the list page's address is typed, a click picks an article link,
# «Страниц списка» is set to 3, «Создать» creates the channel, and F9 in the window downloads
# every article of every page.
#
#   channel_assistant_wm.sh SKIMLET_BINARY SKIMLET_STATIC_SERVER REPO_ROOT [SCREENSHOT.png]
set -euo pipefail

bin=$1 server=$2 root=$3
shot=${4:-}
[ -z "$shot" ] || command -v import >/dev/null || { echo "channel_assistant_wm: import is missing"; exit 1; }
WM_NAME=channel_assistant_wm
# shellcheck source=tests/ui/wm_common.sh
source "$(dirname "$0")/wm_common.sh"
trap 'kill $(jobs -p) 2>/dev/null; chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT

serve_demo "$server" "$root" "$root/tests/corpus/pelican/site"
cat >"$ini" <<INI
[Tips]
CheckBoxShowAtStart.Checked=0
INI
channel="$data/Accounts/Vesti"
count_news() { find "$channel" -maxdepth 1 -type f -name '*.htm*' ! -name '.*' 2>/dev/null | wc -l; }

openbox >/dev/null 2>&1 &
sleep 1
"$bin" --home "$data" >"$work/log" 2>&1 &
pid=$!
main_window() { xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -1; }
wait_for test -n "$(main_window)" || true
wait_for sh -c "xdotool search --onlyvisible --pid $pid | grep -q ." || { echo "FAIL the window did not appear"; tail -5 "$work/log"; exit 1; }
wid=$(main_window)
sleep 1
xdotool windowactivate --sync "$wid" >/dev/null 2>&1 || true
xdotool key ctrl+shift+n
assistant_visible() { [ -n "$(visible '^Новый канал по адресу$')" ]; }
wait_for assistant_visible || { echo "FAIL the assistant did not open"; for w in $(xdotool search --onlyvisible --pid "$pid"); do echo "window $w: $(xdotool getwindowname "$w")"; done; echo "main $wid"; exit 1; }
aid=$(visible '^Новый канал по адресу$')
xdotool windowactivate --sync "$aid" >/dev/null 2>&1 || true
xdotool type --delay 20 "http://127.0.0.1:$port/category/gorod.html"
xdotool key Return
sleep 3  # the page is fetched and shown

# A click on the first article link of the list (the assistant opens at 1100 x 760, so the
# link stands at the same place in it).
read -r ax ay < <(xwininfo -id "$aid" | awk '/Absolute upper-left X/{x=$NF}/Absolute upper-left Y/{y=$NF}END{print x, y}')
xdotool mousemove $((ax + 350)) $((ay + 362)) click 1
sleep 4  # the example and two more articles are fetched and the proposal made
read -r aw ah < <(xwininfo -id "$aid" | awk '/Width:/{w=$NF}/Height:/{h=$NF}END{print w, h}')
# Three pages of the list, and the channel's name.
xdotool mousemove $((ax + aw - 60)) $((ay + 370)) click --repeat 3 1
xdotool key ctrl+a type 3
xdotool key Tab
sleep 3
xdotool mousemove $((ax + 598)) $((ay + 49)) click 1
xdotool key ctrl+a type --delay 20 Vesti
if [ -n "$shot" ]; then  # with the dry run's list: «Пробный запуск» above it
  xdotool mousemove $((ax + aw - 180)) $((ay + 398)) click 1
  sleep 4
  import -window root "$shot" && echo "screenshot: $shot"
fi

# «Создать», the first of the buttons at the assistant's lower right. The assistant closes and
# the window selects the new channel.
for _ in $(seq 1 10); do
  [ -f "$channel/Skimlet-macros.ini" ] && break
  xdotool mousemove $((ax + aw - 290)) $((ay + ah - 23)) click 1
  sleep 1
done
check "the channel is written" yes "$([ -f "$channel/Skimlet-macros.ini" ] && echo yes || echo no)"
check "the assistant is still open" no "$(assistant_visible && echo yes || echo no)"

# F9 downloads the selected channel.
xdotool windowactivate --sync "$wid" >/dev/null 2>&1 || true
xdotool key F9
all_news() { [ "$(count_news)" -ge 15 ]; }  # every article of the three pages
check "F9 saved every article of every list page" yes "$(wait_for all_news && echo yes || echo no)"
check "news saved" 15 "$(count_news)"

sleep 2
wmctrl -i -c "$wid"
for _ in $(seq 1 150); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
if kill -0 $pid 2>/dev/null; then echo "FAIL the program did not end"; kill $pid; fail=1; fi
exit $fail
