# Shared by the window checks that run under Xvfb with a real window manager. The check sets
# WM_NAME (and WM_TOOLS, what it needs beyond the usual) and sources this file: it runs the
# check under xvfb-run (once), makes $work (removed at exit with every background job),
# private settings and data directories ($ini is the settings file), and defines check(),
# wait_for(), visible() and serve_demo().

for tool in xvfb-run openbox xdotool xwininfo wmctrl ${WM_TOOLS:-}; do
  command -v "$tool" >/dev/null || { echo "$WM_NAME: $tool is missing"; exit 1; }
done

if [ -z "${SKIMLET_IN_XVFB:-}" ]; then
  export SKIMLET_IN_XVFB=1
  exec xvfb-run -a -s "-screen 0 1280x800x24" "$0" "$@"
fi

work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/xdg
export QTWEBENGINE_DISABLE_SANDBOX=1 QTWEBENGINE_CHROMIUM_FLAGS="--no-sandbox --disable-gpu"
ini=$XDG_CONFIG_HOME/Orvane/Skimlet.ini
mkdir -p "$XDG_CONFIG_HOME"

fail=0
check() {  # check WHAT EXPECTED ACTUAL
  if [ "$2" = "$3" ]; then echo "ok   $1: $3"; else echo "FAIL $1: expected $2, got $3"; fail=1; fi
}

wait_for() {  # wait_for COMMAND...: up to 20 s
  local i
  for i in $(seq 1 100); do "$@" >/dev/null 2>&1 && return 0; sleep 0.2; done
  return 1
}
visible() { xdotool search --onlyvisible --name "$1" | head -1; }

serve_demo() {  # serve_demo SERVER ROOT [SITE]: the demo site (or SITE) on a free port ($port); data in $data
  "$1" "${3:-$2/examples/site}" --port 0 --port-file "$work/port" >/dev/null 2>"$work/server.err" &
  for _ in $(seq 1 100); do [ -s "$work/port" ] && break; sleep 0.05; done
  port=$(cat "$work/port")
  data=$work/home
  mkdir -p "$data/Accounts" "$(dirname "$ini")"
}
