#!/bin/bash
# Renders the hugo fixture: Hugo 0.111.3 (Debian bookworm package hugo 0.111.3-1).
# No Hugo theme is carried by Debian or (usably) by npm, so the site has a minimal layout of its
# own (layouts/ below) that uses Hugo's EMBEDDED templates for the parts that matter:
# _internal/pagination.html (the paginator), _internal/opengraph.html and
# _internal/twitter_cards.html. Links are written with .Permalink (absolute, baseURL).
# Usage: make.sh [SRC_DIR]   (default /tmp/corpus-static/hugo); writes ./site beside this script.
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
SRC=${1:-/tmp/corpus-static/hugo}
rm -rf "$SRC"; mkdir -p "$SRC/content/posts" "$SRC/layouts/_default" "$SRC/layouts/partials"
cd "$SRC"

cat > config.toml <<'EOF'
baseURL = "http://127.0.0.1:8480/"
languageCode = "ru-ru"
defaultContentLanguage = "ru"
title = "Вести Заречья"
paginate = 5
enableRobotsTXT = false
disableKinds = ["RSS", "sitemap"]

[permalinks]
  posts = "/:year/:month/:slug/"

[taxonomies]
  category = "categories"
  tag = "tags"

[params]
  description = "Городские новости Заречья"
EOF

cat > layouts/_default/baseof.html <<'EOF'
<!DOCTYPE html>
<html lang="{{ .Site.LanguageCode }}">
<head>
  <meta charset="utf-8">
  <title>{{ if not .IsHome }}{{ .Title }} | {{ end }}{{ .Site.Title }}</title>
  <meta name="viewport" content="width=device-width, initial-scale=1">
  <link rel="canonical" href="{{ .Permalink }}">
  {{ template "_internal/opengraph.html" . }}
  {{ template "_internal/twitter_cards.html" . }}
</head>
<body>
  <header class="site-header">
    <h1 class="site-title"><a href="{{ .Site.Home.Permalink }}">{{ .Site.Title }}</a></h1>
    <nav class="site-nav">
      {{ range .Site.Taxonomies.categories }}<a href="{{ .Page.Permalink }}">{{ .Page.Title }}</a>
      {{ end }}
    </nav>
  </header>
  <main>
  {{ block "main" . }}{{ end }}
  </main>
  <footer class="site-footer"><p>&copy; {{ .Site.Title }}</p></footer>
</body>
</html>
EOF

cat > layouts/partials/post-list.html <<'EOF'
{{ $pages := cond .IsHome (where .Site.RegularPages "Section" "posts") .Pages }}
{{ $paginator := .Paginate $pages }}
<ul class="post-list">
  {{ range $paginator.Pages }}
  <li>
    <h2 class="post-title"><a href="{{ .Permalink }}">{{ .Title }}</a></h2>
    <time datetime="{{ .Date.Format "2006-01-02T15:04:05-07:00" }}">{{ .Date.Format "02.01.2006" }}</time>
    <div class="summary">{{ .Summary }}</div>
    {{ if .Truncated }}<a class="read-more" href="{{ .Permalink }}">Читать далее</a>{{ end }}
  </li>
  {{ end }}
</ul>
{{ template "_internal/pagination.html" . }}
EOF

cat > layouts/index.html <<'EOF'
{{ define "main" }}
<h2 class="page-heading">Последние новости</h2>
{{ partial "post-list.html" . }}
{{ end }}
EOF

cat > layouts/_default/list.html <<'EOF'
{{ define "main" }}
<h2 class="page-heading">{{ .Title }}</h2>
{{ partial "post-list.html" . }}
{{ end }}
EOF

cat > layouts/_default/terms.html <<'EOF'
{{ define "main" }}
<h2 class="page-heading">{{ .Title }}</h2>
<ul>{{ range .Data.Terms.Alphabetical }}<li><a href="{{ .Page.Permalink }}">{{ .Page.Title }}</a> ({{ .Count }})</li>{{ end }}</ul>
{{ end }}
EOF

cat > layouts/_default/single.html <<'EOF'
{{ define "main" }}
<article class="post">
  <header>
    <h2 class="post-title">{{ .Title }}</h2>
    <time datetime="{{ .Date.Format "2006-01-02T15:04:05-07:00" }}">{{ .Date.Format "02.01.2006" }}</time>
    {{ range .GetTerms "categories" }}<a class="category" href="{{ .Permalink }}">{{ .LinkTitle }}</a>{{ end }}
  </header>
  <div class="post-content">{{ .Content }}</div>
</article>
{{ end }}
EOF

# Posts: date|category|slug|title|slug of an older post that the summary links
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
        first = (f'Продолжение темы: читайте также [предыдущий материал]({{{{< ref "{link}.md" >}}}}). '
                 'Редакция «Вестей Заречья» следит за развитием событий.')
    else:
        first = f'Новость номер {i + 1}: {title}. Подробности — в нашем материале.'
    tag = 'транспорт' if 'маршрут' in title or 'Светофор' in title else 'новости'
    yaml_title = title.replace('\\', '\\\\').replace('"', '\\"')
    with open(f'content/posts/{slug}.md', 'w', encoding='utf-8') as f:
        f.write(f'---\ntitle: "{yaml_title}"\ndate: {date}T10:{i:02d}:00+03:00\nslug: "{slug}"\n'
                f'categories: ["{cat}"]\ntags: ["{tag}"]\n---\n{first}\n\n<!--more-->\n\n'
                'Второй абзац: в администрации пообещали вернуться к вопросу через месяц. '
                'Жители просят держать их в курсе.\n\n'
                'Третий абзац с мнением горожан и цитатой: «Будем ждать».\n')
EOF

hugo --quiet -s "$SRC" -d "$SRC/public"
rm -rf "$HERE/site"
cp -a public "$HERE/site"

# corpus.txt: the list of category "Город" (Hugo lower-cases the term: /categories/город/),
# newest first, 5 a page; paths as Hugo's .Permalink percent-encodes them.
python3 - "$SRC/posts.txt" > "$HERE/corpus.txt" <<'EOF'
import sys, urllib.parse
rows = [l.rstrip('\n').split('|') for l in open(sys.argv[1], encoding='utf-8') if l.strip()]
arts = [r for r in rows if r[1] == 'Город'][::-1]
path = lambda r: '/%s/%s/' % ('/'.join(r[0].split('-')[:2]), urllib.parse.quote(r[2]))
print('generator\tHugo 0.111.3+extended (Debian bookworm package hugo 0.111.3-1), site-local minimal layout using Hugo\'s embedded pagination/opengraph templates')
print('origin\thttp://127.0.0.1:8480')
print('list\t/categories/%s/' % urllib.parse.quote('город'))
print('pages\t%d' % ((len(arts) + 4) // 5))
print('example\t' + path(next(r for r in arts[:5] if '"' in r[3] or '&' in r[3])))
for r in arts:
    print('article\t%s\t%s' % (path(r), r[3]))
EOF
