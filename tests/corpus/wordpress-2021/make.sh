#!/bin/sh
# Record of how tests/corpus/wordpress-2021 was rendered (not run by CI).
# Debian 12 (bookworm), as root; everything runs on 127.0.0.1:8480 only.
# The HTML in site/ is the engine's output as served, stored byte for byte by crawl.py.
set -eu
W=/tmp/corpus-dynamic
mkdir -p $W/logs $W/out $W/apache
cd $W

apt-get update
apt-get install -y wordpress wordpress-theme-twentytwentyone mariadb-server php-cli php-intl php-mbstring php-xml
# (Debian's policy-rc.d keeps the packaged apache2/mariadb services from starting)

# ---- MariaDB in a private data dir, unix socket only (no TCP)
mariadb-install-db --datadir=$W/mysql/data --user=root --auth-root-authentication-method=socket > logs/installdb.log
chmod 755 $W $W/mysql
/usr/sbin/mariadbd --no-defaults --datadir=$W/mysql/data --socket=$W/mysql/mysqld.sock \
  --pid-file=$W/mysql/mysqld.pid --skip-networking --user=root \
  --character-set-server=utf8mb4 --collation-server=utf8mb4_unicode_ci > logs/mysqld.log 2>&1 &
sleep 4
mariadb --socket=$W/mysql/mysqld.sock -uroot -e "CREATE DATABASE IF NOT EXISTS wp2021 CHARACTER SET utf8mb4;
  CREATE USER IF NOT EXISTS 'wp'@'localhost' IDENTIFIED BY 'wppass'; GRANT ALL ON wp2021.* TO 'wp'@'localhost';"

# ---- Debian's /usr/share/wordpress/wp-config.php loads /etc/wordpress/config-$WORDPRESS_CONFIG.php
cat > /etc/wordpress/config-wp2021.php <<'CORPUS_EOF'
<?php
define('DB_NAME', 'wp2021');
define('DB_USER', 'wp');
define('DB_PASSWORD', 'wppass');
define('DB_HOST', 'localhost:/tmp/corpus-dynamic/mysql/mysqld.sock');
define('DB_CHARSET', 'utf8mb4');
define('WP_CONTENT_DIR', '/var/lib/wordpress/wp-content');
define('WPLANG', 'ru_RU');
define('DISABLE_WP_CRON', true);
define('AUTOMATIC_UPDATER_DISABLED', true);
define('WP_HTTP_BLOCK_EXTERNAL', true);
define('AUTH_KEY', 'skimlet-corpus-wp2021-1'); define('SECURE_AUTH_KEY', 'skimlet-corpus-wp2021-2');
define('LOGGED_IN_KEY', 'skimlet-corpus-wp2021-3'); define('NONCE_KEY', 'skimlet-corpus-wp2021-4');
define('AUTH_SALT', 'skimlet-corpus-wp2021-5'); define('SECURE_AUTH_SALT', 'skimlet-corpus-wp2021-6');
define('LOGGED_IN_SALT', 'skimlet-corpus-wp2021-7'); define('NONCE_SALT', 'skimlet-corpus-wp2021-8');
$table_prefix = 'wp_';
CORPUS_EOF
chmod 644 /etc/wordpress/config-wp2021.php

# ---- Apache (Debian apache2 + libapache2-mod-php8.2) with a private config
cat > $W/apache/httpd.conf <<'CORPUS_EOF'
# Private Apache instance for the Skimlet corpus (Debian apache2 + libapache2-mod-php8.2)
# usage: apache2 -f /tmp/corpus-dynamic/apache/httpd.conf -D WORDPRESS -D SITE_wp2021 -k start   (or -D SITE_mediawiki, -D SITE_dokuwiki)
ServerRoot /etc/apache2
LoadModule mpm_prefork_module /usr/lib/apache2/modules/mod_mpm_prefork.so
LoadModule authz_core_module /usr/lib/apache2/modules/mod_authz_core.so
LoadModule mime_module /usr/lib/apache2/modules/mod_mime.so
LoadModule dir_module /usr/lib/apache2/modules/mod_dir.so
LoadModule alias_module /usr/lib/apache2/modules/mod_alias.so
LoadModule rewrite_module /usr/lib/apache2/modules/mod_rewrite.so
LoadModule env_module /usr/lib/apache2/modules/mod_env.so
LoadModule php_module /usr/lib/apache2/modules/libphp8.2.so
User www-data
Group www-data
Listen 127.0.0.1:8480
ServerName 127.0.0.1
PidFile /tmp/corpus-dynamic/apache/httpd.pid
Mutex file:/tmp/corpus-dynamic/apache
ErrorLog /tmp/corpus-dynamic/logs/apache-error.log
LogFormat "%h %t \"%r\" %>s %b" common
CustomLog /tmp/corpus-dynamic/logs/apache-access.log common
TypesConfig /etc/mime.types
AddDefaultCharset off
StartServers 2
MaxRequestWorkers 6
<FilesMatch "\.php$">
    SetHandler application/x-httpd-php
</FilesMatch>
<Directory />
    Options FollowSymLinks
    AllowOverride None
    Require all denied
</Directory>

# ---- WordPress (Debian's "defined virtual host" example, rewrite rules of /etc/wordpress/htaccess)
<IfDefine WORDPRESS>
DocumentRoot /usr/share/wordpress/
DirectoryIndex index.php index.html
Alias /wp-content /var/lib/wordpress/wp-content
<Directory /usr/share/wordpress>
    Options FollowSymLinks
    Require all granted
    # rules from /etc/wordpress/htaccess (single blog on /)
    RewriteEngine On
    RewriteBase /
    RewriteCond %{REQUEST_FILENAME} !-f
    RewriteCond %{REQUEST_FILENAME} !-d
    RewriteRule . /index.php [L]
</Directory>
<Directory /var/lib/wordpress/wp-content>
    Options FollowSymLinks
    Require all granted
</Directory>
<IfDefine SITE_wp2021>
SetEnv WORDPRESS_CONFIG wp2021
</IfDefine>
<IfDefine SITE_wpblocks>
SetEnv WORDPRESS_CONFIG wpblocks
</IfDefine>
</IfDefine>

# ---- MediaWiki (Debian layout: /var/lib/mediawiki), short URLs /wiki/$1
<IfDefine SITE_mediawiki>
DocumentRoot /var/lib/mediawiki
DirectoryIndex index.php
Alias /wiki /var/lib/mediawiki/index.php
<Directory /var/lib/mediawiki>
    Options FollowSymLinks
    Require all granted
</Directory>
<Directory /usr/share/mediawiki>
    Options FollowSymLinks
    Require all granted
</Directory>
</IfDefine>

# ---- DokuWiki (Debian layout: /usr/share/dokuwiki)
<IfDefine SITE_dokuwiki>
DocumentRoot /usr/share/dokuwiki
DirectoryIndex doku.php
<Directory /usr/share/dokuwiki>
    Options FollowSymLinks
    Require all granted
    # rewrite rules of /etc/dokuwiki/htaccess (userewrite = 1), uncommented
    RewriteEngine on
    RewriteBase /
    RewriteRule ^_media/(.*)              lib/exe/fetch.php?media=$1  [QSA,L]
    RewriteRule ^_detail/(.*)             lib/exe/detail.php?media=$1  [QSA,L]
    RewriteRule ^_export/([^/]+)/(.*)     doku.php?do=export_$1&id=$2  [QSA,L]
    RewriteRule ^$                        doku.php  [L]
    RewriteCond %{REQUEST_FILENAME}       !-f
    RewriteCond %{REQUEST_FILENAME}       !-d
    RewriteRule (.*)                      doku.php?id=$1  [QSA,L]
    RewriteRule ^index.php$               doku.php
</Directory>
<Directory /usr/share/dokuwiki/bin>
    Require all denied
</Directory>
</IfDefine>
CORPUS_EOF

apache2 -f $W/apache/httpd.conf -D WORDPRESS -D SITE_wp2021 -k start
sleep 1

# ---- WordPress's own installer (wp-admin/install.php, step 2), Russian
curl -s -o logs/install-wp2021.html \
  --data-urlencode 'weblog_title=Вестник Заречья' --data-urlencode 'user_name=redaktor' \
  --data-urlencode 'admin_password=Korpus-2024-pass' --data-urlencode 'admin_password2=Korpus-2024-pass' \
  --data-urlencode 'pw_weak=1' --data-urlencode 'admin_email=redaktor@example.org' \
  --data-urlencode 'blog_public=1' --data-urlencode 'language=ru_RU' \
  --data-urlencode 'Submit=Установить WordPress' 'http://127.0.0.1:8480/wp-admin/install.php?step=2'

# ---- settings, theme, permalinks, categories and posts through wp-load.php
cat > $W/wp-content-setup.php <<'CORPUS_EOF'
<?php
// Creates the Russian test content of a Skimlet corpus WordPress site through
// WordPress's own API (wp-load.php, wp_insert_term, wp_insert_post).
// usage: php wp-content-setup.php wp2021|wpblocks
$site = $argv[1];
$_SERVER['WORDPRESS_CONFIG'] = $site;
$_SERVER['HTTP_HOST'] = '127.0.0.1:8480';
$_SERVER['SERVER_NAME'] = '127.0.0.1';
$_SERVER['REQUEST_URI'] = '/';
require '/usr/share/wordpress/wp-load.php';
require_once ABSPATH . 'wp-admin/includes/post.php';
wp_set_current_user(1); // the administrator (has unfiltered_html, as in wp-admin)

function para($text) {
	return "<!-- wp:paragraph -->\n<p>" . $text . "</p>\n<!-- /wp:paragraph -->";
}

if ($site === 'wp2021') {
	$theme = 'twentytwentyone';
	$tagline = 'Новости города Заречье и окрестностей';
	$cats = [
		'city'    => ['Город', ''],            // Cyrillic slug made by WordPress
		'sport'   => ['Спорт', 'sport'],       // Latin slug
		'culture' => ['Культура', ''],
	];
	// [category keys, title, slug ('' = WordPress makes it from the title), excerpt(uses {link:N}), link to older post N in content]
	$posts = [
		[['city'], 'Мэр "Заречья" & депутаты обсудили бюджет на 2027 год', '', '', null],
		[['sport'], 'ФК «Заречье» вышел в финал областного кубка', 'fc-zarechye-final', '', null],
		[['city'], 'Кафе "Уют" & Co открылось на Садовой', 'cafe-uyut-opened', '', null],
		[['city'], 'В парке «Берёзовая роща» высадили сто лип', '', '', null],
		[['city'], 'Ремонт моста через Заречку завершат к декабрю', 'bridge-repair-december', '', 0],
		[['culture'], 'Театр "Маска" & оркестр покажут «Щелкунчика»', '', '', null],
		[['city'], 'Школа №3 получила новый спортзал', '', '', null],
		[['city'], 'Автобус №12 изменит маршрут с понедельника', 'bus-12-new-route', '', 4],
		[['city', 'culture'], 'Библиотека & музей: общий абонемент для горожан', 'library-museum-pass', '', null],
		[['city'], 'ТСЖ "Северный" отчиталось о ремонте крыш', '', '', null],
		[['sport'], 'Лыжня в Сосновом бору откроется раньше срока', 'ski-track-early', '', null],
		[['city'], 'На Привокзальной площади заработал фонтан', '', '', null],
		[['city'], 'Горсовет утвердил схему уборки снега', 'snow-plan', '', null],
		[['city'], 'Рынок «Колхозный» переедет в новый павильон', '', 'Торговцы переезжают в новый павильон, как и решили <a href="{link:0}">мэр и депутаты в сентябре</a>. Старое здание рынка закроют на ремонт.', 0],
		[['culture'], 'Выставка «Старое Заречье» открылась в музее', 'old-zarechye-exhibition', '', null],
		[['city'], 'Пенсионеры "Заречья" & волонтёры провели субботник', 'subbotnik-volunteers', '', 3],
		[['city'], 'Ёлочный базар откроется у Дома культуры', '', '', null],
		[['city'], 'Открыт приём заявок на конкурс «Городской проект — 2027»', '', '', null],
		[['city'], 'Водоканал & «Теплосеть» проверят трубы на Заводской', 'pipes-check-zavodskaya', 'Проверка продолжит работы, начатые после <a href="{link:9}">отчёта ТСЖ «Северный»</a>: коммунальщики обойдут все дома улицы.', 9],
	];
	$start = strtotime('2026-09-02 09:15:00');
} else {
	$theme = 'twentytwentytwo';
	$tagline = 'Городская газета Приречья';
	$cats = [
		'incidents' => ['Происшествия', 'proisshestviya'],
		'economy'   => ['Экономика', ''],
		'weather'   => ['Погода', 'pogoda'],
	];
	$posts = [
		[['incidents'], 'Пожарные "Приречья" & спасатели провели учения на реке', '', '', null],
		[['economy'], 'Завод «Прибор» набирает двести рабочих', '', '', null],
		[['incidents'], 'На трассе М-7 «Волга» столкнулись три грузовика', 'm7-trucks-collision', '', null],
		[['incidents'], 'Из зоопарка сбежал енот по кличке «Кекс»', '', '', null],
		[['incidents'], 'Магазин "Ромашка" & Ко ограбили ночью', 'romashka-robbery', '', null],
		[['weather'], 'Синоптики обещают тёплый сентябрь', 'warm-september', '', null],
		[['incidents'], 'Подтопление в Нижнем посёлке: эвакуированы 12 семей', '', '', null],
		[['incidents'], 'Пожар в кафе «Уют» на Садовой', 'cafe-uyut-fire', '', 0],
		[['incidents'], 'Водитель автобуса «Приречье — Озёрск» спас пассажира', '', '', null],
		[['incidents'], 'Полиция нашла угнанный трактор "Беларус"', 'stolen-tractor-found', '', null],
		[['economy'], 'Фермеры "Заречья" & "Приречья" открыли общую ярмарку', '', '', null],
		[['incidents'], 'Обрыв провода оставил без света три улицы', '', '', null],
		[['incidents'], 'Грибники заблудились в лесу & вышли к утру', '', '', 3],
		[['incidents'], 'Аварийный мост закрыли для грузовиков', 'bridge-closed-trucks', '', null],
		[['weather'], 'Первый снег выпадет в конце октября', '', '', null],
		[['incidents'], 'Прорыв трубы на Заводской: воды не будет до вечера', '', '', null],
		[['incidents'], 'Кафе "Уют" & Co открылось после пожара', 'cafe-uyut-reopened', 'Владельцы восстановили зал за два месяца после <a href="{link:7}">пожара в сентябре</a>. Первых гостей угощали бесплатно.', 7],
		[['incidents'], 'Спасатели сняли кошку с девятиэтажки «Высотка»', '', '', null],
	];
	$start = strtotime('2026-09-03 10:40:00');
}

// Site settings (as on Settings → General / Reading / Permalinks)
update_option('blogdescription', $tagline);
update_option('posts_per_page', 5);
update_option('blog_public', 1); // Settings → Reading: allow search engines
update_option('timezone_string', 'Europe/Moscow');
update_option('date_format', 'j F Y');
update_option('time_format', 'H:i');
switch_theme($theme);
global $wp_rewrite;
$wp_rewrite->set_permalink_structure('/%year%/%monthnum%/%postname%/');
$wp_rewrite->set_category_base('');
$wp_rewrite->flush_rules(false);

// Remove the install's sample post and page ("Привет, мир!", "Пример страницы")
foreach (get_posts(['post_type' => ['post', 'page'], 'post_status' => 'any', 'numberposts' => -1]) as $p) {
	wp_delete_post($p->ID, true);
}

$catIds = [];
foreach ($cats as $key => [$name, $slug]) {
	$args = $slug === '' ? [] : ['slug' => $slug];
	$r = wp_insert_term($name, 'category', $args);
	if (is_wp_error($r)) { fwrite(STDERR, $r->get_error_message() . "\n"); exit(1); }
	$catIds[$key] = $r['term_id'];
}

$bodies = [
	'Об этом сообщили в администрации. Работы ведутся по графику, подрядчик уже получил аванс.',
	'Жители, с которыми поговорил наш корреспондент, в целом довольны: «Давно пора», — говорит пенсионерка Анна Петровна.',
	'Подробности — в следующем номере газеты и на нашем сайте.',
	'Вопросы можно задать по телефону горячей линии 8 (800) 000-00-00 с 9:00 до 18:00.',
];

$ids = [];
$t = $start;
foreach ($posts as $i => [$catKeys, $title, $slug, $excerpt, $linkTo]) {
	$t += 86400 * (3 + ($i % 3)) + 3600 * ($i % 5) + 60 * (7 * $i % 50);
	$content = [para($bodies[$i % 4]), para($bodies[($i + 1) % 4])];
	if ($linkTo !== null) {
		$content[] = para('Читайте также: <a href="' . get_permalink($ids[$linkTo]) . '">' . esc_html(get_post($ids[$linkTo])->post_title) . '</a>.');
	}
	$content[] = para($bodies[($i + 2) % 4]);
	$excerpt = preg_replace_callback('/\{link:(\d+)\}/', fn($m) => get_permalink($ids[(int)$m[1]]), $excerpt);
	$postarr = [
		'post_title'    => $title,
		'post_content'  => implode("\n\n", $content),
		'post_excerpt'  => $excerpt,
		'post_status'   => 'publish',
		'post_author'   => 1,
		'post_date'     => date('Y-m-d H:i:s', $t),
		'post_category' => array_map(fn($k) => $catIds[$k], $catKeys),
	];
	if ($slug !== '') $postarr['post_name'] = $slug;
	$id = wp_insert_post(wp_slash($postarr), true);
	if (is_wp_error($id)) { fwrite(STDERR, $id->get_error_message() . "\n"); exit(1); }
	$ids[$i] = $id;
	echo $id, "\t", get_permalink($id), "\t", get_post($id)->post_title, "\n";
}
foreach ($catIds as $k => $id) echo "category\t$k\t", get_category_link($id), "\n";
CORPUS_EOF
php $W/wp-content-setup.php wp2021 | tee logs/setup-wp2021.log

# ---- crawl: home page, list page 1 and its next pages, every article, linked stylesheets
cat > $W/crawl.py <<'CORPUS_EOF'
#!/usr/bin/env python3
"""Crawl a locally served site into a Skimlet corpus fixture.

Fetches the seed pages (home page), list page 1 and every further list page by
following the page's own next-page link, every article linked from the list
pages, and the stylesheets the stored pages link. Bytes are stored exactly as
served. URL -> file: percent-decoded path; a trailing '/' gets 'index.html';
a query string is appended to the file name as '?<decoded query>'.

usage: crawl.py SPEC.json
SPEC: {"origin": "http://127.0.0.1:8480", "out": "DIR", "seeds": ["/"],
       "list": "/category/x/", "next": REGEX(group 1 = href),
       "article": REGEX(group 1 = href), "scope": REGEX (optional, group 1 =
       the part of a list page where article links are looked for), "css": true,
       "skip_css": [REGEX, ...]}
"""
import html, json, os, re, sys, urllib.parse, urllib.request

spec = json.load(open(sys.argv[1], encoding="utf-8"))
origin = spec["origin"]
out = spec["out"]
fetched = {}
log = []


def file_for(url):
    u = urllib.parse.urlsplit(url)
    path = urllib.parse.unquote(u.path)
    if path.endswith("/"):
        path += "index.html"
    name = path.lstrip("/")
    if u.query:
        name += "?" + urllib.parse.unquote(u.query)
    return os.path.join(out, "site", name)


def fetch(url):
    if url in fetched:
        return fetched[url]
    req = urllib.request.Request(url, headers={"User-Agent": "corpus-crawler"})
    with urllib.request.urlopen(req) as r:
        body = r.read()
        status = r.status
    f = file_for(url)
    os.makedirs(os.path.dirname(f), exist_ok=True)
    with open(f, "wb") as fh:
        fh.write(body)
    fetched[url] = body
    log.append(f"{status}\t{url}\t{os.path.relpath(f, out)}\t{len(body)}")
    return body


def absolute(href, base):
    return urllib.parse.urljoin(base, html.unescape(href))


pages = []
for s in spec.get("seeds", []):
    u = origin + s
    pages.append((u, fetch(u).decode("utf-8")))

articles = []
u = origin + spec["list"]
n = 0
while u:
    n += 1
    text = fetch(u).decode("utf-8")
    pages.append((u, text))
    scope = text
    if spec.get("scope"):
        sm = re.search(spec["scope"], text, re.S)
        scope = sm.group(1) if sm else ""
    for m in re.finditer(spec["article"], scope, re.S):
        a = absolute(m.group(1), u)
        if a not in articles:
            articles.append(a)
    m = re.search(spec["next"], text, re.S)
    u = absolute(m.group(1), u) if m else None
print("list pages:", n)
for a in articles:
    pages.append((a, fetch(a).decode("utf-8")))
print("articles:", len(articles))

if spec.get("css"):
    for url, text in list(pages):
        for m in re.finditer(r"<link\b[^>]*>", text):
            tag = m.group(0)
            if "stylesheet" not in tag:
                continue
            h = re.search(r"""href=(['"])(.*?)\1""", tag)
            if not h:
                continue
            c = absolute(h.group(2), url)
            if not c.startswith(origin + "/"):
                continue
            if any(re.search(p, c) for p in spec.get("skip_css", [])):
                continue
            fetch(c)

with open(os.path.join(out, "crawl.log"), "w", encoding="utf-8") as fh:
    fh.write("\n".join(log) + "\n")
with open(os.path.join(out, "articles.txt"), "w", encoding="utf-8") as fh:
    fh.write("\n".join(a[len(origin):] for a in articles) + "\n")
CORPUS_EOF
cat > $W/check.py <<'CORPUS_EOF'
#!/usr/bin/env python3
"""Serve a corpus fixture the way the C++ test will and check it.

usage: check.py FIXTURE_DIR NEXT_REGEX [HEADLINE_REGEX]
  NEXT_REGEX: regex whose group 1 is the href of a list page's next-page link.
  HEADLINE_REGEX: regex whose group 1 is the article's headline HTML.
Serving rule: percent-decode the request path; '/' at the end -> index.html;
a query string -> file '<decoded path>?<decoded query>'; text/html unless the
extension says css/js/png/jpg/gif/svg/xml; the corpus origin is replaced by the
server's own origin in served bodies.
"""
import html, http.server, os, re, sys, threading, urllib.parse, urllib.request

fixture, next_re = sys.argv[1], sys.argv[2]
head_re = sys.argv[3] if len(sys.argv) > 3 else None
site = os.path.join(fixture, "site")
meta, articles = {}, []
for line in open(os.path.join(fixture, "corpus.txt"), encoding="utf-8"):
    parts = line.rstrip("\n").split("\t")
    if parts[0] == "article":
        articles.append((parts[1], parts[2]))
    elif len(parts) == 2:
        meta[parts[0]] = parts[1]
origin = meta.get("origin", "")
TYPES = {".css": "text/css", ".js": "application/javascript", ".png": "image/png",
         ".jpg": "image/jpeg", ".gif": "image/gif", ".svg": "image/svg+xml", ".xml": "application/xml"}


class H(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        u = urllib.parse.urlsplit(self.path)
        p = urllib.parse.unquote(u.path)
        if p.endswith("/"):
            p += "index.html"
        name = p.lstrip("/")
        if u.query:
            name += "?" + urllib.parse.unquote(u.query)
        f = os.path.join(site, name)
        if ".." in name or not os.path.isfile(f):
            self.send_response(404); self.end_headers(); return
        body = open(f, "rb").read()
        if origin:
            body = body.replace(origin.encode(), self.server.own.encode())
        self.send_response(200)
        self.send_header("Content-Type", TYPES.get(os.path.splitext(p)[1], "text/html; charset=utf-8"))
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *a):
        pass


srv = http.server.ThreadingHTTPServer(("127.0.0.1", 0), H)
srv.own = "http://127.0.0.1:%d" % srv.server_address[1]
threading.Thread(target=srv.serve_forever, daemon=True).start()
base = srv.own
errors = []


def get(url):
    try:
        with urllib.request.urlopen(url) as r:
            return r.status, r.read().decode("utf-8")
    except urllib.error.HTTPError as e:
        return e.code, ""


def norm(s):
    s = html.unescape(re.sub(r"<[^>]+>", "", s))
    for a, b in (("«", '"'), ("»", '"'), ("“", '"'), ("”", '"'), ("„", '"'), ("\u00a0", " ")):
        s = s.replace(a, b)
    return " ".join(s.split())


# list pages by following each page's own next link
url, n, page1 = base + meta["list"], 0, None
seen = set()
while url:
    if url in seen:
        errors.append("next-link loop at " + url); break
    seen.add(url)
    st, text = get(url)
    if st != 200:
        errors.append("list page %s -> %d" % (url, st)); break
    n += 1
    page1 = page1 or text
    m = re.search(next_re, text, re.S)
    url = urllib.parse.urljoin(url, html.unescape(m.group(1))) if m else None
    if url and not url.startswith(base):
        errors.append("next link leaves the site: " + url); url = None
print("list pages followed:", n, "(corpus.txt says %s)" % meta["pages"])
if str(n) != meta["pages"]:
    errors.append("page count %d != %s" % (n, meta["pages"]))

# example linked on page 1
hrefs = [html.unescape(h) for h in re.findall(r'href="([^"]+)"', page1)]
ex = meta["example"]
if not any(h in (base + ex, ex) for h in hrefs):
    errors.append("example not linked on page 1: " + ex)
if ex not in [a for a, _ in articles]:
    errors.append("example is not an article line")

exact = 0
for path, title in articles:
    st, text = get(base + path)
    if st != 200:
        errors.append("article %s -> %d" % (path, st)); continue
    if head_re:
        m = re.search(head_re, text, re.S)
        shown = m.group(1) if m else ""
    else:
        shown = text
    if html.unescape(re.sub(r"<[^>]+>", "", shown)).strip() == title:
        exact += 1
    if norm(title) not in norm(shown):
        errors.append("headline not shown: %s %r" % (path, title))
print("articles:", len(articles), "answering 200 with headline:",
      len(articles) - len([e for e in errors if e.startswith(("article", "headline"))]),
      "; headline identical to the authored title (after entity decoding):", exact)
srv.shutdown()
print("OK" if not errors else "ERRORS:\n  " + "\n  ".join(errors))
sys.exit(1 if errors else 0)
CORPUS_EOF
cat > $W/spec-wp2021.json <<'CORPUS_EOF'
{"origin": "http://127.0.0.1:8480", "out": "/tmp/corpus-dynamic/out/wordpress-2021",
 "seeds": ["/"],
 "list": "/category/%d0%b3%d0%be%d1%80%d0%be%d0%b4/",
 "next": "<a class=\"next page-numbers\" href=\"([^\"]+)\"",
 "article": "<h2 class=\"entry-title[^\"]*\"><a href=\"([^\"]+)\"",
 "css": true}
CORPUS_EOF
rm -rf $W/out/wordpress-2021
python3 $W/crawl.py $W/spec-wp2021.json

# ---- corpus.txt: article lines with the raw post_title of each crawled article path
cat > $W/titles-wp.php <<'CORPUS_EOF'
<?php
// prints "article<TAB>path<TAB>raw post_title" for each path on stdin (list order)
$_SERVER['WORDPRESS_CONFIG'] = $argv[1];
$_SERVER['HTTP_HOST'] = '127.0.0.1:8480';
require '/usr/share/wordpress/wp-load.php';
while (($line = fgets(STDIN)) !== false) {
	$path = trim($line);
	if ($path === '') continue;
	$id = url_to_postid('http://127.0.0.1:8480' . $path);
	if (!$id) { fwrite(STDERR, "no post for $path\n"); exit(1); }
	echo "article\t$path\t", get_post($id)->post_title, "\n";
}
CORPUS_EOF
php $W/titles-wp.php wp2021 < out/wordpress-2021/articles.txt > out/wordpress-2021/articles.tsv
D=out/wordpress-2021
{ printf 'generator\tWordPress 6.1.9 with twentytwentyone 1.7 (Debian)\n'; printf 'origin\thttp://127.0.0.1:8480\n'; printf 'list\t/category/%%d0%%b3%%d0%%be%%d1%%80%%d0%%be%%d0%%b4/\n'; printf 'pages\t3\n'
  printf 'example\t%s\n' '/2026/11/subbotnik-volunteers/'; cat $D/articles.tsv; } > $D/corpus.txt
python3 $W/check.py out/wordpress-2021 '<a class="next page-numbers" href="([^"]+)"' '<h1 class="entry-title">(.*?)</h1>'

apache2 -f $W/apache/httpd.conf -D WORDPRESS -D SITE_wp2021 -k stop
kill "$(cat $W/mysql/mysqld.pid)"
