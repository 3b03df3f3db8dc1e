#!/usr/bin/env bash
# The window keeps up with another process: under Xvfb with openbox, the window shows the
# demo channel's rubric while `skimlet-cli download` runs beside it. Without F5, the news the
# run saves come into the list: a click on the list's first row shows one, whose countdown
# then marks it read on disk, and the close stores it as the news on display. A channel that
# `skimlet-cli new` makes meanwhile comes into the tree without F5: the outline the window
# writes at its close (Accounts/folders.txt, only the window writes it) holds it.
#
#   live_folders_wm.sh SKIMLET_BINARY SKIMLET_CLI SKIMLET_STATIC_SERVER REPO_ROOT [SCREENSHOT.png]
set -euo pipefail

bin=$1 cli=$2 server=$3 root=$4
shot=${5:-}
[ -z "$shot" ] || command -v import >/dev/null || { echo "live_folders_wm: import is missing"; exit 1; }
WM_NAME=live_folders_wm WM_TOOLS="xprop iconv"
# shellcheck source=tests/ui/wm_common.sh
source "$(dirname "$0")/wm_common.sh"
trap 'kill $(jobs -p) 2>/dev/null; chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT

serve_demo "$server" "$root"
cp -R "$root/examples/channel/Accounts/." "$data/Accounts/"
while IFS= read -r -d '' macro; do
  chmod u+w "$macro"
  sed -i "s|@PORT@|$port|g" "$macro"
done < <(find "$data/Accounts" -name Skimlet-macros.ini -print0)
news="$data/Accounts/Демо-новости/Новости"
cat >"$ini" <<INI
[Tips]
CheckBoxShowAtStart.Checked=0

[View]
Accounts.Selected.Path=Демо-новости/Новости
INI

openbox >/dev/null 2>&1 &
sleep 1
# The window's title is the folder whose macro it shows.
main_visible() { [ -n "$(visible 'Новости/$')" ]; }
count_news() { find "$news" -maxdepth 1 -type f -name '*.htm*' ! -name '.*' "$@" | wc -l; }

"$bin" --home "$data" >"$work/log" 2>&1 &
pid=$!
wait_for main_visible || { echo "FAIL the window did not appear"; xdotool search --name . getwindowname %@ 2>/dev/null | head; tail -5 "$work/log"; exit 1; }
wid=$(visible 'Новости/$')
sleep 2
check "no news before the run" 0 "$(count_news)"

# The run, by another process, beside the open window.
LC_ALL=C.UTF-8 timeout 120 "$cli" --home "$data" download "Демо-новости" --log raw >"$work/run.log" 2>&1 ||
  { echo "FAIL the download"; tail -5 "$work/run.log"; fail=1; }
saved=$(count_news)
check "the run saved news" yes "$([ "$saved" -gt 0 ] && echo yes || echo no)"
check "all of them unread" "$saved" "$(count_news ! -perm -u=w)"
LC_ALL=C.UTF-8 timeout 60 "$cli" --home "$data" new "Городские вести" "http://127.0.0.1:$port/" \
  --example "http://127.0.0.1:$port/news/2026-12-01-most.html" >"$work/new.log" 2>&1 ||
  { echo "FAIL skimlet-cli new"; tail -5 "$work/new.log"; fail=1; }
sleep 1.5  # no F5: the window sees the files on its own
[ -n "$shot" ] && import -window root "$shot" && echo "screenshot: $shot"

# A click on the first row of the list (below its header, right of the tree).
xdotool windowactivate --sync "$wid" >/dev/null 2>&1 || true
read -r wx wy < <(xwininfo -id "$wid" | awk '/Absolute upper-left X/{x=$NF}/Absolute upper-left Y/{y=$NF}END{print x, y}')
xdotool mousemove $((wx + 500)) $((wy + 90)) click 1
read_one() { [ "$(count_news -perm -u=w)" = 1 ]; }
check "the news clicked is read after its countdown" yes "$(wait_for read_one && echo yes || echo no)"

wmctrl -i -c "$wid"
for _ in $(seq 1 100); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
if kill -0 $pid 2>/dev/null; then echo "FAIL the program did not end"; kill $pid; fail=1; fi
outline=$(iconv -f WINDOWS-1251 -t UTF-8 "$data/Accounts/folders.txt" | tr -d '\r')
check "the channel made by skimlet-cli new is in the tree" yes \
  "$(grep -qx 'Городские вести' <<<"$outline" && echo yes || echo no)"
shown=$(awk -F= '/^\[/{own = ($0 == "[View]")} own && $1 == "ListNews.ShownNews" {print $2}' "$ini" | tr -d '\r')
read_file=$(find "$news" -maxdepth 1 -type f -name '*.htm*' -perm -u=w -printf '%f\n' | head -1)
check "the news on display was the one read" "Демо-новости/Новости/$read_file" "$(printf '%b' "$shown")"
exit $fail
