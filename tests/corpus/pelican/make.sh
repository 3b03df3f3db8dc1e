#!/bin/bash
# Renders the pelican fixture: Pelican 4.8.0 from Debian bookworm (apt-get install pelican),
# Python-Markdown 3.4.1, with Debian's default theme "simple" (Debian's package ships no
# "notmyidea": it was removed for non-free files, see /usr/share/doc/pelican/README.Debian).
# Usage: make.sh [SRC_DIR]   (default /tmp/corpus-static/pelican); writes ./site beside this script.
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
SRC=${1:-/tmp/corpus-static/pelican}
rm -rf "$SRC"; mkdir -p "$SRC/content"
cd "$SRC"

cat > pelicanconf.py <<'EOF'
AUTHOR = 'Редакция'
SITENAME = 'Вести Заречья'
SITEURL = 'http://127.0.0.1:8480'
RELATIVE_URLS = True

PATH = 'content'
TIMEZONE = 'Europe/Moscow'
DEFAULT_LANG = 'ru'
DEFAULT_DATE_FORMAT = '%d.%m.%Y'

DEFAULT_PAGINATION = 5
EOF

# Posts: date|category|slug|title|slug of an older post that the first paragraph links
cat > posts.txt <<'EOF'
2024-02-03|Город|mer-zarechya-i-deputaty|Мэр "Заречья" & депутаты обсудили бюджет|
2024-02-08|Город|кафе-уют-открылось|Кафе "Уют" & Co открылось на набережной|
2024-02-14|Город|ёлки-на-площади|«Ёлочки» на площади убрали только в феврале|
2024-02-20|Город|avtobus-7|Новый автобусный маршрут № 7|
2024-02-25|Культура|vystavka-staryi-gorod|Выставка "Старый город" в музее|
2024-02-27|Город|библиотека-часы|Библиотека продлила часы работы|
2024-03-04|Город|remont-mosta|Ремонт моста: «дело» & сроки|mer-zarechya-i-deputaty
2024-03-09|Город|ямы-на-улице-ленина|Жители улицы Ленина жалуются на "ямы"|
2024-03-12|Спорт|futbol-zarya-rassvet|Футбол: "Заря" & "Рассвет" сыграли вничью|
2024-03-15|Город|shkola-3-grant|Школа № 3 получила грант|
2024-03-21|Город|парк-дружба|В парке "Дружба" высадят 200 деревьев|кафе-уют-открылось
2024-03-28|Город|otklyuchenie-vody|Отключение воды 1 апреля: список адресов|
2024-04-03|Город|ярмарка-весна|Ярмарка «Весна & мёд» пройдёт в субботу|
2024-04-09|Город|zarechye-city|Мэрия ответила на вопросы о "Заречье-Сити"|
2024-04-11|Спорт|лыжня-закрыта|Лыжня «Заречья» закрыта|
2024-04-16|Город|субботник|Субботник: 'чистый берег' собрал 300 человек|
2024-04-20|Культура|концерт-хора|Концерт хора & оркестра|
2024-04-22|Город|svetofor-mira|Светофор на перекрёстке Мира и Садовой|
2024-04-28|Город|итоги-апреля|Итоги месяца: что изменилось в Заречье|zarechye-city
EOF

python3 - <<'EOF'
rows = [l.rstrip('\n').split('|') for l in open('posts.txt', encoding='utf-8') if l.strip()]
file_of = {r[2]: f'{r[0]}-{r[2]}.md' for r in rows}
for i, (date, cat, slug, title, link) in enumerate(rows):
    if link:
        first = (f'Продолжение темы: читайте также [предыдущий материал]({{filename}}/{file_of[link]}). '
                 'Редакция «Вестей Заречья» следит за развитием событий.')
    else:
        first = f'Новость номер {i + 1}: {title}. Подробности — в нашем материале.'
    tag = 'транспорт' if 'маршрут' in title or 'Светофор' in title else 'новости'
    with open(f'content/{file_of[slug]}', 'w', encoding='utf-8') as f:
        f.write(f'Title: {title}\nDate: {date} 10:{i:02d}\nCategory: {cat}\nTags: {tag}\nSlug: {slug}\n\n'
                f'{first}\n\n'
                'Второй абзац: в администрации пообещали вернуться к вопросу через месяц. '
                'Жители просят держать их в курсе.\n\n'
                'Третий абзац с мнением горожан и цитатой: «Будем ждать».\n')
EOF

/usr/bin/pelican content -s pelicanconf.py -o output
rm -rf "$HERE/site"
cp -a output "$HERE/site"

# corpus.txt: the list of category "Город" (slug gorod), newest first, 5 a page. Pelican writes
# document-relative links with raw (not percent-encoded) UTF-8 slugs; the paths below are those
# links resolved against the site root, kept as raw UTF-8 as the links write them.
python3 - "$SRC/posts.txt" > "$HERE/corpus.txt" <<'EOF'
import sys
rows = [l.rstrip('\n').split('|') for l in open(sys.argv[1], encoding='utf-8') if l.strip()]
arts = [r for r in rows if r[1] == 'Город'][::-1]
path = lambda r: '/%s.html' % r[2]
print('generator\tPelican 4.8.0 with its "simple" theme (Debian bookworm package pelican 4.8.0+dfsg-1; Python-Markdown 3.4.1)')
print('origin\thttp://127.0.0.1:8480')
print('list\t/category/gorod.html')
print('pages\t%d' % ((len(arts) + 4) // 5))
print('example\t' + path(next(r for r in arts[:5] if '"' in r[3] or '&' in r[3])))
for r in arts:
    print('article\t%s\t%s' % (path(r), r[3]))
EOF
