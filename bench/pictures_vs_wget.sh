#!/usr/bin/env bash
# Side-by-side speed of a download with pictures against wget, on a loopback site that adds
# 20 ms to every request: 200 articles with 5 small PNG pictures each.
#   (a) wget -q -p -k -i list: the index page and the 200 articles with their pictures;
#   (b) skimlet-cli download of one channel that saves those articles with FindAttachment and
#       fetches their pictures into Attachment/ with LEDCount 3.
# Target: (b)/(a) <= 0.3.
#
#   bench/pictures_vs_wget.sh BUILD_DIR       (called at the end of bench/run.sh)
#
# Times come from hyperfine when it is installed (3 runs after one warm-up), else from a
# date +%s%N loop (3 runs; also with BENCH_NO_HYPERFINE=1). Every skimlet-cli run starts from a
# fresh data directory and private settings.
set -euo pipefail

# shellcheck source=bench/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
ARTICLES=200
PICTURES=5
RUNS=${BENCH_RUNS:-3}
LATENCY_MS=20
echo "== skimlet-cli download with pictures vs wget -p -k ($ARTICLES articles x $PICTURES pictures," \
  "$LATENCY_MS ms per request, 127.0.0.1)"
bench_init pictures_vs_wget "${1:?usage: bench/pictures_vs_wget.sh BUILD_DIR}"

# ---- the site: index.html, a/NNNN.html, img/NNNN-K.png ----------------------------------------

site=$work/site
mkdir -p "$site/a" "$site/img"
# A 1x1 PNG; every picture gets its own copy and its own address.
printf '\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\1\0\0\0\1\x08\x06\0\0\0\x1f\x15\xc4\x89\0\0\0\rIDATx\xdac\xf8\xff\xff?\0\x05\xfe\x02\xfe\xa75\x81\x84\0\0\0\0IEND\xaeB`\x82' \
  >"$work/pixel.png"
para="<p>The city council discussed the budget for the next year. The deputies proposed to spend more on roads,
schools and parks; the decision will be taken at the next meeting after public hearings in every district.</p>"
for i in $(seq 1 "$ARTICLES"); do
  n=$(printf '%04d' "$i")
  {
    printf '<!DOCTYPE html>\n<html>\n<head>\n<meta charset="utf-8">\n<title>News %s</title>\n</head>\n<body>\n' "$n"
    printf '<div class="top"><a href="../index.html">index</a></div>\n<div class="article">\n<h1>News %s</h1>\n' "$n"
    for k in $(seq 1 "$PICTURES"); do
      printf '%s\n<img src="../img/%s-%d.png" width="1" height="1" alt="">\n' "$para" "$n" "$k"
      cp "$work/pixel.png" "$site/img/$n-$k.png"
    done
    printf '</div>\n</body>\n</html>\n'
  } >"$site/a/$n.html"
done
{
  printf '<!DOCTYPE html>\n<html>\n<head>\n<meta charset="utf-8">\n<title>Bench</title>\n</head>\n<body>\n'
  printf '<div class="news-list">\n'
  for i in $(seq 1 "$ARTICLES"); do
    n=$(printf '%04d' "$i")
    printf '<div class="item"><a href="a/%s.html">News %s</a></div>\n' "$n" "$n"
  done
  printf '</div>\n</body>\n</html>\n'
} >"$site/index.html"

bench_serve "$site" "$LATENCY_MS"
{
  echo "$base/index.html"
  for i in $(seq 1 "$ARTICLES"); do printf '%s/a/%04d.html\n' "$base" "$i"; done
} >"$work/list"

# ---- the channel: the usual loop with FindAttachment (localise, queue, blank the rest) --------

tpl=$work/tpl
bench_picture_channel "$tpl" "$base" 'a/*.html' "$cli"

# Does this build download the articles and their pictures?
cp -R "$tpl" "$work/probe"
if ! "$cli" --home "$work/probe" download --log raw >"$work/probe.log" 2>&1; then
  echo "pictures_vs_wget: skipped, skimlet-cli download failed: $(tail -n 3 "$work/probe.log")"
  exit 0
fi
saved=$(find "$work/probe/Accounts" -name '*.html' | wc -l)
pictures=$(find "$work/probe/Accounts" -path '*/Attachment/*.png' | wc -l)
temps=$(find "$work/probe/Accounts" -name '*.SK-tmp' | wc -l)
if [ "$saved" -ne "$ARTICLES" ] || [ "$pictures" -ne $((ARTICLES * PICTURES)) ] || [ "$temps" -ne 0 ]; then
  echo "pictures_vs_wget: a download saved $saved of $ARTICLES articles and $pictures of" \
    "$((ARTICLES * PICTURES)) pictures, $temps .SK-tmp left; the comparison would be void" >&2
  tail -n 20 "$work/probe.log" >&2
  exit 1
fi
if ! grep -q 'SRC="Attachment/' "$(find "$work/probe/Accounts" -name '*.html' | head -n 1)"; then
  echo "pictures_vs_wget: the saved pages do not point at Attachment/" >&2
  exit 1
fi

# ---- timing ---------------------------------------------------------------------------------

prep_wget="rm -rf $work/wget-out && mkdir $work/wget-out"
cmd_wget="wget -q -p -k -P $work/wget-out -i $work/list"
prep_cli="chmod -R u+w $work/d 2>/dev/null; rm -rf $work/d && cp -R $tpl $work/d"
cmd_cli="$cli --home $work/d download --log raw"

bench_time wget "$prep_wget" "$cmd_wget" skimlet "$prep_cli" "$cmd_cli"
t_cli=$t_skimlet

# Both timed runs must have done the whole job.
wget_pictures=$(find "$work/wget-out" -name '*.png' | wc -l)
cli_pictures=$(find "$work/d/Accounts" -path '*/Attachment/*.png' | wc -l)
if [ "$wget_pictures" -ne $((ARTICLES * PICTURES)) ] || [ "$cli_pictures" -ne $((ARTICLES * PICTURES)) ]; then
  echo "pictures_vs_wget: wget fetched $wget_pictures and skimlet-cli $cli_pictures pictures" >&2
  exit 1
fi

ratio=$(ratio "$t_cli" "$t_wget")
verdict=$(verdict "$ratio" 0.3)
echo
printf '%-62s %8.3f s\n' "(a) wget -q -p -k -i list: index + $ARTICLES articles + pictures" "$t_wget"
printf '%-62s %8.3f s   ratio (b)/(a) %s  (target <= 0.3: %s)\n' \
  "(b) skimlet-cli download, FindAttachment, LEDCount 3" "$t_cli" "$ratio" "$verdict"
