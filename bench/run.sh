#!/usr/bin/env bash
# Runs every benchmark program of a build: bench/run.sh BUILD_DIR
set -euo pipefail
build="${1:?usage: bench/run.sh BUILD_DIR}"
shopt -s nullglob
ran=0
for program in "$build"/bench/*_bench; do
  [ -x "$program" ] || continue
  case "$(basename "$program")" in window_bench | reading_window_bench | ticker_bench) continue ;; esac  # Qt programs, run below
  echo "== $(basename "$program")"
  "$program" --benchmark_min_time=0.2
  ran=$((ran + 1))
done
if [ "$ran" -eq 0 ]; then
  echo "bench/run.sh: no benchmark programs in $build/bench" >&2
  exit 1
fi

# The window, offscreen (built only with Qt).
if [ -x "$build/bench/window_bench" ]; then
  echo "== window_bench"
  QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 \
    QTWEBENGINE_CHROMIUM_FLAGS="${QTWEBENGINE_CHROMIUM_FLAGS:---disable-gpu}" "$build/bench/window_bench"
fi
if [ -x "$build/bench/reading_window_bench" ]; then
  echo "== reading_window_bench"
  QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 \
    QTWEBENGINE_CHROMIUM_FLAGS="${QTWEBENGINE_CHROMIUM_FLAGS:---disable-gpu}" "$build/bench/reading_window_bench"
fi

# The window's processes at rest, under Xvfb (needs the window and skimlet-cli).
if [ -x "$build/skimlet" ]; then
  echo "== window_memory"
  bash "$(dirname "${BASH_SOURCE[0]}")/window_memory.sh" "$build"
fi

if [ -x "$build/bench/ticker_bench" ]; then
  echo "== ticker_bench"
  QT_QPA_PLATFORM=offscreen "$build/bench/ticker_bench" --benchmark_min_time=0.2
fi

# The download run against wget, side by side (needs skimlet-cli and skimlet-static-server).
bash "$(dirname "${BASH_SOURCE[0]}")/run_vs_wget.sh" "$build"
bash "$(dirname "${BASH_SOURCE[0]}")/pictures_vs_wget.sh" "$build"
bash "$(dirname "${BASH_SOURCE[0]}")/shared_pictures_vs_wget.sh" "$build"
