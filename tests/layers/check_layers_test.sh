#!/usr/bin/env bash
# The layer check itself: a tree with one wrong include per case must fail and name it;
# the same tree without it must pass.
set -u
check="$(cd "$(dirname "$0")" && pwd)/check_layers.sh"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# file | the include it gets | expected: ok or the text the failure must carry
cases=(
  'store/History.cpp|#include "engine/DownLoad.h"|includes engine/DownLoad.h, but store may include only'
  'platform/Files.cpp|  #  include "page/Html.h"|includes page/Html.h'
  'attachments/Queue.cpp|#include "engine/RunHost.h"|includes engine/RunHost.h'
  'engine/Run.cpp|#include "library/ui/NewsList.h"|includes library/ui/NewsList.h'
  'cli/Main.cpp|#include "shell/MainUnit.h"|includes shell/MainUnit.h'
  'page/Tools.cpp|#include <QString>|includes Qt, but page is part of the core'
  'newfolder/A.cpp|#include "platform/Text.h"|the folder newfolder has no place'
  'engine/Run.cpp|#include "store/History.h"|ok'
  'shell/Main.cpp|#include "library/ui/NewsList.h"|ok'
  'library/ui/List.cpp|#include <QString>|ok'
)
failures=0
for c in "${cases[@]}"; do
  IFS='|' read -r file include expected <<<"$c"
  rm -rf "$work/tree" && mkdir -p "$work/tree/$(dirname "$file")"
  printf '// a file\n%s\n' "$include" >"$work/tree/$file"
  out="$("$check" --tree "$work/tree")"
  status=$?
  if [ "$expected" = ok ]; then
    [ "$status" = 0 ] || { echo "FAIL $file with $include: refused: $out"; failures=$((failures + 1)); }
  elif [ "$status" = 0 ] || [[ "$out" != *"$expected"* ]]; then
    echo "FAIL $file with $include: expected \"$expected\", got ($status): $out"
    failures=$((failures + 1))
  fi
done
[ "$failures" = 0 ] && echo "layer check: ${#cases[@]} cases as expected"
exit $((failures > 0))
