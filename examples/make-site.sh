#!/usr/bin/env bash
# Builds the demo news site (examples/site/) and the ready channel set-up for it
# (examples/channel/) from the readable UTF-8 texts in this script.
#
#   examples/make-site.sh            regenerate pages and macro files (pictures only when missing)
#
# Pages that declare windows-1251 are converted with iconv, so the site holds both kinds of
# page a real Russian site of the 2000s would serve. The macro files are written as Skimlet
# reads them: Windows-1251, CR LF, a count line and then seven lines per step. The generated
# files are committed; run this script again after changing a text here.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
site=$here/site
channel=$here/channel

# ---------------------------------------------------------------------------------------------
# Pages

# Escapes the three characters that matter in HTML text.
html_escape() {
  local s=$1
  s=${s//&/&amp;}
  s=${s//</&lt;}
  s=${s//>/&gt;}
  printf '%s' "$s"
}

# Writes UTF-8 text from stdin to FILE in CHARSET ("utf-8" or "windows-1251"). iconv stops on a
# character that Windows-1251 lacks, so a page can never be silently damaged.
write_in_charset() {
  local file=$1 charset=$2
  mkdir -p "$(dirname "$file")"
  if [ "$charset" = windows-1251 ]; then
    iconv -f UTF-8 -t WINDOWS-1251 >"$file.tmp"
  else
    cat >"$file.tmp"
  fi
  mv "$file.tmp" "$file"
}

charset_meta() {  # CHARSET STYLE: the declaration in one of the two forms pages use
  local charset=$1 style=$2
  if [ "$style" = http-equiv ]; then
    printf '<meta http-equiv="Content-Type" content="text/html; charset=%s">\n' "$charset"
  else
    printf '<meta charset="%s">\n' "$charset"
  fi
}

# Index entries collected by article(), per section, in page order.
declare -a entries_news=() entries_sport=()

# article SECTION HREF CHARSET META_STYLE DATE TITLE PICTURES PARAGRAPH...
#   SECTION     news or sport: the directory of the page and the index page that lists it
#   HREF        the link exactly as the section's index page writes it (relative or root-relative)
#   PICTURES    blank-separated names under img/
article() {
  local section=$1 href=$2 charset=$3 style=$4 date=$5 title=$6 pictures=$7
  shift 7
  local file="$site/$section/${href##*/}"
  local etitle
  etitle=$(html_escape "$title")
  {
    printf '<!DOCTYPE html>\n<html lang="ru">\n<head>\n'
    charset_meta "$charset" "$style"
    printf '<title>%s</title>\n' "$etitle"
    printf '<link rel="stylesheet" href="../style.css">\n'
    printf '<script type="text/javascript">\n'
    printf 'var visit = new Image(); visit.src = "../img/counter.gif?r=" + Math.random();\n'
    printf '</script>\n'
    printf '</head>\n<body>\n'
    printf '<div class="top"><a href="../index.html">Городские вести</a> | '
    printf '<a href="../index.html">Новости</a> | <a href="../sport/index.html">Спорт</a></div>\n'
    printf '<div class="article">\n<h1>%s</h1>\n<p class="date">%s</p>\n' "$etitle" "$date"
    local first=1 pic
    for pic in $pictures; do
      if [ $first = 1 ]; then
        printf '<img class="main" src="../img/%s" alt="%s" width="96" height="64">\n' "$pic" "$etitle"
        first=0
      fi
    done
    local n=0 p
    for p in "$@"; do
      printf '<p>%s</p>\n' "$p"
      n=$((n + 1))
      if [ $n = 1 ]; then
        printf '<script>document.write("<p class=\\"ad\\">Реклама: подпишитесь на рассылку!</p>");</script>\n'
        printf '<noscript><p class="ad">Включите JavaScript, чтобы видеть рекламу.</p></noscript>\n'
      fi
    done
    first=1
    for pic in $pictures; do
      if [ $first = 1 ]; then first=0; continue; fi
      printf '<p class="photo"><img src="../img/%s" alt="Фото" width="96" height="64"></p>\n' "$pic"
    done
    printf '</div>\n'
    printf '<div class="bottom"><a href="../index.html">&laquo; На главную</a></div>\n'
    printf '</body>\n</html>\n'
  } | write_in_charset "$file" "$charset"
  local entry="$href|$date|$etitle|$1"
  if [ "$section" = news ]; then entries_news+=("$entry"); else entries_sport+=("$entry"); fi
}

# section_index FILE CSS TITLE HEADING OTHER_LINK ENTRY...
section_index() {
  local file=$1 css=$2 title=$3 heading=$4 other=$5
  shift 5
  {
    printf '<!DOCTYPE html>\n<html lang="ru">\n<head>\n'
    charset_meta windows-1251 http-equiv
    printf '<title>%s</title>\n<link rel="stylesheet" href="%s">\n</head>\n<body>\n' "$title" "$css"
    printf '<div class="top" id="top">%s</div>\n' "$other"
    printf '<h1>%s</h1>\n<div class="news-list">\n' "$heading"
    local e href date etitle lead
    for e in "$@"; do
      IFS='|' read -r href date etitle lead <<<"$e"
      printf '<div class="item">\n<span class="date">%s</span>\n' "$date"
      printf '<a class="title" href="%s">%s</a>\n<p>%s</p>\n</div>\n' "$href" "$etitle" "${lead%%.*}."
    done
    printf '</div>\n<div class="bottom"><a href="#top">Наверх</a> | '
    printf '<a href="mailto:redakcia@example.org">Написать в редакцию</a></div>\n'
    printf '</body>\n</html>\n'
  } | write_in_charset "$file" windows-1251
}

# picture NAME CONVERT-ARGS...: a tiny picture, made only when missing (the files are committed)
picture() {
  local name=$1
  shift
  [ -f "$site/img/$name" ] && return 0
  mkdir -p "$site/img"
  convert "$@" -strip -define png:exclude-chunks=date,time "$site/img/$name"
}

mkdir -p "$site"

picture counter.gif -size 1x1 xc:white
picture most.png -size 96x64 gradient:'#9cc3e6'-'#4a6f94' -fill '#555555' -draw 'rectangle 0,40 95,44'
picture reka.gif -size 96x64 xc:'#5b8cc4' -fill '#ffffff' -draw 'line 0,32 95,28'
picture sneg.png -size 96x64 xc:'#dfe8f2' -fill white -draw 'circle 30,30 30,38' -draw 'circle 70,20 70,26'
picture gorod.png -size 96x64 gradient:'#f4d9a8'-'#b58a55' -fill '#6b4f2c' -draw 'rectangle 10,20 30,63' -draw 'rectangle 50,10 70,63'
picture tramvai.gif -size 96x64 xc:'#f0f0f0' -fill '#c0392b' -draw 'rectangle 10,20 86,50'
picture park.gif -size 96x64 xc:'#cfe3c0' -fill '#3d7a2a' -draw 'circle 48,30 48,50'
picture scena.png -size 96x64 gradient:'#6d1a1a'-'#2a0606' -fill '#f1c40f' -draw 'circle 48,32 48,40'
picture muzei.gif -size 96x64 xc:'#efe6d2' -fill '#8a6d3b' -draw 'rectangle 20,12 76,52'
picture hokkei.png -size 96x64 xc:'#e8f4fb' -fill '#1b2631' -draw 'circle 48,32 48,36'
picture lyzhi.gif -size 96x64 xc:white -fill '#2e86c1' -draw 'line 10,60 86,10'
picture futbol.png -size 96x64 xc:'#3f9b3f' -fill white -draw 'circle 48,32 48,40'

cat >"$site/style.css" <<'EOF'
body { font-family: Georgia, "Times New Roman", serif; max-width: 46em; margin: 1em auto; color: #222; }
.top, .bottom { font-family: Verdana, sans-serif; font-size: 90%; background: #e9eef4; padding: .4em .6em; }
h1 { font-size: 150%; }
.news-list .item { border-bottom: 1px solid #ddd; padding: .5em 0; }
.news-list .date, .article .date { color: #777; font-size: 85%; margin-right: .6em; }
.news-list a.title { font-weight: bold; text-decoration: none; color: #1a4f85; }
.article img.main { float: left; margin: 0 1em .5em 0; }
.ad { background: #fff6d5; font-size: 85%; }
EOF

# ---- the news section, newest first: eleven pages in Windows-1251, three in UTF-8 ----------

article news news/2026-12-07-makulatura.html windows-1251 charset "7 декабря 2026" \
  "Волонтёры собрали две тонны макулатуры" "gorod.png" \
  "Акция «Сдай бумагу — спаси дерево» прошла в субботу во дворе школы № 3. Волонтёры принимали старые газеты, журналы и картон с десяти утра до четырёх часов дня." \
  "Всего собрано около двух тонн бумаги. Вырученные деньги пойдут на покупку книг для школьной библиотеки."

article news /news/2026-12-07-vystavka.html windows-1251 http-equiv "7 декабря 2026" \
  "Выставка старинных открыток в краеведческом музее" "muzei.gif gorod.png" \
  "В краеведческом музее открылась выставка «Привет из прошлого века». Посетители увидят более трёхсот открыток 1900–1960 годов из частных собраний горожан." \
  "Выставка продлится до конца января. Вход для школьников свободный, для взрослых — 150 рублей." \
  "По субботам в полдень проходят бесплатные экскурсии."

article news news/2026-12-06-avtobus.html windows-1251 charset "6 декабря 2026" \
  "Расписание пригородных автобусов изменится с 10 декабря" "gorod.png" \
  "Автотранспортное предприятие сообщает: с 10 декабря меняется расписание маршрутов № 101, 104 и 112. Первый рейс будет отправляться на двадцать минут раньше." \
  "Новое расписание уже вывешено на остановках и на автовокзале."

article news /news/2026-12-06-hor.html utf-8 charset "6 декабря 2026" \
  "Детский хор Звёздочка стал лауреатом конкурса" "scena.png" \
  "Детский хор «Звёздочка» Дома культуры занял второе место на областном конкурсе «Зимние голоса». В поездке участвовали двадцать шесть ребят от семи до пятнадцати лет." \
  "Дорога до областного центра заняла ≈ 4 часа, а выступление — всего девять минут. Руководитель хора благодарит родителей за поддержку."

article news news/2026-12-05-vodoprovod.html windows-1251 http-equiv "5 декабря 2026" \
  "Ремонт водопровода на улице Ленина завершён досрочно" "gorod.png" \
  "Подрядчик закончил замену трубы на участке от улицы Ленина до Садовой на неделю раньше срока. Движение транспорта восстановлено полностью." \
  "Горводоканал напоминает: при низком давлении воды звоните по телефону 05."

article news news/2026-12-05-pogoda.html windows-1251 charset "5 декабря 2026" \
  "Погода на выходные: снег и лёгкий мороз" "sneg.png" \
  "По прогнозу синоптиков, в субботу ожидается небольшой снег, температура днём от 3 до 5 градусов мороза." \
  "В воскресенье прояснится, ночью до 12 градусов мороза. Водителей просят быть осторожнее на дорогах."

article news /news/2026-12-04-teatr.html windows-1251 charset "4 декабря 2026" \
  "Театр юного зрителя показал премьеру" "scena.png muzei.gif" \
  "На малой сцене театра юного зрителя прошла премьера спектакля «Снежная королева». Зал был полон, зрители не отпускали актёров двадцать минут." \
  "Следующие показы — 12 и 19 декабря. Билеты продаются в кассе театра."

article news news/2026-12-04-park.html windows-1251 http-equiv "4 декабря 2026" \
  "В парке «Ивушка» высадили 300 лип" "park.gif sneg.png gorod.png" \
  "В городском парке «Ивушка» завершилась осенняя посадка деревьев. Вдоль главной аллеи появились триста молодых лип." \
  "Работы оплачены из городского бюджета и из пожертвований жителей. Весной посадки продолжатся."

article news /news/2026-12-03-yarmarka.html utf-8 http-equiv "3 декабря 2026" \
  "Зимняя ярмарка: мёд, валенки и пряники" "gorod.png sneg.png" \
  "На Соборной площади открылась зимняя ярмарка. Фермеры из соседних районов привезли мёд, сыры, валенки и тульские пряники." \
  "Ярмарка работает ежедневно с 9 до 19 часов до 25 декабря. Вход свободный."

article news news/2026-12-03-shkola.html windows-1251 charset "3 декабря 2026" \
  "В школе № 12 открылся кабинет робототехники" "gorod.png" \
  "В школе № 12 открылся кабинет робототехники на пятнадцать рабочих мест. Занятия будут проходить после уроков для учеников 5–11 классов." \
  "Первые конструкторы ребята собрали уже в день открытия."

article news /news/2026-12-02-tramvai.html windows-1251 charset "2 декабря 2026" \
  "Трамвайный маршрут № 7 возобновил работу" "tramvai.gif" \
  "После ремонта путей на улице Гагарина снова ходит трамвай седьмого маршрута. Интервал движения в часы пик — восемь минут." \
  "Во время ремонта заменено более километра рельсов и две стрелки."

article news news/2026-12-02-biblioteka.html utf-8 charset "2 декабря 2026" \
  "Городская библиотека продлевает часы работы" "muzei.gif" \
  "С понедельника центральная городская библиотека будет открыта до девяти вечера. Об этом просили студенты и работающие читатели." \
  "В читальном зале также появились новые розетки и бесплатный доступ к Интернету."

article news news/2026-12-01-pogoda.html windows-1251 http-equiv "1 декабря 2026" \
  "Погода на выходные: снег и лёгкий мороз" "sneg.png reka.gif" \
  "Первые выходные зимы будут снежными: в субботу и воскресенье ожидается небольшой снег, до 4 градусов мороза." \
  "Синоптики советуют не убирать тёплые вещи далеко."

article news /news/2026-12-01-most.html windows-1251 charset "1 декабря 2026" \
  "Новый мост через Волгу открыт для движения" "most.png reka.gif gorod.png" \
  "В понедельник открыто движение по новому мосту через Волгу. Его длина — 1200 метров, на мосту по три полосы в каждую сторону." \
  "Строительство шло четыре года. Старый мост закроют на ремонт весной." \
  "Первыми по мосту проехали городские автобусы."

# ---- the sport section -----------------------------------------------------------------------

article sport 2026-12-06-futbol.html windows-1251 charset "6 декабря 2026" \
  "Футбол: юношеская команда вышла в финал" "futbol.png" \
  "Юношеская команда спортивной школы обыграла соседей со счётом 3:1 и вышла в финал областного первенства." \
  "Финал пройдёт 14 декабря в манеже."

article sport /sport/2026-12-04-lyzhi.html windows-1251 http-equiv "4 декабря 2026" \
  "Лыжная гонка собрала 400 участников" "lyzhi.gif sneg.png" \
  "Открытие лыжного сезона собрало четыреста участников всех возрастов. Самому младшему лыжнику было пять лет, самому старшему — семьдесят восемь." \
  "Трассу в пять километров подготовили накануне."

article sport 2026-12-02-hokkei.html windows-1251 charset "2 декабря 2026" \
  "Хоккей: «Северные волки» выиграли в овертайме" "hokkei.png" \
  "«Северные волки» обыграли гостей в овертайме со счётом 4:3. Победную шайбу забросил капитан команды." \
  "Следующий матч команда проведёт на выезде."

section_index "$site/index.html" style.css "Городские вести — новости города" "Городские вести" \
  '<a href="index.html">Новости</a> | <a href="sport/index.html">Спорт</a>' "${entries_news[@]}"
section_index "$site/sport/index.html" ../style.css "Городские вести — спорт" "Спорт" \
  '<a href="../index.html">Новости</a> | <a href="index.html">Спорт</a>' "${entries_sport[@]}"

# ---------------------------------------------------------------------------------------------
# The channel set-up: Accounts/<channel>/<rubric>/ with a macro file and a check mark each.
#
# A macro is written below one step per line, the seven fields separated by " | ":
#   Command | ON or OFF | P1 | P2 | P3 | P4 | Description
# "@PORT@" stands for the port of the demo server; scripts/demo.sh puts the real one in.

# macro FOLDER (steps on stdin)
macro() {
  local dir="$channel/Accounts/$1"
  mkdir -p "$dir"
  printf '1\n' >"$dir/.skimlet-attributes"
  local file="$dir/Skimlet-macros.ini"
  [ -f "$file" ] && chmod u+w "$file"
  awk -F ' [|] ' '
    BEGIN { n = 0 }
    /^[[:space:]]*$/ { next }
    {
      if (NF != 7) { printf "make-site.sh: step %d of %s has %d fields, not 7\n", n, folder, NF > "/dev/stderr"; exit 1 }
      gsub(/[\001-\037]/, " ", $7)
      for (i = 1; i <= 7; i++) step[n, i] = $i
      n++
    }
    END {
      printf "%d\r\n", n
      for (s = 0; s < n; s++) for (i = 1; i <= 7; i++) printf "%s\r\n", step[s, i]
    }' folder="$1" | iconv -f UTF-8 -t WINDOWS-1251 >"$file.tmp"
  mv "$file.tmp" "$file"
  chmod a-w "$file"
}

rm -rf "$channel/Accounts"

macro "Демо-новости" <<'EOF'
GetStart | ON | http://127.0.0.1:@PORT@/index.html | class="news-list" | -999 |  | Главная страница сайта: в IndexHTML-буфер
EOF

macro "Демо-новости/Новости" <<'EOF'
FindUrlNews | ON | news/*.html | -1 |  |  | Следующая новая ссылка на новость; нет ссылок - конец папки
EditUrlNews | ON |  |  |  |  | Сделать ссылку полной
GetNews | ON | class="article" |  |  | 0 | Загрузить новость; загружена ранее - к шагу 0
EditHTMLNews | ON | StandartParameter=0 | StandartParameter=0 |  |  | Убрать скрипты, сделать ссылки полными
FindNameNews | ON | <title> | </title> |  |  | Имя новости из заголовка страницы
FindAttachment | ON | StandartParameter=0 | StandartParameter=0 | StandartParameter=0 |  | Рисунки и стили новости
SaveNews | ON |  |  |  |  | Записать новость
GotoMacro | ON | 0 | StandartParameter=0 |  |  | К поиску следующей ссылки
EOF

macro "Демо-новости/Спорт" <<'EOF'
GetStart | ON | http://127.0.0.1:@PORT@/sport/index.html | class="news-list" | -999 |  | Страница раздела Спорт: в IndexHTML-буфер
FindUrlNews | ON | 20~~-~~-~~-*.html | -1 |  |  | Следующая новая ссылка на новость; нет ссылок - конец папки
EditUrlNews | ON |  |  |  |  | Сделать ссылку полной
GetNews | ON | class="article" |  |  | 1 | Загрузить новость; загружена ранее - к шагу 1
EditHTMLNews | ON | StandartParameter=0 | StandartParameter=0 |  |  | Убрать скрипты, сделать ссылки полными
FindNameNews | ON | <title> | </title> |  |  | Имя новости из заголовка страницы
FindAttachment | ON | StandartParameter=0 | StandartParameter=0 | StandartParameter=0 |  | Рисунки и стили новости
SaveNews | ON |  |  |  |  | Записать новость
GotoMacro | ON | 1 | StandartParameter=0 |  |  | К поиску следующей ссылки
EOF

echo "make-site.sh: wrote $(find "$site" -name '*.html' | wc -l) pages, $(find "$site/img" -type f | wc -l) pictures and $(find "$channel" -name Skimlet-macros.ini | wc -l) macro files"
