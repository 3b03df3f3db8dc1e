# Shared by the side-by-side bench scripts (sourced, not run):
#   bench_init NAME BUILD_DIR   sets cli, server, work (a temp dir removed on exit), or exits 0
#                               with a "skipped" line when a tool is missing
#   bench_serve DIR LATENCY_MS [ARG ...]
#                               starts skimlet-static-server on DIR, sets base (its URL); each
#                               call starts one more server
#   mean_seconds PREPARE COMMAND   the mean wall time of RUNS runs (date loop)
#   bench_time NAME PREPARE COMMAND [NAME PREPARE COMMAND ...]
#                               times each command (hyperfine when installed, else the loop);
#                               sets the variable t_NAME to its mean in seconds and tmed_NAME
#                               to its median (the mean again with the loop)
#   ratio A B, verdict VALUE LIMIT
# shellcheck shell=bash

bench_init() {
  bench_name=$1
  build=$(cd "$2" && pwd)
  cli=$build/skimlet-cli
  server=$build/skimlet-static-server
  export LC_ALL=C
  for tool in "$cli" "$server"; do
    if [ ! -x "$tool" ]; then
      echo "$bench_name: skipped, $tool is not built"
      exit 0
    fi
  done
  if ! command -v wget >/dev/null; then
    echo "$bench_name: skipped, wget is not installed"
    exit 0
  fi
  work=$(mktemp -d)
  server_pids=()
  trap bench_cleanup EXIT
}

bench_cleanup() {
  local pid
  for pid in "${server_pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  chmod -R u+w "$work" 2>/dev/null || true
  rm -rf "$work"
}

bench_serve() {
  rm -f "$work/port"
  "$server" "$1" --port 0 --latency-ms "$2" --port-file "$work/port" "${@:3}" >/dev/null 2>"$work/server.err" &
  server_pids+=($!)
  for _ in $(seq 1 100); do
    [ -s "$work/port" ] && break
    sleep 0.05
  done
  [ -s "$work/port" ] || { echo "$bench_name: the server did not start: $(cat "$work/server.err")" >&2; exit 1; }
  base="http://127.0.0.1:$(cat "$work/port")"
}

mean_seconds() {
  local total=0 i t0 t1
  for i in $(seq 1 "$RUNS"); do
    bash -c "$1"
    t0=$(date +%s%N)
    bash -c "$2" >/dev/null 2>&1
    t1=$(date +%s%N)
    total=$((total + t1 - t0))
  done
  awk -v ns="$total" -v n="$RUNS" 'BEGIN { printf "%.4f", ns / n / 1e9 }'
}

bench_time() {
  local args=() name
  if [ "${BENCH_NO_HYPERFINE:-0}" != 1 ] && command -v hyperfine >/dev/null; then
    echo "timing with hyperfine, $RUNS runs each after one warm-up"
    while [ $# -gt 0 ]; do
      args+=(-n "$1" -p "$2" "$3")
      shift 3
    done
    hyperfine --style basic --runs "$RUNS" --warmup 1 --export-csv "$work/times.csv" "${args[@]}"
    for name in $(awk -F, 'NR > 1 { print $1 }' "$work/times.csv"); do
      printf -v "t_${name//-/_}" '%s' "$(awk -F, -v n="$name" '$1 == n { printf "%.4f", $2 }' "$work/times.csv")"
      printf -v "tmed_${name//-/_}" '%s' "$(awk -F, -v n="$name" '$1 == n { printf "%.4f", $4 }' "$work/times.csv")"
    done
  else
    echo "timing with a date +%s%N loop, $RUNS runs each"
    while [ $# -gt 0 ]; do
      name=$1
      printf -v "t_${name//-/_}" '%s' "$(mean_seconds "$2" "$3")"
      local mean_var="t_${name//-/_}"
      printf -v "tmed_${name//-/_}" '%s' "${!mean_var}"
      shift 3
    done
  fi
}

# The usual loop as channel CHANNEL in DIR/Accounts: index INDEX_URL, article links matching
# FRAGMENT; with PICTURES=1 the FindAttachment step (localise, queue, blank the rest) too.
bench_channel() {  # DIR CHANNEL INDEX_URL FRAGMENT PICTURES
  local dir="$1/Accounts/$2" pictures=()
  [ "$5" = 1 ] && pictures=(FindAttachment ON StandartParameter=0 StandartParameter=0 StandartParameter=0 '' 'pictures')
  mkdir -p "$dir"
  printf '1\n' >"$dir/.skimlet-attributes"
  printf '%s\r\n' $((8 + $5)) \
    GetStart ON "$3" 'class="news-list"' -999 '' 'index page' \
    FindUrlNews ON "$4" -1 '' '' 'next new link' \
    EditUrlNews ON '' '' '' '' 'absolute link' \
    GetNews ON 'class="article"' '' '' 1 'fetch the news' \
    EditHTMLNews ON StandartParameter=0 StandartParameter=0 '' '' 'scripts and links' \
    FindNameNews ON '<title>' '</title>' '' '' 'name' \
    "${pictures[@]}" \
    SaveNews ON '' '' '' '' 'save' \
    GotoMacro ON 1 StandartParameter=0 '' '' 'next link' >"$dir/Skimlet-macros.ini"
}

# The picture loop as the channel "Bench" in DIR/Accounts: index BASE/index.html. The settings
# of a long run go into $work/config through skimlet-cli CLI.
bench_picture_channel() {  # DIR BASE FRAGMENT CLI
  bench_channel "$1" Bench "$2/index.html" "$3" 1
  export XDG_CONFIG_HOME=$work/config
  mkdir -p "$XDG_CONFIG_HOME"
  "$4" settings Setting/MaxDownloads.Value=10000 >/dev/null
  "$4" settings Setting/LEDCount.Value=3 >/dev/null
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
verdict() { awk -v v="$1" -v l="$2" 'BEGIN { print (v <= l ? "ok" : "OVER") }'; }
