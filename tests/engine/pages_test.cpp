// Pages as real sites serve them, through the commands of a run: redirects and <base href>
// as the base of links, "//", "..", "#", "&amp;", line breaks in links, scripts in any case,
// titles with character references.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "engine/DownLoad.h"
#include "platform/Files.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/RubricRun.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

using test::Cp;
using Req = httplib::Request;
using Res = httplib::Response;

// A run at step 3 of rubric "Мир" of channel "Лента", and a site.
struct Site : test::RubricRun {
  test::HttpTestServer server;
  ~Site() { run.reset(); }  // its kept-alive connection would hold up the server's stop
  void Page(const std::string& path, const std::string& body) {
    server.Get(path, [body](const Req&, Res& res) { res.set_content(body, "text/html"); });
  }
  void Redirect(const std::string& path, const std::string& to) {
    server.Get(path, [to](const Req&, Res& res) { res.set_redirect(to); });
  }
  std::string Url(const std::string& path) { return server.url(path); }
};

TEST(PageLinks, TheIndexPagesFinalAddressAndBaseHrefAreTheBaseOfItsLinks) {
  Site r;
  const std::string index = "<a href=\"news/1.html#comments\">1</a><a href=\"../top.html\">t</a>";
  r.Page("/section/index.html", index);
  r.Redirect("/old", "/section/index.html");
  r.Page("/based/index.html", "<head><base href=\"/other/\"></head><a href=\"a.php?x=1&amp;y=2\">a</a>");
  r.server.Start();

  // Where splicing gave the right address, the address stays the same.
  r.run->GetStart(r.Url("/section/index.html"), "href", "9");
  r.run->FindUrlNews("news/", "9");
  r.run->EditUrlNews("", "", "", "");
  EXPECT_EQ(r.B().NewsURL, r.Url("/section/news/1.html"));

  // Redirected: relative links belong to where the page ended up; StartURL stays as asked.
  r.run->GetStart(r.Url("/old"), "href", "9");
  EXPECT_EQ(r.B().StartURL, r.Url("/old"));
  r.run->FindUrlNews("news/", "9");
  EXPECT_EQ(r.B().NewsURL, "news/1.html#comments");  // taken as the page writes it
  r.run->EditUrlNews("", "", "", "");
  EXPECT_EQ(r.B().NewsURL, r.Url("/section/news/1.html"));  // fragment dropped
  r.run->FindUrlNews("top", "9");
  r.run->EditUrlNews("", "", "", "");
  EXPECT_EQ(r.B().NewsURL, r.Url("/top.html"));

  r.run->GetStart(" " + r.Url("/based/in\tdex.html") + "\r\n", "href", "9");  // as pasted into a macro
  r.run->FindUrlNews("a.php", "9");
  r.run->EditUrlNews("", "", "", "");
  EXPECT_EQ(r.B().NewsURL, r.Url("/other/a.php?x=1&y=2"));
}

TEST(PageLinks, AnArticlesLinksResolveAgainstTheArticle) {
  Site r;
  r.Page("/2024/05/article.html",
         "<html><head><link rel=stylesheet href=\"css/a.css\"></head><body id=top>"
         "<a href=\"../x.html\">x</a><a href=\"#top\">top</a><a href=\"//cdn.example.ru/y.html\">y</a>"
         "<IMG SRC=pic.jpg><img srcset=\"s1.jpg 1x, ../s2.jpg 2x\"><a href='?page=2'>2</a>"
         "<a Href=\"q.php?a=1&amp;b=2\">q</a><a href=\"mailto:ed@site.ru\">m</a>"
         "<p>&lt;img src=\"code.png\"&gt; src=\"text.png\"</p><!-- <a href=\"c.html\"> --></body></html>");
  r.Redirect("/n", "/2024/05/article.html");
  r.Page("/index.html", "<a href=\"/n?id=1\">n</a>");
  r.server.Start();
  r.run->GetStart(r.Url("/index.html"), "href", "9");
  r.B().NewsURL = r.Url("/n?id=1");
  r.run->GetNews("body", "9");
  ASSERT_NE(r.B().HTML, "");
  r.run->EditHTMLNews("StandartParameter=0", "", "", "");
  const std::string a = r.Url("/2024/05/");
  EXPECT_EQ(r.B().HTML,
            "<html><head><link rel=stylesheet HREF=\"" + a + "css/a.css\"></head><body id=top>"
            "<a HREF=\"" + r.Url("/2024/x.html") + "\">x</a><a HREF=\"#top\">top</a>"
            "<a HREF=\"http://cdn.example.ru/y.html\">y</a><IMG SRC=" + a + "pic.jpg>"
            "<img srcset=\"" + a + "s1.jpg 1x, " + r.Url("/2024/s2.jpg") + " 2x\">"
            "<a HREF='" + a + "article.html?page=2'>2</a><a HREF=\"" + a + "q.php?a=1&amp;b=2\">q</a>"
            "<a HREF=\"mailto:ed@site.ru\">m</a>"
            "<p>&lt;img src=\"code.png\"&gt; src=\"text.png\"</p><!-- <a href=\"c.html\"> --></body></html>");

  // A page of the run without an address of its own: the index page is the base.
  r.B().HTML = "<img src=\"p.gif\">";
  r.run->GetNews("never", "9");  // a failed fetch forgets the article's address
  r.B().HTML = "<img src=\"p.gif\">";
  r.run->EditHTMLNews("StandartParameter=0", "", "", "");
  EXPECT_EQ(r.B().HTML, "<img SRC=\"" + r.Url("/p.gif") + "\">");
}

TEST(PageLinks, OneAddressIsOneNewsAndLineBreaksNeverReachTheFiles) {
  Site r;
  r.Page("/index.html", "<a href=\"/news/\r\n1.html#a\">1</a><a href=\"/news/1.html#b\">again</a>");
  int hits = 0;
  r.server.Get("/news/1.html", [&](const Req&, Res& res) {
    ++hits;
    res.set_content("<html><title>One</title><body>ARTICLE " + std::string(60, '.') + "</body></html>", "text/html");
  });
  r.server.Start();
  r.run->GetStart(r.Url("/index.html"), "href", "9");
  r.run->FindUrlNews("/news/", "9");
  EXPECT_EQ(r.B().NewsURL, "/news/\r\n1.html#a");
  r.run->EditUrlNews("", "", "", "");
  EXPECT_EQ(r.B().NewsURL, r.Url("/news/1.html"));
  r.run->GetNews("ARTICLE", "9");
  r.run->FindNameNews("<title>", "</title>");
  r.run->SaveNews();
  const std::string file = test::ReadFile(r.Folder() + "One.html");
  EXPECT_NE(file.find("\r\nSkimletURL:" + r.Url("/news/1.html") + "\r\nSkimletNode:"), std::string::npos) << file;
  EXPECT_NE(r.host.history.LastLine().find("  NewsURL=" + r.Url("/news/1.html") + "  One"), std::string::npos);

  // The same page under another fragment, also without EditUrlNews: loaded before.
  r.run->FindUrlNews("/news/", "9");
  r.B().NewsURL = r.Url("/news/1.html#b");
  r.run->GetNews("ARTICLE", "7");
  EXPECT_EQ(r.run->StepIndex(), 7);
  EXPECT_EQ(r.B().NewsURL, r.Url("/news/1.html"));
  EXPECT_EQ(hits, 1);

  // Whatever control character is left in an address is escaped in the header and history.
  r.B().NewsURL = "http://h.ru/a\x01\x1f" "b\tc.html";
  r.B().NewsName = "Two";
  r.B().HTML = std::string(60, 'x');
  r.run->SaveNews();
  const std::string two = test::ReadFile(r.Folder() + "Two.html");
  EXPECT_NE(two.find("\r\nSkimletURL:http://h.ru/a%01%1Fbc.html\r\n"), std::string::npos) << two;
  const std::string history = test::ReadFile(HistoryFilePath(r.dir.path()));
  for (char c : history) EXPECT_TRUE(c == '\r' || c == '\n' || static_cast<unsigned char>(c) >= 32);
  EXPECT_EQ(std::count(history.begin(), history.end(), '\n'), 2);
}

TEST(PageScripts, NeutralisedWhateverTheirCase) {
  Site r;
  r.B().HTML =
      "<body onload=init()><p onclick=\"go()\" ONMOUSEOVER='x()' class=c>t</p>"
      "<script>a()</script><Script type=\"text/javascript\">b()</Script><SCRIPT SRC=\"http://ads.ru/x.js\"></SCRIPT>"
      "<noSCRIPT><img src=n.gif></NOSCRIPT><a href=\"javascript:void(0)\" title=ok>j</a>"
      "<a href=\" java\tscript:x()\">k</a><iframe srcdoc=\"&lt;script&gt;x()&lt;/script&gt;\"></iframe>"
      "<!-- <script>kept</script> --><p>&lt;script&gt;text&lt;/script&gt; onclick=\"text\"</p><script>never ends";
  r.run->EditHTMLNews("", "StandartParameter=0", "", "");
  EXPECT_EQ(r.B().HTML,
            "<body ><p   class=c>t</p>"
            "<!-- The script delete Skimlet --><!-- The script delete Skimlet --><!-- The script delete Skimlet -->"
            "<!-- The NOscript delete Skimlet --><a  title=ok>j</a><a >k</a><iframe ></iframe>"
            "<!-- <script>kept</script> --><p>&lt;script&gt;text&lt;/script&gt; onclick=\"text\"</p>"
            "<!-- The script delete Skimlet -->");
}

TEST(PageTitles, ReferencesDecodedTagsLeftOutBlanksTidied) {
  Site r;
  r.B().NewsURL = "http://h.ru/n.html";
  auto name = [&](const std::string& html, const std::string& from = "<title>", const std::string& to = "</title>") {
    r.B().HTML = html;
    r.run->FindNameNews(from, to);
    return r.B().NewsName;
  };
  EXPECT_EQ(name("<title>Tom&#39;s &amp; Jerry: &lt;3&gt; &#1055;&#1088;&#1080;&#x432;&#1077;&#1090;&nbsp;&#20013;A</title>"),
            Cp("Toms Jerry 3 Привет A"));
  EXPECT_EQ(name("<h1>\n  <a href=\"/x\">Breaking</a>\n  <span>news</span><br>today\n</h1>", "<h1>", "</h1>"),
            "Breaking news today");
  EXPECT_EQ(name("<title>News: 5/10</title>"), "News 510");
  // A title of blanks, or of nothing a name may hold, gives the name of an empty title.
  for (const char* blank : {"<title> &nbsp;\t </title>", "<title>&#8734; &laquo;&raquo;</title>"})
    EXPECT_EQ(name(blank).rfind(Cp("Лента - Мир ["), 0), 0u) << blank;
  r.B().NewsName = "     ";
  r.run->BuildNewsFileName();
  EXPECT_EQ(r.B().NewsName.rfind(Cp("Лента - Мир ["), 0), 0u);
}

// The declaration the program adds is no part of the page the macro works on: the edits do
// not reach it, the 50-byte floor does not count it, and the saved file has it once.
TEST(PageCharset, TheAddedDeclarationIsWrittenWithTheFileOutsideTheMacrosText) {
  Site r;
  r.server.Get(R"(/(u|tiny))", [](const Req& q, Res& res) {
    res.set_content(q.path == "/u" ? "<html><head></head><p>ARTICLE мир, a long enough article</p>" : "<body>x</body>",
                    "text/html; charset=utf-8");
  });
  r.server.Start();
  r.B().NewsURL = r.Url("/u");
  r.run->GetNews("ARTICLE", "9");
  r.run->EditHTMLNews("", "", "r", "rr");  // would have made <meta charrset=...>
  EXPECT_EQ(r.B().HTML, "<html><head></head><p>ARTICLE " + Cp("мир") + ", a long enough arrticle</p>");
  r.B().NewsName = "u";
  r.run->SaveNews();
  EXPECT_NE(test::ReadFile(r.Folder() + "u.html").find("-->\r\n<html><head><meta charset=\"windows-1251\"></head><p>"),
            std::string::npos);
  r.B().NewsURL = r.Url("/tiny");
  r.run->GetNews("x", "9");
  r.run->SaveNews();
  EXPECT_EQ(r.Last(), "255 Мир> step 3>> SaveNews. Файл не создан. HTML меньше 50 байт. ");
}

}  // namespace
}  // namespace skimlet
