#!/usr/bin/env bash
# Installs every Debian package that Skimlet's build, tests, demo and window need.
# Idempotent: does nothing when all of them are already installed.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  libcurl4-openssl-dev zlib1g-dev libcpp-httplib-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-webengine-dev libqt6webenginecore6-bin qt6-tools-dev-tools qt6-translations-l10n
  xvfb xauth openbox trayer xdotool x11-utils wmctrl imagemagick wget wget2 hyperfine time ccache
  python3-feedparser desktop-file-utils libxml2-utils file dpkg-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "install-deps: installing ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
