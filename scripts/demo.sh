#!/usr/bin/env bash
# The demo: serve the bundled news site (examples/site/) on 127.0.0.1 and download it headless
# into demo-data/ with skimlet-cli, showing the log and then what was saved.
#
#   scripts/demo.sh BUILD_DIR        (make demo)
#
# demo-data/ is kept between runs, so a second run finds every article in the history and
# fetches nothing new. DEMO_FRESH=1 starts over with an empty data directory; DEMO_DATA=DIR
# puts the data directory elsewhere. scripts/run.sh sources this file for the same set-up.
set -euo pipefail

DEMO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
DEMO_DATA=${DEMO_DATA:-$DEMO_ROOT/demo-data}
DEMO_CHANNEL="Демо-новости"
DEMO_SERVER_PID=""
DEMO_PORT=""

if [ -t 1 ]; then
  demo_bold=$'\e[1m' demo_dim=$'\e[2m' demo_off=$'\e[0m'
else
  demo_bold="" demo_dim="" demo_off=""
fi

demo_say() { printf '%s==> %s%s\n' "$demo_bold" "$*" "$demo_off"; }
demo_die() {
  printf 'demo: %s\n' "$*" >&2
  exit 1
}

demo_stop_server() {
  if [ -n "$DEMO_SERVER_PID" ]; then
    kill "$DEMO_SERVER_PID" 2>/dev/null || true
    wait "$DEMO_SERVER_PID" 2>/dev/null || true
    DEMO_SERVER_PID=""
  fi
}

# demo_start_server BUILD_DIR: serves examples/site/ and sets DEMO_PORT. Reuses the port of the
# last run when it is free, since the saved news and the history carry the site's address.
demo_start_server() {
  local build=$1 server="$1/skimlet-static-server"
  [ -x "$server" ] || demo_die "$server is missing: build it first (make build)"
  local remembered="" try
  [ -f "$DEMO_DATA/.demo-port" ] && remembered=$(cat "$DEMO_DATA/.demo-port")
  for try in $remembered 0; do
    rm -f "$DEMO_DATA/.server-port"
    "$server" "$DEMO_ROOT/examples/site" --port "$try" --port-file "$DEMO_DATA/.server-port" \
      >/dev/null 2>"$DEMO_DATA/.server-log" &
    DEMO_SERVER_PID=$!
    for _ in $(seq 1 100); do
      [ -s "$DEMO_DATA/.server-port" ] && break
      kill -0 "$DEMO_SERVER_PID" 2>/dev/null || break
      sleep 0.05
    done
    if [ -s "$DEMO_DATA/.server-port" ]; then
      DEMO_PORT=$(cat "$DEMO_DATA/.server-port")
      break
    fi
    wait "$DEMO_SERVER_PID" 2>/dev/null || true
    DEMO_SERVER_PID=""
  done
  [ -n "$DEMO_PORT" ] || demo_die "the demo web server did not start: $(cat "$DEMO_DATA/.server-log")"
  if [ -n "$remembered" ] && [ "$remembered" != "$DEMO_PORT" ]; then
    echo "demo: port $remembered is taken now; the site moves to port $DEMO_PORT, so its articles"
    echo "      count as new addresses and are downloaded again (DEMO_FRESH=1 starts clean)."
  fi
  echo "$DEMO_PORT" >"$DEMO_DATA/.demo-port"
}

# demo_prepare BUILD_DIR: data directory, private settings, web server, channel set-up.
demo_prepare() {
  local build=$1
  if [ "${DEMO_FRESH:-0}" = 1 ] && [ -d "$DEMO_DATA" ]; then
    demo_say "DEMO_FRESH=1: removing $DEMO_DATA"
    chmod -R u+w "$DEMO_DATA"
    rm -rf "$DEMO_DATA"
  fi
  mkdir -p "$DEMO_DATA/config"
  # Private settings: the demo never reads or changes the user's own Skimlet settings.
  export XDG_CONFIG_HOME="$DEMO_DATA/config"

  demo_start_server "$build"
  trap demo_stop_server EXIT
  demo_say "The demo site is served at http://127.0.0.1:$DEMO_PORT/index.html"

  local accounts="$DEMO_DATA/Accounts" macro
  if [ ! -d "$accounts/$DEMO_CHANNEL" ]; then
    demo_say "Setting up the channel \"$DEMO_CHANNEL\" in $accounts"
    mkdir -p "$accounts"
    cp -R "$DEMO_ROOT/examples/channel/Accounts/." "$accounts/"
  fi
  # Point the channel's macros at this run's server (the template says @PORT@; a kept data
  # directory says the port of its last run).
  while IFS= read -r -d '' macro; do
    if LC_ALL=C grep -q -e '@PORT@' -e "http://127\.0\.0\.1:[0-9]*/" "$macro" &&
      ! LC_ALL=C grep -q "http://127\.0\.0\.1:$DEMO_PORT/" "$macro"; then
      chmod u+w "$macro"
      LC_ALL=C sed -i -e "s|@PORT@|$DEMO_PORT|g" \
        -e "s|http://127\.0\.0\.1:[0-9]*/|http://127.0.0.1:$DEMO_PORT/|g" "$macro"
      chmod a-w "$macro"
    fi
  done < <(find "$accounts/$DEMO_CHANNEL" -name Skimlet-macros.ini -print0)
}

# demo_show_saved: the tree with its counts, then the saved news per folder.
demo_show_saved() {
  local cli=$1
  demo_say "The channel folders (skimlet-cli list)"
  "$cli" --home "$DEMO_DATA" list || true
  demo_say "Saved news, per folder"
  local dir rel count
  while IFS= read -r -d '' dir; do
    rel=${dir#"$DEMO_DATA/Accounts/"}
    count=$(find "$dir" -maxdepth 1 -type f \( -name '*.html' -o -name '*.htm' \) ! -name '.*' | wc -l)
    printf '%s%s/%s  (%d news)\n' "$demo_bold" "$rel" "$demo_off" "$count"
    find "$dir" -maxdepth 1 -type f \( -name '*.html' -o -name '*.htm' \) ! -name '.*' -printf '%f\n' |
      LC_ALL=C sort | sed 's/^/    /'
  done < <(find "$DEMO_DATA/Accounts" -mindepth 1 -maxdepth 2 -type d ! -name Attachment ! -name '.*' -print0 |
    LC_ALL=C sort -z)
  local history="$DEMO_DATA/history/HTMLhistory.Items.txt"
  if [ -f "$history" ]; then
    printf '%sDownload history:%s %s (%d lines)\n' "$demo_bold" "$demo_off" "$history" "$(wc -l <"$history")"
  fi
}

demo_main() {
  local build=${1:-}
  [ -n "$build" ] || demo_die "usage: scripts/demo.sh BUILD_DIR"
  build=$(cd "$build" && pwd) || demo_die "no build directory $1"
  local cli="$build/skimlet-cli"
  [ -x "$cli" ] || demo_die "$cli is missing: build it first (make build)"

  demo_prepare "$build"

  demo_say "Downloading: skimlet-cli --home $DEMO_DATA download --log pretty"
  local rc=0
  "$cli" --home "$DEMO_DATA" download --log pretty || rc=$?
  if [ "$rc" -ne 0 ]; then
    echo "demo: skimlet-cli download ended with exit code $rc" >&2
  fi
  echo
  demo_show_saved "$cli"
  echo
  local example
  example=$(find "$DEMO_DATA/Accounts/$DEMO_CHANNEL" -mindepth 2 -maxdepth 2 -type f -name '*.html' -print -quit)
  printf '%s' "$demo_dim"
  [ -n "$example" ] && echo "Open a saved news in a browser:  xdg-open \"$example\""
  echo "Run 'make demo' again: the history remembers every article, so nothing new is fetched."
  echo "DEMO_FRESH=1 make demo starts over with an empty data directory.${demo_off}"
  demo_stop_server
  return "$rc"
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  demo_main "$@"
fi
