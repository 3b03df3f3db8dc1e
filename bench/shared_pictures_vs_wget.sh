#!/usr/bin/env bash
# Side-by-side speed of a download with pictures against wget, on a loopback site with no added
# latency: 180 articles of a news site, 11 pictures each, 670 distinct picture addresses (the
# site's logo and icons on every page, three photos of each article, and four "read also"
# thumbnails that point at the most-read articles).
#   (a) wget -q -p -k -E -i list: the index page and the 180 articles with their pictures;
#   (b) skimlet-cli download of one channel that saves those articles with FindAttachment and
#       fetches their pictures into Attachment/ (LEDCount 3).
# Targets: (b)/(a) <= 1.0; the server sees one request per page and per distinct picture;
# skimlet-cli creates at most 30 threads (counted with strace when it is installed).
#
#   bench/shared_pictures_vs_wget.sh BUILD_DIR       (called at the end of bench/run.sh)
set -euo pipefail

# shellcheck source=bench/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
ARTICLES=180
TOP=126  # the articles whose thumbnails other pages show
RUNS=${BENCH_RUNS:-3}
echo "== skimlet-cli download with shared pictures vs wget -p -k -E ($ARTICLES articles x 11 pictures," \
  "670 distinct, no latency, 127.0.0.1)"
bench_init shared_pictures_vs_wget "${1:?usage: bench/shared_pictures_vs_wget.sh BUILD_DIR}"

# ---- the site: index.html, news/NNNN.html, img/site/*, img/photo/NNNN-K.jpg, img/thumb/NNNN.jpg

site=$work/site
mkdir -p "$site/news" "$site/img/site" "$site/img/photo" "$site/img/thumb"
picture() { head -c "$2" /dev/urandom >"$1"; }  # FILE BYTES
picture "$site/img/site/logo.png" 6000
picture "$site/img/site/rss.gif" 900
picture "$site/img/site/vk.png" 1200
picture "$site/img/site/tg.png" 1100
to1251() { printf '%s' "$1" | iconv -f UTF-8 -t WINDOWS-1251; }
para=$(to1251 "Городской совет обсудил бюджет на следующий год. Депутаты предложили увеличить расходы на ремонт дорог и школ, а также на благоустройство парков. Окончательное решение примут на следующем заседании, после общественных слушаний.")
title_word=$(to1251 "Новость дня")
also=$(to1251 "Читайте также")
for i in $(seq 1 "$ARTICLES"); do
  n=$(printf '%04d' "$i")
  picture "$site/img/photo/$n-1.jpg" 45000
  picture "$site/img/photo/$n-2.jpg" 30000
  picture "$site/img/photo/$n-3.jpg" 30000
  [ "$i" -le "$TOP" ] && picture "$site/img/thumb/$n.jpg" 5000
  {
    printf '<!DOCTYPE html>\n<html lang="ru">\n<head>\n<meta charset="windows-1251">\n'
    printf '<title>%s %s</title>\n</head>\n<body>\n' "$title_word" "$n"
    printf '<header><a href="/index.html"><img src="/img/site/logo.png" alt="logo"></a>\n'
    printf '<a href="/rss.xml"><img src="/img/site/rss.gif" alt=""></a> <img src="/img/site/vk.png" alt="">'
    printf ' <img src="/img/site/tg.png" alt=""></header>\n'
    printf '<div class="article">\n<h1>%s %s</h1>\n' "$title_word" "$n"
    printf '<figure><img src="../img/photo/%s-1.jpg" width="800" height="450" alt=""></figure>\n' "$n"
    printf '<p>%s</p>\n<p>%s</p>\n' "$para" "$para"
    printf '<img src="../img/photo/%s-2.jpg" width="400" height="300" alt="">\n<p>%s</p>\n' "$n" "$para"
    printf '<img src="../img/photo/%s-3.jpg" width="400" height="300" alt="">\n<p>%s</p>\n</div>\n' "$n" "$para"
    printf '<aside><h3>%s</h3>\n' "$also"
    for k in 1 2 3 4; do
      t=$(printf '%04d' $(((i + k * 7) % TOP + 1)))
      printf '<a href="%s.html"><img src="../img/thumb/%s.jpg" width="120" height="80" alt=""></a>\n' "$t" "$t"
    done
    printf '</aside>\n</body>\n</html>\n'
  } >"$site/news/$n.html"
done
{
  printf '<!DOCTYPE html>\n<html>\n<head>\n<meta charset="windows-1251">\n<title>Bench</title>\n</head>\n<body>\n'
  printf '<div class="news-list">\n'
  for i in $(seq 1 "$ARTICLES"); do
    n=$(printf '%04d' "$i")
    printf '<div class="item"><a href="news/%s.html">%s %s</a></div>\n' "$n" "$title_word" "$n"
  done
  printf '</div>\n</body>\n</html>\n'
} >"$site/index.html"
distinct=$(find "$site/img" -type f | wc -l)

bench_serve "$site" 0 --stats
{
  echo "$base/index.html"
  for i in $(seq 1 "$ARTICLES"); do printf '%s/news/%04d.html\n' "$base" "$i"; done
} >"$work/list"
server_stats() { wget -q -O - "$base/__stats${1:-}"; }

# ---- the channel: the usual loop with FindAttachment (localise, queue, blank the rest) --------

tpl=$work/tpl
mkdir -p "$tpl/Accounts/Bench"
printf '1\n' >"$tpl/Accounts/Bench/.skimlet-attributes"
printf '%s\r\n' 9 \
  GetStart ON "$base/index.html" 'class="news-list"' -999 '' 'index page' \
  FindUrlNews ON 'news/*.html' -1 '' '' 'next new link' \
  EditUrlNews ON '' '' '' '' 'absolute link' \
  GetNews ON 'class="article"' '' '' 1 'fetch the news' \
  EditHTMLNews ON StandartParameter=0 StandartParameter=0 '' '' 'scripts and links' \
  FindNameNews ON '<title>' '</title>' '' '' 'name' \
  FindAttachment ON StandartParameter=0 StandartParameter=0 StandartParameter=0 '' 'pictures' \
  SaveNews ON '' '' '' '' 'save' \
  GotoMacro ON 1 StandartParameter=0 '' '' 'next link' >"$tpl/Accounts/Bench/Skimlet-macros.ini"

export XDG_CONFIG_HOME=$work/config
mkdir -p "$XDG_CONFIG_HOME"
"$cli" settings Setting/MaxDownloads.Value=10000 >/dev/null
"$cli" settings Setting/LEDCount.Value=3 >/dev/null

# ---- one counted run: requests and connections at the server, threads created ----------------

cp -R "$tpl" "$work/probe"
server_stats '?reset' >/dev/null
probe=("$cli" --home "$work/probe" download --log raw)
threads=""
if command -v strace >/dev/null && strace -f -qq -e trace=clone,clone3 -o "$work/clones" true 2>/dev/null; then
  set +e
  strace -f -qq -e trace=clone,clone3 -o "$work/clones" "${probe[@]}" >"$work/probe.log" 2>&1
  rc=$?
  set -e
  threads=$(grep -c 'CLONE_THREAD' "$work/clones" || true)
else
  set +e
  "${probe[@]}" >"$work/probe.log" 2>&1
  rc=$?
  set -e
fi
read -r _ requests _ connections < <(server_stats)
saved=$(find "$work/probe/Accounts" -name '*.html' | wc -l)
files=$(find "$work/probe/Accounts" -path '*/Attachment/*' -type f | wc -l)
temps=$(find "$work/probe/Accounts" -name '*.SK-tmp' | wc -l)
if [ "$rc" -ne 0 ] || [ "$saved" -ne "$ARTICLES" ] || [ "$files" -ne $((ARTICLES * 11)) ] || [ "$temps" -ne 0 ]; then
  echo "shared_pictures_vs_wget: exit $rc, saved $saved of $ARTICLES articles and $files of" \
    "$((ARTICLES * 11)) pictures, $temps .SK-tmp left; the comparison would be void" >&2
  tail -n 20 "$work/probe.log" >&2
  exit 1
fi

server_stats '?reset' >/dev/null
rm -rf "$work/wget-probe" && mkdir "$work/wget-probe"
wget -q -p -k -E -P "$work/wget-probe" -i "$work/list" || true
read -r _ wget_requests _ wget_connections < <(server_stats)

# ---- timing ---------------------------------------------------------------------------------

prep_wget="rm -rf $work/wget-out && mkdir $work/wget-out"
cmd_wget="wget -q -p -k -E -P $work/wget-out -i $work/list"
prep_cli="chmod -R u+w $work/d 2>/dev/null; rm -rf $work/d && cp -R $tpl $work/d"
cmd_cli="$cli --home $work/d download --log raw"

bench_time wget "$prep_wget" "$cmd_wget" skimlet "$prep_cli" "$cmd_cli"
t_cli=$t_skimlet

cli_files=$(find "$work/d/Accounts" -path '*/Attachment/*' -type f | wc -l)
if [ "$cli_files" -ne $((ARTICLES * 11)) ]; then
  echo "shared_pictures_vs_wget: the timed skimlet-cli run left $cli_files of $((ARTICLES * 11)) pictures" >&2
  exit 1
fi

pages=$((ARTICLES + 1))
ratio=$(ratio "$t_cli" "$t_wget")
# On a shared machine the median is the steadier figure; both are shown, the median decides.
ratio_med=$(ratio "$tmed_skimlet" "$tmed_wget")
echo
printf '%-62s %8.3f s (median %.3f s)   %d requests on %d connections\n' \
  "(a) wget -q -p -k -E -i list: index + $ARTICLES articles + pictures" "$t_wget" "$tmed_wget" \
  "$wget_requests" "$wget_connections"
printf '%-62s %8.3f s (median %.3f s)   ratio (b)/(a) %s, of medians %s  (target <= 1.0: %s)\n' \
  "(b) skimlet-cli download, FindAttachment, LEDCount 3" "$t_cli" "$tmed_skimlet" "$ratio" "$ratio_med" \
  "$(verdict "$ratio_med" 1.0)"
printf '%-62s %8d      (pages %d + distinct pictures %d = %d: %s)\n' "    requests of (b) at the server" "$requests" \
  "$pages" "$distinct" $((pages + distinct)) "$([ "$requests" -eq $((pages + distinct)) ] && echo ok || echo OVER)"
printf '%-62s %8d\n' "    connections of (b) at the server" "$connections"
if [ -n "$threads" ]; then
  printf '%-62s %8d      (target <= 30: %s)\n' "    threads created by (b)" "$threads" "$(verdict "$threads" 30)"
else
  echo "    threads created: strace is not installed"
fi
