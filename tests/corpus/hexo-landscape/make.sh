#!/bin/bash
# Renders the hexo-landscape fixture: Hexo 8.1.2 with hexo-theme-landscape 1.1.0 (npm), the
# generators hexo-generator-index 4.0.0 / -archive 2.0.0 / -category 2.0.0 / -tag 2.0.0 and
# the renderers hexo-renderer-marked 7.0.1 / -ejs 2.0.0 / -stylus 3.0.1, on Node 20.
# Usage: make.sh [SRC_DIR]   (default /tmp/corpus-static/hexo-landscape); writes ./site beside this script.
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
SRC=${1:-/tmp/corpus-static/hexo-landscape}
mkdir -p "$SRC"; cd "$SRC"
rm -rf source public db.json
mkdir -p source/_posts

cat > package.json <<'EOF'
{
  "name": "vesti-zarechya", "version": "0.0.0", "private": true,
  "hexo": { "version": "8.1.2" },
  "dependencies": {
    "hexo": "8.1.2", "hexo-cli": "4.3.2", "hexo-theme-landscape": "1.1.0",
    "hexo-generator-index": "4.0.0", "hexo-generator-archive": "2.0.0",
    "hexo-generator-category": "2.0.0", "hexo-generator-tag": "2.0.0",
    "hexo-renderer-marked": "7.0.1", "hexo-renderer-ejs": "2.0.0", "hexo-renderer-stylus": "3.0.1"
  }
}
EOF
[ -d node_modules/hexo ] || npm install --no-audit --no-fund

# Hexo's own default _config.yml (as `hexo init` writes it), with the site's values filled in.
cat > _config.yml <<'EOF'
# Site
title: Вести Заречья
subtitle: 'Городские новости'
description: 'Новости города Заречье'
keywords:
author: Редакция
language: ru
timezone: 'Europe/Moscow'

# URL
url: http://127.0.0.1:8480
permalink: :year/:month/:day/:title/
permalink_defaults:
pretty_urls:
  trailing_index: true
  trailing_html: true

# Directory
source_dir: source
public_dir: public
tag_dir: tags
archive_dir: archives
category_dir: categories
code_dir: downloads/code
i18n_dir: :lang
skip_render:

# Writing
new_post_name: :title.md
default_layout: post
titlecase: false
external_link:
  enable: true
  field: site
  exclude: ''
filename_case: 0
render_drafts: false
post_asset_folder: false
relative_link: false
future: true
syntax_highlighter: highlight.js
highlight:
  line_number: true
  auto_detect: false
  tab_replace: ''
  wrap: true
  hljs: false
prismjs:
  preprocess: true
  line_number: true
  tab_replace: ''

# Home page setting
index_generator:
  path: ''
  per_page: 5
  order_by: -date

category_generator:
  per_page: 5
tag_generator:
  per_page: 5

# Category & Tag
default_category: uncategorized
category_map:
tag_map:

meta_generator: true

# Date / Time format
date_format: DD.MM.YYYY
time_format: HH:mm:ss
updated_option: 'mtime'

# Pagination
per_page: 5
pagination_dir: page

include:
exclude:
ignore:

# Extensions
theme: landscape
EOF

# Theme settings (landscape's own _config.yml keys), in Russian.
cat > _config.landscape.yml <<'EOF'
excerpt_link: Читать далее
EOF

# Posts: date|category|slug|title|slug of an older post that the excerpt links
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
for i, (date, cat, slug, title, link) in enumerate(rows):
    if link:
        first = (f'Продолжение темы: читайте также {{% post_link {link} %}}. '
                 'Редакция «Вестей Заречья» следит за развитием событий.')
    else:
        first = f'Новость номер {i + 1}: {title}. Подробности — в нашем материале.'
    tag = 'транспорт' if 'маршрут' in title or 'Светофор' in title else 'новости'
    yaml_title = title.replace('\\', '\\\\').replace('"', '\\"')
    with open(f'source/_posts/{slug}.md', 'w', encoding='utf-8') as f:
        f.write(f'---\ntitle: "{yaml_title}"\ndate: {date} 10:{i:02d}:00\nupdated: {date} 10:{i:02d}:00\n'
                f'categories:\n  - {cat}\ntags:\n  - {tag}\n---\n{first}\n\n<!-- more -->\n\n'
                'Второй абзац: в администрации пообещали вернуться к вопросу через месяц. '
                'Жители просят держать их в курсе.\n\n'
                'Третий абзац с мнением горожан и цитатой: «Будем ждать».\n')
EOF

npx hexo clean
npx hexo generate
rm -rf "$HERE/site"
cp -a public "$HERE/site"
# Dropped from the output (see tests/corpus/README.md): the theme's banner image and JS bundles.
rm -f "$HERE/site/css/images/banner.jpg" "$HERE/site/js/jquery-3.6.4.min.js" \
      "$HERE/site/fancybox/jquery.fancybox.min.js"

# corpus.txt: the list of category "Город", newest first, 5 a page; paths as Hexo encodes them.
python3 - "$SRC/posts.txt" > "$HERE/corpus.txt" <<'EOF'
import sys, urllib.parse
rows = [l.rstrip('\n').split('|') for l in open(sys.argv[1], encoding='utf-8') if l.strip()]
arts = [r for r in rows if r[1] == 'Город'][::-1]
path = lambda r: '/%s/%s/' % (r[0].replace('-', '/'), urllib.parse.quote(r[2]))
print('generator\tHexo 8.1.2 with hexo-theme-landscape 1.1.0, hexo-generator-category 2.0.0, hexo-generator-index 4.0.0, hexo-renderer-marked 7.0.1, hexo-renderer-ejs 2.0.0 (npm), Node 20.20.2')
print('origin\thttp://127.0.0.1:8480')
print('list\t/categories/%s/' % urllib.parse.quote('Город'))
print('pages\t%d' % ((len(arts) + 4) // 5))
print('example\t' + path(next(r for r in arts[:5] if '"' in r[3] or '&' in r[3])))
for r in arts:
    print('article\t%s\t%s' % (path(r), r[3]))
EOF
