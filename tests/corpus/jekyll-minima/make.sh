#!/bin/bash
# Renders the jekyll-minima fixture: Jekyll 4.3.1 + jekyll-theme-minima 2.5.1 +
# jekyll-paginate-v2 3.0.0 + jekyll-seo-tag 2.8.0 + jekyll-feed 0.17.0, all Debian bookworm packages:
#   apt-get install jekyll jekyll-theme-minima ruby-jekyll-paginate-v2 ruby-jekyll-seo-tag ruby-jekyll-feed
# Usage: make.sh [SRC_DIR]   (default /tmp/corpus-static/jekyll-minima); writes ./site beside this script.
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
SRC=${1:-/tmp/corpus-static/jekyll-minima}
rm -rf "$SRC"; mkdir -p "$SRC/_posts" "$SRC/_layouts" "$SRC/gorod"
cd "$SRC"

cat > _config.yml <<'EOF'
title: Вести Заречья
description: Городские новости Заречья
lang: ru
url: "http://127.0.0.1:8480"
baseurl: ""
theme: minima
show_excerpts: true
minima:
  date_format: "%d.%m.%Y"
header_pages:
  - gorod/index.html
  - about.md
plugins:
  - jekyll-feed
  - jekyll-seo-tag
  - jekyll-paginate-v2
pagination:
  enabled: true
  per_page: 5
  permalink: '/page/:num/'
  sort_field: 'date'
  sort_reverse: true
EOF

cat > index.md <<'EOF'
---
layout: home
title: Вести Заречья
list_title: Все новости
---
EOF

cat > about.md <<'EOF'
---
layout: page
title: О газете
permalink: /about/
---
«Вести Заречья» — городская газета. Пишите нам: redakciya@example.org.
EOF

# The category list page, paginated by jekyll-paginate-v2. minima 2.5.1 has no paginated
# layout, so the site has its own small layout built on minima's "default" layout,
# with minima's post-list markup (from its home.html) and a pager.
cat > gorod/index.html <<'EOF'
---
layout: category
title: Город
pagination:
  enabled: true
  category: gorod
---
EOF

cat > _layouts/category.html <<'EOF'
---
layout: default
---
<div class="home">
  <h1 class="page-heading">{{ page.title }}</h1>
  <ul class="post-list">
    {%- for post in paginator.posts -%}
    <li>
      {%- assign date_format = site.minima.date_format | default: "%b %-d, %Y" -%}
      <span class="post-meta">{{ post.date | date: date_format }}</span>
      <h3>
        <a class="post-link" href="{{ post.url | relative_url }}">
          {{ post.title | escape }}
        </a>
      </h3>
      {%- if site.show_excerpts -%}
        {{ post.excerpt }}
      {%- endif -%}
    </li>
    {%- endfor -%}
  </ul>
  {%- if paginator.total_pages > 1 %}
  <nav class="pagination">
    {%- if paginator.previous_page %}
    <a class="previous" href="{{ paginator.previous_page_path | relative_url }}">&larr; Назад</a>
    {%- endif %}
    <span class="page-number">Страница {{ paginator.page }} из {{ paginator.total_pages }}</span>
    {%- if paginator.next_page %}
    <a class="next" href="{{ paginator.next_page_path | relative_url }}">Следующая страница &rarr;</a>
    {%- endif %}
  </nav>
  {%- endif %}
</div>
EOF

# Posts: date|category|slug|title|slug of an older post that the first paragraph (the excerpt) links
cat > posts.txt <<'EOF'
2024-02-03|gorod|mer-zarechya-i-deputaty|Мэр "Заречья" & депутаты обсудили бюджет|
2024-02-08|gorod|кафе-уют-открылось|Кафе "Уют" & Co открылось на набережной|
2024-02-14|gorod|ёлки-на-площади|«Ёлочки» на площади убрали только в феврале|
2024-02-20|gorod|avtobus-7|Новый автобусный маршрут № 7|
2024-02-25|kultura|vystavka-staryi-gorod|Выставка "Старый город" в музее|
2024-02-27|gorod|библиотека-часы|Библиотека продлила часы работы|
2024-03-04|gorod|remont-mosta|Ремонт моста: «дело» & сроки|mer-zarechya-i-deputaty
2024-03-09|gorod|ямы-на-улице-ленина|Жители улицы Ленина жалуются на "ямы"|
2024-03-12|sport|futbol-zarya-rassvet|Футбол: "Заря" & "Рассвет" сыграли вничью|
2024-03-15|gorod|shkola-3-grant|Школа № 3 получила грант|
2024-03-21|gorod|парк-дружба|В парке "Дружба" высадят 200 деревьев|кафе-уют-открылось
2024-03-28|gorod|otklyuchenie-vody|Отключение воды 1 апреля: список адресов|
2024-04-03|gorod|ярмарка-весна|Ярмарка «Весна & мёд» пройдёт в субботу|
2024-04-09|gorod|zarechye-city|Мэрия ответила на вопросы о "Заречье-Сити"|
2024-04-11|sport|лыжня-закрыта|Лыжня «Заречья» закрыта|
2024-04-16|gorod|субботник|Субботник: 'чистый берег' собрал 300 человек|
2024-04-20|kultura|концерт-хора|Концерт хора & оркестра|
2024-04-22|gorod|svetofor-mira|Светофор на перекрёстке Мира и Садовой|
2024-04-28|gorod|итоги-апреля|Итоги месяца: что изменилось в Заречье|zarechye-city
EOF

python3 - <<'EOF'
rows = [l.rstrip('\n').split('|') for l in open('posts.txt', encoding='utf-8') if l.strip()]
date_of = {r[2]: r[0] for r in rows}
for i, (date, cat, slug, title, link) in enumerate(rows):
    if link:
        first = (f'Продолжение темы: читайте также [предыдущий материал]'
                 f'({{% post_url {date_of[link]}-{link} %}}). Редакция «Вестей Заречья» следит за развитием событий.')
    else:
        first = f'Новость номер {i + 1}: {title}. Подробности — в нашем материале.'
    yaml_title = title.replace('\\', '\\\\').replace('"', '\\"')
    with open(f'_posts/{date}-{slug}.md', 'w', encoding='utf-8') as f:
        f.write(f'---\nlayout: post\ntitle: "{yaml_title}"\ndate: {date} 10:{i:02d}:00 +0300\n'
                f'categories: {cat}\n---\n{first}\n\n'
                'Второй абзац: в администрации пообещали вернуться к вопросу через месяц. '
                'Жители просят держать их в курсе.\n\n'
                'Третий абзац с мнением горожан и цитатой: «Будем ждать».\n')
EOF

JEKYLL_ENV=production jekyll build --trace -s "$SRC" -d "$SRC/_site"
rm -rf "$HERE/site"
cp -a "$SRC/_site" "$HERE/site"

# corpus.txt: the list of category "gorod", newest first, 5 a page; paths as Jekyll escapes them.
python3 - "$SRC/posts.txt" > "$HERE/corpus.txt" <<'EOF'
import sys, urllib.parse
rows = [l.rstrip('\n').split('|') for l in open(sys.argv[1], encoding='utf-8') if l.strip()]
arts = [r for r in rows if r[1] == 'gorod'][::-1]
path = lambda r: '/gorod/%s/%s.html' % (r[0].replace('-', '/'), urllib.parse.quote(r[2]))
print('generator\tJekyll 4.3.1 with jekyll-theme-minima 2.5.1, jekyll-paginate-v2 3.0.0, jekyll-seo-tag 2.8.0, jekyll-feed 0.17.0 (Debian bookworm packages)')
print('origin\thttp://127.0.0.1:8480')
print('list\t/gorod/')
print('pages\t%d' % ((len(arts) + 4) // 5))
print('example\t' + path(next(r for r in arts[:5] if '"' in r[3] or '&' in r[3])))
for r in arts:
    print('article\t%s\t%s' % (path(r), r[3]))
EOF
