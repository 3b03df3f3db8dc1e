#!/usr/bin/env bash
# Every include between the program's folders points down the layers. The table below is the
# one place that says what each folder may include besides itself; a folder not in it fails.
# With --tree DIR, checks that tree instead of the one this script lives in.
set -u
root="$(cd "$(dirname "$0")/../.." && pwd)"
[ "${1:-}" = "--tree" ] && root="$(cd "$2" && pwd)"

core="platform page store fetch attachments engine"
declare -A may=(
  [platform]=""
  [page]="platform"
  [store]="page platform"
  [fetch]="store page platform"
  [attachments]="fetch store page platform"
  [engine]="attachments fetch store page platform"
  [library]="engine $core"
  [authoring]="engine $core"
  [qt]="library authoring $core"
  [library/ui]="library qt authoring $core"
  [authoring/ui]="authoring qt library $core"
  [attachments/ui]="qt library authoring $core"
  [shell]="library/ui authoring/ui attachments/ui qt library authoring $core"
  [cli]="qt library authoring $core"
)
# Tests, benchmarks and tools may include anything. Folders whose files may not include Qt:
qt_free="$core library authoring"

failed=0
while IFS= read -r file; do
  folder="${file%/*}"
  if [ -z "${may[$folder]+set}" ]; then
    echo "$file: the folder $folder has no place in the layers (add it to tests/layers/check_layers.sh)"
    failed=1
    continue
  fi
  allowed=" $folder ${may[$folder]} "
  while IFS=: read -r line target; do
    target="${target#*\"}"
    dir="${target%/*}"
    case "$allowed" in *" $dir "*) continue ;; esac
    echo "$file:$line: includes $target, but $folder may include only: ${may[$folder]:-nothing outside itself}"
    failed=1
  done < <(grep -n -o -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[a-z]+(/ui)?/[^"]+' "$root/$file" | sed -E 's/:[[:space:]]*#[[:space:]]*include[[:space:]]*/:/')
  case " $qt_free " in
    *" $folder "*)
      if grep -n -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*<Q' "$root/$file" >/dev/null; then
        echo "$file: includes Qt, but $folder is part of the core"
        failed=1
      fi
      ;;
  esac
done < <(cd "$root" && find . -path ./tests -prune -o -path ./bench -prune -o -path ./tools -prune \
           -o -path './build*' -prune -o -path './.*' -prune -o -type f \( -name '*.cpp' -o -name '*.h' \) -print |
           sed 's#^\./##' | grep / | sort)

[ "$failed" = 0 ] && echo "layers: every include points down"
exit "$failed"
