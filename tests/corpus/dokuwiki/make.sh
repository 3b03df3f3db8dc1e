#!/bin/sh
# Record of how tests/corpus/dokuwiki was rendered (not run by CI).
# Debian 12 (bookworm), as root; everything runs on 127.0.0.1:8480 only.
# The HTML in site/ is the engine's output as served, stored byte for byte by crawl.py.
set -eu
W=/tmp/corpus-dynamic
mkdir -p $W/logs $W/out $W/apache
cd $W

apt-get update
apt-get install -y dokuwiki faketime php-cli php-mbstring php-xml
# (Debian's policy-rc.d keeps the packaged apache2 service from starting; the package
#  comes preconfigured: data in /var/lib/dokuwiki/data, config in /etc/dokuwiki)

# ---- settings appended to Debian's /etc/dokuwiki/local.php
cat >> /etc/dokuwiki/local.php <<'CORPUS_EOF'
// --- Skimlet corpus settings (as the configuration manager would write them) ---
$conf['title'] = 'Справочник Заречья';
$conf['lang'] = 'ru';
$conf['useheading'] = '1';        // first heading is the page name (links, index, <title>)
$conf['userewrite'] = 1;          // nice URLs via the .htaccess rewrite rules
$conf['useslash'] = 1;            // namespace separator in URLs is '/'
$conf['dformat'] = '%d.%m.%Y %H:%M';
CORPUS_EOF

# ---- pages through DokuWiki's bin/dwpage.php, dated with faketime
cat > $W/dw-content.py <<'CORPUS_EOF'
#!/usr/bin/env python3
"""Creates the Russian test pages of the Skimlet corpus DokuWiki with DokuWiki's
own bin/dwpage.php (run as www-data), each at its own date through faketime."""
import datetime, os, subprocess, tempfile

news = [  # (page id, first heading = page name)
    ("новости:мэр_и_депутаты_обсудили_бюджет", 'Мэр "Заречья" & депутаты обсудили бюджет'),
    ("новости:кафе_уют_открылось", 'Кафе "Уют" & Co открылось на Садовой'),
    ("новости:берёзовая_роща", "В парке «Берёзовая роща» высадили сто лип"),
    ("новости:bus_12_new_route", "Автобус №12 изменит маршрут"),
    ("новости:библиотека_и_музей", "Библиотека & музей: общий абонемент"),
    ("новости:тсж_северный", 'ТСЖ "Северный" отчиталось о ремонте крыш'),
    ("новости:фонтан", "На Привокзальной площади заработал фонтан"),
    ("новости:snow_plan", "Горсовет утвердил схему уборки снега"),
    ("новости:рынок_колхозный", "Рынок «Колхозный» переедет в новый павильон"),
    ("новости:субботник", 'Пенсионеры "Заречья" & волонтёры провели субботник'),
    ("новости:ёлочный_базар", "Ёлочный базар откроется у Дома культуры"),
    ("новости:it_park", "IT-парк «Заречье» набирает резидентов"),
    ("новости:водоканал_и_теплосеть", "Водоканал & «Теплосеть» проверят трубы"),
]
links = {8: 0, 12: 5, 9: 1}  # page -> older page it links
other = [
    ("спорт:фк_заречье_в_финале", "ФК «Заречье» вышел в финал кубка"),
    ("спорт:лыжня", "Лыжня в Сосновом бору откроется раньше срока"),
]
bodies = [
    "Об этом сообщили в администрации города. Работы ведутся по графику, подрядчик уже получил аванс.",
    "Жители, с которыми поговорил наш корреспондент, в целом довольны: «Давно пора», — говорит пенсионерка Анна Петровна.",
    "Подробности — в следующих выпусках новостей.",
    "Вопросы можно задать по телефону горячей линии с 9:00 до 18:00.",
]


def commit(page, text, when):
    with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False, dir="/tmp/corpus-dynamic/dw", encoding="utf-8") as f:
        f.write(text)
    os.chmod(f.name, 0o644)
    subprocess.run(["faketime", when.strftime("%Y-%m-%d %H:%M:%S"), "runuser", "-u", "www-data", "--",
                    "php", "/usr/share/dokuwiki/bin/dwpage.php", "-u", "redaktor", "commit",
                    "-m", "новая статья", f.name, page], check=True, env=dict(os.environ, HTTP_HOST="127.0.0.1:8480"))
    os.unlink(f.name)
    # dwpage.php stamps the changelog with the (faked) time, but the page file's
    # mtime is the real one; DokuWiki would then report an "external edit".
    # Set the file's mtime to the revision, as a restore from backup would.
    out = subprocess.run(["runuser", "-u", "www-data", "--", "php", "-r", 'require "/usr/share/dokuwiki/inc/init.php"; echo wikiFN($argv[1]), "\\t", metaFN($argv[1], ".changes");', page],
                         check=True, capture_output=True, text=True, env=dict(os.environ, HTTP_HOST="127.0.0.1:8480")).stdout
    pagefile, changes = out.split("\t")
    rev = int(open(changes, encoding="utf-8").read().splitlines()[-1].split("\t")[0])
    os.utime(pagefile, (rev, rev))


t = datetime.datetime(2026, 9, 1, 8, 0)
commit("start", "====== Справочник Заречья ======\n\nГородской справочник и новости Заречья.\n\n"
       "  * [[start?do=index&idx=новости|Новости]]\n  * [[start?do=index&idx=спорт|Спорт]]\n", t)
for i, (page, title) in enumerate(news):
    t += datetime.timedelta(days=4, hours=i % 5, minutes=7 * i % 50)
    text = "====== %s ======\n\n%s\n\n%s\n" % (title, bodies[i % 4], bodies[(i + 1) % 4])
    if i in links:
        text += "\nСм. также: [[%s]].\n" % news[links[i]][0]
    text += "\n%s\n" % bodies[(i + 2) % 4]
    commit(page, text, t)
for j, (page, title) in enumerate(other):
    commit(page, "====== %s ======\n\n%s\n" % (title, bodies[j]), datetime.datetime(2026, 9, 20 + 5 * j, 12, 0))
CORPUS_EOF
mkdir -p $W/dw
python3 $W/dw-content.py
runuser -u www-data -- php /usr/share/dokuwiki/bin/indexer.php -q

# ---- Apache (Debian apache2 + libapache2-mod-php8.2) with a private config and the
#      rewrite rules of /etc/dokuwiki/htaccess (userewrite = 1)
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
apache2 -f $W/apache/httpd.conf -D SITE_dokuwiki -k start
sleep 1

# ---- crawl: /, /start, the index of namespace "новости", every page listed there, stylesheet
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
cat > $W/spec-dokuwiki.json <<'CORPUS_EOF'
{"origin": "http://127.0.0.1:8480", "out": "/tmp/corpus-dynamic/out/dokuwiki",
 "seeds": ["/", "/start"],
 "list": "/start?do=index&idx=%D0%BD%D0%BE%D0%B2%D0%BE%D1%81%D1%82%D0%B8",
 "next": "(?!x)x",
 "article": "<li class=\"level2\" ><div class=\"li\"><a href=\"([^\"]+)\" class=\"wikilink1\"",
 "css": true}
CORPUS_EOF
rm -rf $W/out/dokuwiki
python3 $W/crawl.py $W/spec-dokuwiki.json
# corpus.txt: article lines = crawled paths (articles.txt) with the first headings of dw-content.py
python3 - <<'CORPUS_EOF'
import urllib.parse, re
D = 'out/dokuwiki'
news = dict(eval(re.search(r'news = (\[.*?\n\])', open('dw-content.py').read(), re.S).group(1)))
paths = [l.strip() for l in open(D + '/articles.txt') if l.strip()]
lines = ['generator\tDokuWiki 2022-07-31b "Igor" with template dokuwiki (Debian)', 'origin\thttp://127.0.0.1:8480',
         'list\t/start?do=index&idx=%D0%BD%D0%BE%D0%B2%D0%BE%D1%81%D1%82%D0%B8', 'pages\t1']
arts = []; ex = None
for p in paths:
    pid = urllib.parse.unquote(p).lstrip('/').replace('/', ':')
    arts.append('article\t%s\t%s' % (p, news[pid]))
    if pid == 'новости:кафе_уют_открылось': ex = p
lines.append('example\t' + ex)
open(D + '/corpus.txt', 'w').write('\n'.join(lines + arts) + '\n')
CORPUS_EOF
python3 $W/check.py out/dokuwiki '(?!x)x' '<h1 class="sectionedit1"[^>]*>(.*?)</h1>'
apache2 -f $W/apache/httpd.conf -D SITE_dokuwiki -k stop
