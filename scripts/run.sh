#!/usr/bin/env bash
# Opens the Skimlet window on the demo data: serves the demo site on 127.0.0.1, sets up the
# demo channel in demo-data/ (as scripts/demo.sh does) and starts BUILD_DIR/skimlet on it.
# The site stays served while the window is open, so Download in the window works too.
#
#   scripts/run.sh BUILD_DIR         (make run)
set -euo pipefail

# shellcheck source=scripts/demo.sh
source "$(dirname "${BASH_SOURCE[0]}")/demo.sh"

build=${1:-}
[ -n "$build" ] || demo_die "usage: scripts/run.sh BUILD_DIR"
build=$(cd "$build" && pwd) || demo_die "no build directory $1"

if [ ! -x "$build/skimlet" ]; then
  echo "run: the window ($build/skimlet) is not built yet."
  echo "     The headless part works already: 'make demo' downloads the demo site with skimlet-cli."
  exit 1
fi

demo_prepare "$build"
demo_say "Starting the window: skimlet --home $DEMO_DATA"
echo "${demo_dim}The demo channel \"$DEMO_CHANNEL\" downloads from http://127.0.0.1:$DEMO_PORT/ while the window is open.${demo_off}"
rc=0
"$build/skimlet" --home "$DEMO_DATA" "${@:2}" || rc=$?
exit "$rc"
