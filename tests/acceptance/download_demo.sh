#!/usr/bin/env bash
# End to end: serves the bundled demo site on 127.0.0.1, sets up the demo channel in a fresh
# data directory and downloads it with skimlet-cli, then checks what a user would find on disk
# and in the log; downloads again and checks that nothing new is saved.
#
#   tests/acceptance/download_demo.sh SKIMLET_CLI SKIMLET_STATIC_SERVER REPO_ROOT
#
# Prints one line per check and "N passed, M failed" last; exits non-zero when a check failed.
set -uo pipefail

cli=${1:?usage: download_demo.sh SKIMLET_CLI SKIMLET_STATIC_SERVER REPO_ROOT}
server=${2:?usage: download_demo.sh SKIMLET_CLI SKIMLET_STATIC_SERVER REPO_ROOT}
root=${3:?usage: download_demo.sh SKIMLET_CLI SKIMLET_STATIC_SERVER REPO_ROOT}
cli=$(cd "$(dirname "$cli")" && pwd)/$(basename "$cli")
server=$(cd "$(dirname "$server")" && pwd)/$(basename "$server")
root=$(cd "$root" && pwd)

# This script compares bytes (Windows-1251 and UTF-8 side by side): C locale. skimlet-cli runs
# in C.UTF-8, whose short date format (%m/%d/%y) the header check expects.
export LC_ALL=C
unset SKIMLET_HOME
run_cli() { LC_ALL=C.UTF-8 timeout 120 "$cli" "$@"; }  # a hung run fails (exit 124)

tmp=$(mktemp -d)
server_pid=""
# shellcheck disable=SC2317  # called by the EXIT trap
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  chmod -R u+w "$tmp" 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT

passed=0 failed=0
pass() {
  passed=$((passed + 1))
  echo "ok   - $1"
}
fail() {
  failed=$((failed + 1))
  echo "FAIL - $1"
  shift
  local line
  for line in "$@"; do printf '       %s\n' "$line"; done
}
# expect_eq NAME EXPECTED ACTUAL
expect_eq() {
  if [ "$2" == "$3" ]; then pass "$1"; else fail "$1" "expected: $2" "actual:   $3"; fi
}
# expect NAME COMMAND...: passes when the command succeeds
expect() {
  local name=$1
  shift
  if "$@"; then pass "$name"; else fail "$name" "command failed: $*"; fi
}
# expect_no NAME PATTERN FILE: passes when FILE has no line matching the extended PATTERN
expect_no() {
  if grep -qiE -- "$2" "$3"; then fail "$1" "found /$2/ in $3"; else pass "$1"; fi
}
finish() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit $?
}

cp1251() { printf '%s' "$1" | iconv -f UTF-8 -t WINDOWS-1251; }
utf8() { iconv -f WINDOWS-1251 -t UTF-8; }

# ---- set-up: web server, data directory, private settings -----------------------------------

"$server" "$root/examples/site" --port 0 --port-file "$tmp/port" >/dev/null 2>"$tmp/server.err" &
server_pid=$!
for _ in $(seq 1 100); do
  [ -s "$tmp/port" ] && break
  sleep 0.05
done
if [ ! -s "$tmp/port" ]; then
  fail "the demo web server starts" "$(cat "$tmp/server.err")"
  finish
fi
port=$(cat "$tmp/port")
base="http://127.0.0.1:$port"

data=$tmp/data
export XDG_CONFIG_HOME=$tmp/config
mkdir -p "$data/Accounts" "$XDG_CONFIG_HOME"
cp -R "$root/examples/channel/Accounts/." "$data/Accounts/"
channel="$data/Accounts/Демо-новости"
news="$channel/Новости"
sport="$channel/Спорт"
while IFS= read -r -d '' macro; do
  chmod u+w "$macro"
  sed -i "s|@PORT@|$port|g" "$macro"
done < <(find "$data/Accounts" -name Skimlet-macros.ini -print0)

# saved_names DIR: the news files directly in DIR, one name a line, sorted
saved_names() {
  find "$1" -maxdepth 1 -type f \( -name '*.html' -o -name '*.htm' \) ! -name '.*' -printf '%f\n' | sort
}
count_lines_starting() {  # FILE PREFIX
  local prefix=$2
  awk -v p="$prefix" 'index($0, p) == 1 { n++ } END { print n + 0 }' "$1"
}

# ---- first run: everything is new ------------------------------------------------------------

date_before=$(date +%m/%d/%y)
run_cli --home "$data" download --log raw >"$tmp/run1.log" 2>"$tmp/run1.err"
rc=$?
date_after=$(date +%m/%d/%y)
expect_eq "first download exits 0" 0 "$rc"
[ "$rc" = 0 ] || { echo "--- its log:"; grep -a -i -E "ошиб|не получ|не загруж|HTTP|медлен|отвеч|отклон" "$tmp/run1.log" | head -20; tail -3 "$tmp/run1.log"; cat "$tmp/run1.err"; }
if grep -q "not available" "$tmp/run1.err"; then
  fail "skimlet-cli can download" "$(cat "$tmp/run1.err")"
  finish
fi

expected_news=$(sort <<'EOF'
Волонтёры собрали две тонны макулатуры.html
Выставка старинных открыток в краеведческом музее.html
Расписание пригородных автобусов изменится с 10 декабря.html
Детский хор Звёздочка стал лауреатом конкурса.html
Ремонт водопровода на улице Ленина завершён досрочно.html
Погода на выходные снег и лёгкий мороз.html
Театр юного зрителя показал премьеру.html
В парке Ивушка высадили 300 лип.html
Зимняя ярмарка мёд, валенки и пряники.html
В школе № 12 открылся кабинет робототехники.html
Трамвайный маршрут № 7 возобновил работу.html
Городская библиотека продлевает часы работы.html
Погода на выходные снег и лёгкий мороз (1).html
Новый мост через Волгу открыт для движения.html
EOF
)
expected_sport=$(sort <<'EOF'
Футбол юношеская команда вышла в финал.html
Лыжная гонка собрала 400 участников.html
Хоккей Северные волки выиграли в овертайме.html
EOF
)
expect_eq "rubric Новости holds 14 news files" 14 "$(saved_names "$news" | grep -c .)"
expect_eq "rubric Спорт holds 3 news files" 3 "$(saved_names "$sport" | grep -c .)"
expect_eq "the channel folder itself holds no news" 0 "$(saved_names "$channel" | grep -c .)"
expect_eq "news files in Новости are named after the page titles" "$expected_news" "$(saved_names "$news")"
expect_eq "news files in Спорт are named after the page titles" "$expected_sport" "$(saved_names "$sport")"

# ---- the news file: header comment, body, attributes ------------------------------------------

most="$news/Новый мост через Волгу открыт для движения.html"
if [ -f "$most" ]; then
  mapfile -t head7 < <(head -n 7 "$most" | utf8 | tr -d '\r')
  l1=${head7[0]:-}
  expect "header line 1 opens the comment" test "${l1#<!-- The file created from Skimlet. See }" != "$l1"
  expect_eq "header line 2 is the news name" "SkimletNAME:Новый мост через Волгу открыт для движения" "${head7[1]:-}"
  expect_eq "header line 3 is the news URL (root-relative link resolved)" \
    "SkimletURL:$base/news/2026-12-01-most.html" "${head7[2]:-}"
  expect_eq "header line 4 names the channel" "SkimletNode:Демо-новости" "${head7[3]:-}"
  expect "header line 4 is Windows-1251" \
    cmp -s <(sed -n 4p "$most" | tr -d '\r\n') <(cp1251 "SkimletNode:Демо-новости")
  if [ "${head7[4]:-}" = "SkimletDate:$date_before" ] || [ "${head7[4]:-}" = "SkimletDate:$date_after" ]; then
    pass "header line 5 is the date of writing"
  else
    fail "header line 5 is the date of writing" "expected: SkimletDate:$date_before" "actual:   ${head7[4]:-}"
  fi
  expect "header line 6 is the time of writing" \
    grep -qE '^SkimletTime:[0-9]{2}:[0-9]{2}:[0-9]{2}$' <<<"${head7[5]:-}"
  expect_eq "header line 7 closes the comment" "-->" "${head7[6]:-}"
  expect_eq "every header line ends in CR LF" 7 "$(head -n 7 "$most" | grep -c $'\r$')"
  expect_eq "every line of the file ends in CR LF" "$(grep -c '' "$most")" "$(grep -c $'\r$' "$most")"
  expect "the body follows the header (title of the page on its own line)" \
    grep -q "^$(cp1251 '<title>Новый мост через Волгу открыт для движения</title>')"$'\r$' "$most"
  expect "the article text is kept" grep -q "$(cp1251 'Первыми по мосту проехали городские автобусы.')" "$most"
  expect "the link back to the index is absolute" grep -q "HREF=\"$base/" "$most"
  expect_no "no relative link is left" 'href="\.\./' "$most"
else
  fail "the news file of the first article exists" "missing: $most"
fi

twice="$news/Погода на выходные снег и лёгкий мороз (1).html"
if [ -f "$twice" ]; then
  expect_eq "a second news of the same title gets the suffix (1) in its name" \
    "SkimletNAME:Погода на выходные снег и лёгкий мороз (1)" "$(sed -n 2p "$twice" | utf8 | tr -d '\r')"
  expect_eq "the suffixed news is the older one, listed later on the index page" \
    "SkimletURL:$base/news/2026-12-01-pogoda.html" "$(sed -n 3p "$twice" | utf8 | tr -d '\r')"
else
  fail "the second news of the same title is saved with (1)" "missing: $twice"
fi

hockey="$sport/Хоккей Северные волки выиграли в овертайме.html"
if [ -f "$hockey" ]; then
  expect_eq "a rubric's news names the channel, not the rubric" "SkimletNode:Демо-новости" \
    "$(sed -n 4p "$hockey" | utf8 | tr -d '\r')"
  expect_eq "a relative link of the rubric's index page resolves against that page" \
    "SkimletURL:$base/sport/2026-12-02-hokkei.html" "$(sed -n 3p "$hockey" | utf8 | tr -d '\r')"
else
  fail "the hockey news of the rubric Спорт exists" "missing: $hockey"
fi

choir="$news/Детский хор Звёздочка стал лауреатом конкурса.html"
if [ -f "$choir" ]; then
  expect_eq "a UTF-8 page's title arrives as Windows-1251 in the header" \
    "SkimletNAME:Детский хор Звёздочка стал лауреатом конкурса" "$(sed -n 2p "$choir" | utf8 | tr -d '\r')"
  expect "a UTF-8 page's text is saved in Windows-1251" \
    grep -q "$(cp1251 'Руководитель хора благодарит родителей за поддержку.')" "$choir"
  expect "a character without a Windows-1251 form becomes a numeric reference" grep -qF '&#8776;' "$choir"
  expect "a converted page declares windows-1251" grep -qi 'charset="\?windows-1251' "$choir"
  expect_no "a converted page no longer declares utf-8" 'utf-8' "$choir"
else
  fail "the news of the UTF-8 page exists" "missing: $choir"
fi

scripts_left=0 scripts_removed=0 writable=0 saved_total=0
while IFS= read -r -d '' f; do
  saved_total=$((saved_total + 1))
  grep -q '<script' "$f" && scripts_left=$((scripts_left + 1))
  grep -q 'document.write("' "$f" && scripts_left=$((scripts_left + 1))
  grep -q '<!-- The script delete Skimlet -->' "$f" && grep -q '<!-- The NOscript delete Skimlet -->' "$f" &&
    scripts_removed=$((scripts_removed + 1))
  [[ $(stat -c %a "$f") =~ [2367] ]] && writable=$((writable + 1))
done < <(find "$channel" -type f -name '*.html' -print0)
expect_eq "17 news files saved in all" 17 "$saved_total"
expect_eq "no saved news holds a lower-case <script or a document.write(\"" 0 "$scripts_left"
expect_eq "every saved news has its scripts replaced by comments" "$saved_total" "$scripts_removed"
expect_eq "every saved news is read-only (unread)" 0 "$writable"

# ---- the history ----------------------------------------------------------------------------

history="$data/history/HTMLhistory.Items.txt"
if [ -f "$history" ]; then
  expect_eq "the history has one line per saved news" 17 "$(grep -c '' "$history")"
  expect_eq "history lines end in CR LF" 17 "$(grep -c $'\r$' "$history")"
  expect_eq "every history line has the form: date time, NewsURL=, the URL, the name" 17 \
    "$(utf8 <"$history" | tr -d '\r' | grep -cE "^[0-9/.]+ [0-9:]+  NewsURL=$base/(news|sport)/2026-12-0[1-7]-[a-z]+\.html  .+$")"
  expect "the history line of a news ends with its name" \
    grep -q "NewsURL=$base/news/2026-12-01-most.html  $(cp1251 'Новый мост через Волгу открыт для движения')"$'\r$' "$history"
  distinct=$(grep -o "NewsURL=[^ ]*" "$history" | sort -u | wc -l)
  expect_eq "the history names 17 distinct URLs" 17 "$distinct"
else
  fail "the history file exists" "missing: $history"
fi

# ---- the log --------------------------------------------------------------------------------

log1=$tmp/run1.log
expect "the log opens the run in black" grep -qx "0 Демо-новости> Подготовка данных для потока загрузки" "$log1"
expect "the log announces the channel's start in blue" grep -q "^16711680 Демо-новости> Начало загрузки в " "$log1"
expect "the log reports the index page in dark red" \
  grep -qx "128 Демо-новости> step 0>> GetStart($base/index.html) - ГОТОВО" "$log1"
expect_eq "the log has a green SaveNews line for each news of Новости" 14 \
  "$(count_lines_starting "$log1" "32768 Новости> step 6>> SaveNews. Записан файл: ")"
expect_eq "the log has a green SaveNews line for each news of Спорт" 3 \
  "$(count_lines_starting "$log1" "32768 Спорт> step 7>> SaveNews. Записан файл: ")"
expect "the log ends the run in blue" grep -q "^16711680 .*> Конец загрузки в " "$log1"

# ---- second run: nothing new ----------------------------------------------------------------

history_before=$({ md5sum <"$history"; } 2>/dev/null)
run_cli --home "$data" download "Демо-новости" --log raw >"$tmp/run2.log" 2>"$tmp/run2.err"
expect_eq "a second download exits 0" 0 "$?"
expect_eq "a second download saves nothing in Новости" "$expected_news" "$(saved_names "$news")"
expect_eq "a second download saves nothing in Спорт" "$expected_sport" "$(saved_names "$sport")"
expect_eq "a second download writes no SaveNews line" 0 "$(grep -c 'SaveNews. Записан файл' "$tmp/run2.log")"
expect_eq "a second download leaves the history as it was" "$history_before" "$({ md5sum <"$history"; } 2>/dev/null)"
expect_eq "a second download finds every page of Новости loaded before (executing step's number)" 14 \
  "$(grep -cx "255 Новости> step 2>> GetNews. Эта страница была загружена ранее. Переход на шаг №0" "$tmp/run2.log")"
expect_eq "a second download finds every page of Спорт loaded before" 3 \
  "$(grep -cx "255 Спорт> step 3>> GetNews. Эта страница была загружена ранее. Переход на шаг №1" "$tmp/run2.log")"
expect "a second download ends each rubric with no new links" grep -q \
  "^16711680 Новости> step 0>>FindUrlNews. В IndexHTML НЕ НАЙДЕНО новых ссылок, содержащих news/\*.html" "$tmp/run2.log"

# ---- an unknown channel ---------------------------------------------------------------------

run_cli --home "$data" download "Нет-такого-канала" --log raw >"$tmp/run3.log" 2>"$tmp/run3.err"
expect_eq "an unknown channel exits 2" 2 "$?"
expect "an unknown channel is named in the message" grep -q "Нет-такого-канала" "$tmp/run3.err" "$tmp/run3.log"
expect_eq "an unknown channel downloads nothing" 0 "$(grep -c 'Записан файл' "$tmp/run3.log")"

# ---- the assistant: the same site as a new channel from one example each --------------------

new_data=$tmp/new
run_cli --home "$new_data" new "Вести" "$base/index.html" --example "$base/news/2026-12-05-pogoda.html" \
  >"$tmp/new1.out" 2>&1
expect_eq "skimlet-cli new on the demo site exits 0" 0 "$?"
expect_eq "its preview takes the 14 news of the list" 14 "$(grep -c "^  $base/news/" "$tmp/new1.out")"
run_cli --home "$new_data" new "Вести" "$base/sport/index.html" --rubric "Спорт" \
  --example "$base/sport/2026-12-04-lyzhi.html" >"$tmp/new2.out" 2>&1
expect_eq "skimlet-cli new --rubric on the demo site exits 0" 0 "$?"
run_cli --home "$new_data" download "Вести" --log raw >"$tmp/new3.log" 2>&1
expect_eq "the assistant's channel downloads" 0 "$?"
expect_eq "it saves the news of the list, named by their headlines" "$expected_news" "$(saved_names "$new_data/Accounts/Вести")"
expect_eq "its rubric saves the news of Спорт" "$expected_sport" "$(saved_names "$new_data/Accounts/Вести/Спорт")"
run_cli --home "$new_data" check "Вести" >"$tmp/new4.out" 2>&1
expect_eq "the checker finds nothing in the assistant's macros" 0 "$?"

# ---- the demo script itself (make demo), when the two programs lie in one build directory ----

build=$(dirname "$cli")
if [ -x "$build/skimlet-static-server" ] && [ "$(basename "$cli")" = skimlet-cli ]; then
  LC_ALL=C.UTF-8 DEMO_DATA="$tmp/demo" bash "$root/scripts/demo.sh" "$build" >"$tmp/demo1.out" 2>&1
  expect_eq "scripts/demo.sh exits 0" 0 "$?"
  expect "scripts/demo.sh lists 14 news of Новости" grep -q "Демо-новости/Новости.*(14 news)" "$tmp/demo1.out"
  expect "scripts/demo.sh lists 3 news of Спорт" grep -q "Демо-новости/Спорт.*(3 news)" "$tmp/demo1.out"
  LC_ALL=C.UTF-8 DEMO_DATA="$tmp/demo" bash "$root/scripts/demo.sh" "$build" >"$tmp/demo2.out" 2>&1
  expect_eq "scripts/demo.sh again exits 0" 0 "$?"
  expect_eq "scripts/demo.sh again saves nothing new" 17 \
    "$(find "$tmp/demo/Accounts" -type f -name '*.html' | wc -l)"
  expect_eq "scripts/demo.sh again keeps the site's port" \
    "$(grep -o 'http://127.0.0.1:[0-9]*' "$tmp/demo1.out" | head -1)" \
    "$(grep -o 'http://127.0.0.1:[0-9]*' "$tmp/demo2.out" | head -1)"
fi

finish
