#!/usr/bin/env bash
# Side-by-side speed of a download run against wget, on loopback sites that add a latency to
# every request (the run fetches news pages ahead, Setting/LookAhead.Value = 4):
#   (a) wget -q -i list: the index page and 200 articles, one after the other, 20 ms each;
#   (a2) wget2 --max-threads=4 -i list: the same list, four at a time;
#   (b) skimlet-cli download of one channel that saves those 200 articles (no pictures), and
#       the peak memory of skimlet-cli; the same with look-ahead off for comparison;
#   (c) four channels of 50 articles each downloaded at once, 5 ms per request, against wget
#       of the same pages.
# Targets: (b)/(a) <= 0.4, (b) <= (a2), peak memory < 40 MiB, (c)/wget <= 0.35. The servers
# count requests and new connections.
#
#   bench/run_vs_wget.sh BUILD_DIR       (called at the end of bench/run.sh)
#
# Times come from hyperfine when it is installed (3 runs after one warm-up), else from a
# date +%s%N loop (3 runs; also with BENCH_NO_HYPERFINE=1). Every skimlet-cli run starts from a
# fresh data directory.
set -euo pipefail

# shellcheck source=bench/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
ARTICLES=200
CHANNELS=4
RUNS=3
LATENCY_MS=20
LATENCY_FOUR_MS=5
echo "== skimlet-cli download vs wget ($ARTICLES articles, $LATENCY_MS / $LATENCY_FOUR_MS ms per request, 127.0.0.1)"
bench_init run_vs_wget "${1:?usage: bench/run_vs_wget.sh BUILD_DIR}"

# ---- the site: index.html with all articles, part1..4.html with 50 each ---------------------

site=$work/site
mkdir -p "$site/a"
to1251() { printf '%s' "$1" | iconv -f UTF-8 -t WINDOWS-1251; }
para=$(to1251 "Городской совет обсудил бюджет на следующий год. Депутаты предложили увеличить расходы на ремонт дорог и школ, а также на благоустройство парков. Окончательное решение примут на следующем заседании, после общественных слушаний, которые пройдут во всех районах города.")
title_word=$(to1251 "Новость номер")
more=$(to1251 "Читать далее")
body=""
for _ in 1 2 3 4 5 6 7 8; do body+="<p>$para</p>"$'\n'; done
for i in $(seq 1 "$ARTICLES"); do
  n=$(printf '%04d' "$i")
  {
    printf '<!DOCTYPE html>\n<html>\n<head>\n<meta charset="windows-1251">\n'
    printf '<title>%s %s</title>\n<link rel="stylesheet" href="../style.css">\n' "$title_word" "$n"
    printf '<script>document.write("<b>ad</b>");</script>\n</head>\n<body>\n'
    printf '<div class="top"><a href="../index.html">index</a></div>\n'
    printf '<div class="article">\n<h1>%s %s</h1>\n%s</div>\n' "$title_word" "$n" "$body"
    printf '<div class="bottom"><a href="/index.html">index</a></div>\n</body>\n</html>\n'
  } >"$site/a/$n.html"
done
index_page() {  # FILE FIRST LAST
  {
    printf '<!DOCTYPE html>\n<html>\n<head>\n<meta charset="windows-1251">\n<title>Bench</title>\n'
    printf '<link rel="stylesheet" href="style.css">\n</head>\n<body>\n<div class="news-list">\n'
    local i n
    for i in $(seq "$2" "$3"); do
      n=$(printf '%04d' "$i")
      printf '<div class="item"><a href="a/%s.html">%s %s</a> <a href="/a/%s.html">%s</a></div>\n' \
        "$n" "$title_word" "$n" "$n" "$more"
    done
    printf '</div>\n</body>\n</html>\n'
  } >"$1"
}
index_page "$site/index.html" 1 "$ARTICLES"
per=$((ARTICLES / CHANNELS))
for c in $(seq 1 "$CHANNELS"); do index_page "$site/part$c.html" $(((c - 1) * per + 1)) $((c * per)); done
printf 'body { font-family: serif; }\n' >"$site/style.css"

bench_serve "$site" "$LATENCY_FOUR_MS" --stats
base_four=$base
bench_serve "$site" "$LATENCY_MS" --stats
server_stats() { wget -q -O - "$1/__stats${2:-}"; }  # BASE [?reset]

# A server that answers a kept-alive connection late (Nagle's algorithm against the client's
# delayed ACK: about 40 ms per request) would make every figure below meaningless.
ms_of_wget() {  # URL...: wall milliseconds of one wget fetching the URLs over one connection
  local t0 t1
  t0=$(date +%s%N)
  wget -q -O /dev/null "$@"
  t1=$(date +%s%N)
  echo $(((t1 - t0) / 1000000))
}
one=$(ms_of_wget "$base/style.css")
five=$(ms_of_wget "$base/style.css" "$base/style.css" "$base/style.css" "$base/style.css" "$base/style.css")
if [ $(((five - one) / 4)) -gt $((LATENCY_MS + 20)) ]; then
  echo "run_vs_wget: WARNING: a request on a kept-alive connection takes $(((five - one) / 4)) ms, not about" \
    "$LATENCY_MS ms: the static server must set TCP_NODELAY; the figures below are not meaningful" >&2
fi

{
  echo "$base/index.html"
  for i in $(seq 1 "$ARTICLES"); do printf '%s/a/%04d.html\n' "$base" "$i"; done
} >"$work/list-one"
{
  for c in $(seq 1 "$CHANNELS"); do echo "$base_four/part$c.html"; done
  for i in $(seq 1 "$ARTICLES"); do printf '%s/a/%04d.html\n' "$base_four" "$i"; done
} >"$work/list-four"

# ---- the channel set-ups: one folder each, the usual loop without FindAttachment --------------

bench_channel "$work/tpl-one" Bench "$base/index.html" 'a/*.html' 0
for c in $(seq 1 "$CHANNELS"); do bench_channel "$work/tpl-four" "Bench$c" "$base_four/part$c.html" 'a/*.html' 0; done

export XDG_CONFIG_HOME=$work/config
mkdir -p "$XDG_CONFIG_HOME"
"$cli" settings Setting/MaxDownloads.Value=10000 >/dev/null

# Does this build download at all?
cp -R "$work/tpl-one" "$work/probe"
if ! "$cli" --home "$work/probe" download --log raw >"$work/probe.log" 2>&1; then
  echo "run_vs_wget: skipped, skimlet-cli download failed: $(tail -n 3 "$work/probe.log")"
  exit 0
fi
saved=$(find "$work/probe/Accounts" -name '*.html' | wc -l)
if [ "$saved" -ne "$ARTICLES" ]; then
  echo "run_vs_wget: a download run saved $saved of $ARTICLES articles; the comparison would be void" >&2
  tail -n 20 "$work/probe.log" >&2
  exit 1
fi

# Requests and new connections of one run of each (look-ahead on and off, wget, wget2).
have_wget2=0
command -v wget2 >/dev/null && have_wget2=1
count() {  # PREPARE COMMAND [BASE]: "requests N connections M" of one run on that server
  local at=${3:-$base}
  bash -c "$1"
  server_stats "$at" '?reset' >/dev/null
  bash -c "$2" >/dev/null 2>&1 || true
  server_stats "$at"
}

# ---- timing ---------------------------------------------------------------------------------

prep_wget="rm -rf $work/wget-out && mkdir $work/wget-out"
cmd_wget_one="wget -q -P $work/wget-out -i $work/list-one"
cmd_wget2_one="wget2 -q --max-threads=4 -P $work/wget-out -i $work/list-one"
cmd_wget_four="wget -q -P $work/wget-out -i $work/list-four"
prep_one="chmod -R u+w $work/d1 2>/dev/null; rm -rf $work/d1 && cp -R $work/tpl-one $work/d1"
cmd_one="$cli --home $work/d1 download --log raw"
cmd_one_off="XDG_CONFIG_HOME=$work/config-off $cli --home $work/d1 download --log raw"
mkdir -p "$work/config-off"
XDG_CONFIG_HOME=$work/config-off "$cli" settings Setting/MaxDownloads.Value=10000 >/dev/null
XDG_CONFIG_HOME=$work/config-off "$cli" settings Setting/LookAhead.Value=0 >/dev/null
prep_four="chmod -R u+w $work/d4 2>/dev/null; rm -rf $work/d4 && cp -R $work/tpl-four $work/d4"
cmd_four="$cli --home $work/d4 download --log raw"

conn_one=$(count "$prep_one" "$cmd_one")
conn_off=$(count "$prep_one" "$cmd_one_off")
conn_wget=$(count "$prep_wget" "$cmd_wget_one")
conn_wget2=""
conn_four=$(count "$prep_four" "$cmd_four" "$base_four")
conn_wget_four=$(count "$prep_wget" "$cmd_wget_four" "$base_four")
[ "$have_wget2" = 1 ] && conn_wget2=$(count "$prep_wget" "$cmd_wget2_one")

wget2_args=()
[ "$have_wget2" = 1 ] && wget2_args=(wget2-one "$prep_wget" "$cmd_wget2_one")
bench_time wget-one "$prep_wget" "$cmd_wget_one" "${wget2_args[@]}" skimlet-one "$prep_one" "$cmd_one" \
  skimlet-off "$prep_one" "$cmd_one_off" \
  wget-four "$prep_wget" "$cmd_wget_four" skimlet-four "$prep_four" "$cmd_four"
t_one=$t_skimlet_one
t_four=$t_skimlet_four

# The timed runs must have done the whole job.
saved_four=$(find "$work/d4/Accounts" -name '*.html' | wc -l)
if [ "$saved_four" -ne "$ARTICLES" ]; then
  echo "run_vs_wget: the four channels saved $saved_four of $ARTICLES articles" >&2
  exit 1
fi

# ---- peak memory ----------------------------------------------------------------------------

peak_kib() {  # PREPARE COMMAND
  bash -c "$1"
  if [ -x /usr/bin/time ]; then
    /usr/bin/time -f %M -o "$work/mem" bash -c "exec $2 >/dev/null 2>&1"
    tail -n 1 "$work/mem"
  else
    echo ""
  fi
}
mem_one=$(peak_kib "$prep_one" "$cmd_one")
mem_four=$(peak_kib "$prep_four" "$cmd_four")

# ---- report ---------------------------------------------------------------------------------

r_one=$(ratio "$t_one" "$t_wget_one")
r_off=$(ratio "$t_skimlet_off" "$t_wget_one")
r_four=$(ratio "$t_four" "$t_wget_four")
pages_four=$((ARTICLES + CHANNELS))
echo
printf '%-58s %8.3f s   %s\n' "(a) wget -q -i list: index + $ARTICLES articles, $LATENCY_MS ms" "$t_wget_one" "$conn_wget"
if [ "$have_wget2" = 1 ]; then
  r_two=$(ratio "$t_one" "$t_wget2_one")
  printf '%-58s %8.3f s   %s\n' "(a2) wget2 --max-threads=4 -i list: the same" "$t_wget2_one" "$conn_wget2"
else
  echo "(a2) wget2 is not installed (Debian package 'wget2')"
fi
printf '%-58s %8.3f s   ratio (b)/(a) %s  (target <= 0.40: %s)   %s\n' \
  "(b) skimlet-cli download: 1 channel, $ARTICLES articles" "$t_one" "$r_one" "$(verdict "$r_one" 0.40)" "$conn_one"
[ "$have_wget2" = 1 ] &&
  printf '%-58s %8s     ratio (b)/(a2) %s (target <= 1.00: %s)\n' "" "" "$r_two" "$(verdict "$r_two" 1.00)"
printf '%-58s %8.3f s   ratio %s   %s\n' "    the same with look-ahead off" "$t_skimlet_off" "$r_off" "$conn_off"
printf '%-58s %8.3f s   %s\n' "    wget -q -i list: the same $pages_four pages as (c)" "$t_wget_four" "$conn_wget_four"
printf '%-58s %8.3f s   ratio (c)/wget %s  (target <= 0.35: %s)   %s\n' \
  "(c) skimlet-cli download: $CHANNELS channels x $per articles at once, $LATENCY_FOUR_MS ms" "$t_four" "$r_four" "$(verdict "$r_four" 0.35)" "$conn_four"
if [ -n "$mem_one" ]; then
  mib_one=$(awk -v k="$mem_one" 'BEGIN { printf "%.1f", k / 1024 }')
  mib_four=$(awk -v k="$mem_four" 'BEGIN { printf "%.1f", k / 1024 }')
  printf '%-58s %8s MiB (target < 40: %s)\n' "peak memory of skimlet-cli, (b)" "$mib_one" "$(verdict "$mib_one" 39.999)"
  printf '%-58s %8s MiB\n' "peak memory of skimlet-cli, (c)" "$mib_four"
else
  echo "peak memory: /usr/bin/time is not installed (Debian package 'time')"
fi
