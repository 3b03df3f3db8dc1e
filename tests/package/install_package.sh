#!/usr/bin/env bash
# Skimlet installed as a user installs it. Builds the Debian package with CPack from a build
# directory, unpacks it into a temporary root (dpkg -x) and checks what it holds; skimlet-cli
# from there finds its resources in the package, lists the demo channel and downloads the
# demo site end to end (tests/acceptance/download_demo.sh). Then the same for "make install"
# into a prefix of its own (cmake --install, which make install runs).
#
#   tests/package/install_package.sh BUILD_DIR SKIMLET_STATIC_SERVER REPO_ROOT
#
# Prints one line per check and "N passed, M failed" last; exits non-zero when a check failed.
set -uo pipefail

build=${1:?usage: install_package.sh BUILD_DIR SKIMLET_STATIC_SERVER REPO_ROOT}
server=${2:?usage: install_package.sh BUILD_DIR SKIMLET_STATIC_SERVER REPO_ROOT}
repo=${3:?usage: install_package.sh BUILD_DIR SKIMLET_STATIC_SERVER REPO_ROOT}
build=$(cd "$build" && pwd)
repo=$(cd "$repo" && pwd)
export LC_ALL=C.UTF-8
unset SKIMLET_HOME

tmp=$(mktemp -d)
# shellcheck disable=SC2317  # called by the EXIT trap
cleanup() {
  chmod -R u+w "$tmp" 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT
export XDG_CONFIG_HOME=$tmp/config

passed=0 failed=0
# check NAME COMMAND...: passes when the command succeeds; shows its output when not
check() {
  local name=$1
  shift
  if "$@" >"$tmp/check.out" 2>&1; then
    passed=$((passed + 1))
    echo "ok   - $name"
  else
    failed=$((failed + 1))
    echo "FAIL - $name"
    head -n 40 "$tmp/check.out" | sed 's/^/       /'
  fi
}
finish() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit $?
}

# installed_layout PREFIX WHAT: the files under an installation prefix, and the programs
# there finding their own resources.
installed_layout() {
  local p=$1 what=$2 size
  check "$what: skimlet and skimlet-cli in bin/" test -x "$p/bin/skimlet" -a -x "$p/bin/skimlet-cli"
  check "$what: the command catalogue and help in share/skimlet/" \
    test -s "$p/share/skimlet/Actions/ActionsList.txt" -a -s "$p/share/skimlet/Help/01OverView.htm"
  check "$what: a valid desktop entry" desktop-file-validate "$p/share/applications/skimlet.desktop"
  check "$what: the desktop entry opens .skc files" grep -qx 'MimeType=application/x-skimlet-channel;' \
    "$p/share/applications/skimlet.desktop"
  check "$what: the MIME type of .skc" grep -q '<glob pattern="\*.skc"/>' "$p/share/mime/packages/skimlet-channel.xml"
  check "$what: the MIME package is well-formed" xmllint --noout "$p/share/mime/packages/skimlet-channel.xml"
  for size in 16 32 48 64; do
    check "$what: the ${size}x$size icon in the hicolor theme" test -s "$p/share/icons/hicolor/${size}x$size/apps/skimlet.png"
  done
  check "$what: the user units of a download timer" \
    test -s "$p/lib/systemd/user/skimlet-download.service" -a -s "$p/lib/systemd/user/skimlet-download.timer"
  local found
  found=$("$p/bin/skimlet-cli" --home "$tmp/empty" paths 2>&1 | sed -n 's/^ресурсы    //p')
  check "$what: skimlet-cli finds its resources there" test "$found" = "$p/share/skimlet/"
}

# ---- the package ---------------------------------------------------------------------------

if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/deb" >"$tmp/cpack.log" 2>&1; then
  check "cpack builds the package" cat "$tmp/cpack.log"
  finish
fi
deb=$(find "$tmp/deb" -maxdepth 1 -name 'skimlet_*.deb' | head -n 1)
check "cpack builds skimlet_<version>_<arch>.deb" test -s "$deb"
check "the package depends on the Qt libraries it links" bash -c "dpkg-deb -f '$deb' Depends | grep -q libqt6"
check "the package unpacks (dpkg -x)" dpkg -x "$deb" "$tmp/root"
installed_layout "$tmp/root/usr" "package"
check "the packaged programs are stripped" bash -c "file -L '$tmp/root/usr/bin/skimlet-cli' | grep -q ', stripped'"

# The timer's units as systemd reads them (with the program's path spelled out, since
# skimlet-cli is not in /usr/bin here).
if command -v systemd-analyze >/dev/null; then
  mkdir -p "$tmp/units"
  sed "s|^ExecStart=skimlet-cli |ExecStart=$tmp/root/usr/bin/skimlet-cli |" \
    "$tmp/root/usr/lib/systemd/user/skimlet-download.service" >"$tmp/units/skimlet-download.service"
  cp "$tmp/root/usr/lib/systemd/user/skimlet-download.timer" "$tmp/units/"
  check "systemd reads the timer and its service" \
    systemd-analyze verify "$tmp/units/skimlet-download.timer" "$tmp/units/skimlet-download.service"
fi

mkdir -p "$tmp/data/Accounts"
cp -R "$repo/examples/channel/Accounts/." "$tmp/data/Accounts/"
check "the packaged skimlet-cli lists the demo channel" \
  bash -c "'$tmp/root/usr/bin/skimlet-cli' --home '$tmp/data' list | grep -q '^\[x\]  Демо-новости'"
check "the packaged skimlet-cli downloads the demo site end to end" \
  bash "$repo/tests/acceptance/download_demo.sh" "$tmp/root/usr/bin/skimlet-cli" "$server" "$repo"

# ---- make install PREFIX=... ----------------------------------------------------------------

check "make install into a prefix of its own" cmake --install "$build" --prefix "$tmp/prefix"
installed_layout "$tmp/prefix" "make install"
check "make install honours DESTDIR" env DESTDIR="$tmp/dest" cmake --install "$build" --prefix /opt/skimlet
check "make install with DESTDIR: resources found beside the program" \
  bash -c "'$tmp/dest/opt/skimlet/bin/skimlet-cli' paths | grep -qx 'ресурсы    $tmp/dest/opt/skimlet/share/skimlet/'"

finish
