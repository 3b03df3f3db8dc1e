#!/usr/bin/env bash
# The window's memory at rest, as the desktop sees it: the PSS of the program and of Qt
# WebEngine's helper processes (summed from /proc/*/smaps_rollup), 5 s after start on the demo
# data, then after a news has been read full screen (F11) and the reader closed (Esc).
# Runs under Xvfb with openbox.
#
#   bench/window_memory.sh BUILD_DIR
set -euo pipefail

build=$(cd "${1:?usage: bench/window_memory.sh BUILD_DIR}" && pwd)
for tool in xvfb-run openbox xdotool xwininfo; do
  command -v "$tool" >/dev/null || { echo "window_memory: $tool is missing"; exit 1; }
done
if [ -z "${SKIMLET_IN_XVFB:-}" ]; then
  export SKIMLET_IN_XVFB=1
  exec xvfb-run -a -s "-screen 0 1280x800x24" "$0" "$@"
fi

work=$(mktemp -d)
export DEMO_DATA=$work/demo
# shellcheck source=scripts/demo.sh
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/demo.sh"
demo_prepare "$build" >/dev/null
trap 'kill $(jobs -p) 2>/dev/null; demo_stop_server; chmod -R u+w "$work"; rm -rf "$work"' EXIT
"$build/skimlet-cli" --home "$DEMO_DATA" download --log raw >/dev/null || true
rubric=$(cd "$DEMO_DATA/Accounts" && find "$DEMO_CHANNEL" -mindepth 1 -maxdepth 1 -type d ! -name Attachment | sort | head -1)
mkdir -p "$XDG_CONFIG_HOME/Orvane"
printf '[Tips]\nCheckBoxShowAtStart.Checked=0\n\n[View]\nAccounts.Selected.Path=%s\n' "$rubric" \
  >"$XDG_CONFIG_HOME/Orvane/Skimlet.ini"
export QTWEBENGINE_DISABLE_SANDBOX=1 QTWEBENGINE_CHROMIUM_FLAGS="${QTWEBENGINE_CHROMIUM_FLAGS:---no-sandbox}"

openbox >/dev/null 2>&1 &
sleep 1

# The PSS of a process and all its descendants, in MiB.
tree_pss() {
  local pids=$1 all="" next
  while [ -n "$pids" ]; do
    all="$all $pids"
    next=""
    for p in $pids; do next="$next $(cat /proc/"$p"/task/*/children 2>/dev/null)"; done
    pids=$(echo $next)
  done
  for p in $all; do cat /proc/"$p"/smaps_rollup 2>/dev/null; done | awk '/^Pss:/ {kb += $2} END {printf "%.0f", kb / 1024}'
}

"$build/skimlet" --home "$DEMO_DATA" >"$work/log" 2>&1 &
pid=$!
wid=""
for _ in $(seq 1 50); do
  wid=$(xdotool search --onlyvisible --name "^Skimlet - |/Accounts/" 2>/dev/null | head -1 || true)
  [ -n "$wid" ] && break
  sleep 0.2
done
[ -n "$wid" ] || { echo "window_memory: the window did not appear"; import -window root /tmp/mem-fail.png; wmctrl -l; exit 1; }
sleep 5
if [ -n "${WINDOW_MEMORY_DETAIL:-}" ]; then
  for p in $pid $(pgrep -P $pid) $(pgrep -f QtWebEngineProcess); do
    printf '%s %s %s\n' "$p" "$(awk '/^Pss:/{print $2}' /proc/$p/smaps_rollup 2>/dev/null)" "$(tr '\0' ' ' </proc/$p/cmdline | cut -c1-150)"
  done
fi
echo "window memory after start: $(tree_pss $pid) MiB PSS (goal: at most 190)"

# The first news of the listed rubric, read full screen and closed again.
read -r x y < <(xwininfo -id "$wid" | awk '/Absolute upper-left X/{x=$NF}/Absolute upper-left Y/{y=$NF}END{print x, y}')
xdotool mousemove $((x + 400)) $((y + 95)) click 1
sleep 1
xdotool key F11
sleep 3
reader=$(xdotool search --onlyvisible --name ">>" 2>/dev/null | head -1 || true)
[ -n "$reader" ] || echo "window_memory: the reader did not appear"
xdotool key Escape
sleep 3
echo "window memory after the reader: $(tree_pss $pid) MiB PSS (goal: under 250)"
kill "$pid"
