// Links resolved as a browser resolves them.
#include "platform/Url.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

struct Case {
  const char *link, *want;
};

void ExpectAll(const char* base, std::initializer_list<Case> cases) {
  UrlResolver r(base);
  ASSERT_TRUE(r.HasBase()) << base;
  for (const Case& c : cases) {
    EXPECT_EQ(r.Resolve(c.link), c.want) << base << " + " << c.link;
    EXPECT_EQ(r.Resolve(c.link), c.want) << "again: " << c.link;  // answered from the cache
  }
}

TEST(UrlResolver, FollowsRfc3986) {
  ExpectAll("http://h.ru/a/b/c.html?q=1#f",
            {{"d.html", "http://h.ru/a/b/d.html"},
             {"./d.html", "http://h.ru/a/b/d.html"},
             {"../d.html", "http://h.ru/a/d.html"},
             {"../../../../d.html", "http://h.ru/d.html"},
             {"/x/./y/../z.html", "http://h.ru/x/z.html"},
             {"//cdn.ru/p.gif", "http://cdn.ru/p.gif"},
             {"?page=2", "http://h.ru/a/b/c.html?page=2"},
             {"#frag", "#frag"},  // an anchor in the page itself stays one
             {"", "http://h.ru/a/b/c.html?q=1"},
             {"d.html#part", "http://h.ru/a/b/d.html#part"},
             {"go.php?u=http://x.ru//y", "http://h.ru/a/b/go.php?u=http://x.ru//y"},
             {"https://s.ru//p//q", "https://s.ru//p//q"},
             {"HTTP://Other.RU/x", "http://Other.RU/x"},
             {"http://h.ru", "http://h.ru/"}});
  ExpectAll("https://h.ru/", {{"//cdn.ru/p.gif", "https://cdn.ru/p.gif"}, {"a", "https://h.ru/a"}});
}

TEST(UrlResolver, KeepsTheLinksOwnBytesAndOtherSchemes) {
  const std::string cyr = test::Cp("новости");
  UrlResolver r("http://h.ru/" + cyr + "/i.html");
  EXPECT_EQ(r.Resolve("a b.html"), "http://h.ru/" + cyr + "/a b.html");
  EXPECT_EQ(r.Resolve("../" + cyr + ".html?q=" + cyr), "http://h.ru/" + cyr + ".html?q=" + cyr);
  EXPECT_EQ(r.Resolve("%41%2F.html?a=%25"), "http://h.ru/" + cyr + "/%41%2F.html?a=%25");
  for (const char* other : {"mailto:a@b.ru", "javascript:void(0)", "data:image/png;base64,AAAA", "tel:+7123", "ftp://f.ru/x"})
    EXPECT_EQ(r.Resolve(other), other);
  // An address the page gives in escapes keeps them; one that came back from the server too.
  UrlResolver escaped("http://h.ru/%D0%BD/i.html");
  EXPECT_EQ(escaped.Resolve("b.html"), "http://h.ru/%D0%BD/b.html");
}

TEST(UrlResolver, CleansTabsLineBreaksAndEdges) {
  UrlResolver r("http://h.ru/d/i.html");
  EXPECT_EQ(r.Resolve(" \t/news/\r\n1.ht\tml\n "), "http://h.ru/news/1.html");
  EXPECT_EQ(CleanUrl("\x01 a\tb\r\nc \x1f"), "abc");
  EXPECT_EQ(NewsAddress(" http://h.ru/a\x01.html#top\r\n"), "http://h.ru/a%01.html");
  EXPECT_EQ(NewsAddress("#top"), "#top");
  EXPECT_EQ(WithoutFragment("x.html#a#b"), "x.html");
}

TEST(UrlResolver, BaseWithoutSchemeOrUnusable) {
  EXPECT_EQ(UrlResolver("h.ru/dir/i.html").Resolve("a.html"), "http://h.ru/dir/a.html");
  EXPECT_EQ(UrlResolver("http://h.ru").Resolve("a.html"), "http://h.ru/a.html");
  for (const char* bad : {"", "ftp://f.ru/", "mailto:a@b"}) {
    UrlResolver r(bad);
    EXPECT_FALSE(r.HasBase()) << bad;
    EXPECT_EQ(r.Resolve("a.html"), "") << bad;
  }
  // A link curl cannot read stays as the page wrote it.
  EXPECT_EQ(UrlResolver("http://h.ru/").Resolve("http://[zz/x"), "http://[zz/x");
}

// Links that resolve by concatenation skip libcurl; the address must be the one curl gives.
TEST(UrlResolver, ShortcutsGiveWhatLibcurlGives) {
  const std::vector<std::string> bases = {
      "http://h.ru/a/b/c.html", "https://h.ru:8443/", "http://h.ru/dir/", "http://user@H.RU/d/i?x=1#y",
      "http://h.ru/" + test::Cp("новости") + "/i.html", "http://127.0.0.1:8080/a b/c", "http://h.ru",
      "http://h.ru/a/./b/../c/"};
  const std::vector<std::string> pieces = {"a", "b.html", "x-y_z~", "p(1)", "q;r=s", "@u", "k:v", "!$&'*+,", "..",
                                           ".", "", ".hidden", "a..b"};
  std::vector<std::string> links;
  for (const std::string& p1 : pieces)
    for (const std::string& p2 : pieces) {
      for (const char* lead : {"", "/", "./"})
        for (const char* tail : {"", "?q=1&x=/y", "#f", "?", "#", "?a#b"}) {
          links.push_back(lead + p1 + "/" + p2 + tail);
          links.push_back(lead + std::string("../") + p1 + "/./" + p2 + tail);
        }
      links.push_back(p1 + p2);
    }
  for (const char* extra : {"?only", "?", "?a=1#f", "1a:b", "a:b/c", "a/b:c", "/", "//x/y", "#top", "x?y?z#w",
                            "../../a/./b/../c.html?x=/../y#z", "//h2.ru/a/../b.html", "..//x", "../a b/c.html",
                            "../a/..", "./?q", "../#f", "a/b/../", "/../../x.html", "http://H.ru:8080/a/b.html?x#y",
                            "https://h.ru/a//b", "http://h.ru./x", "http://127.0.0.1/x", "http://h.ru:0080/x",
                            "http://h.ru:80/%41", "http://h_ru.example/x?", "http://x.ru#f", "http://x.ru/a/./b",
                            "http://x.ru/a/b/..", "http://x-1.ru/~u/p(1).html", "http://0x7f.1/x"})
    links.push_back(extra);
  // libcurl 7.88 drops the "/" of a directory named by a last dot segment before a query
  // ("./?q"); those are checked against RFC 3986 below instead.
  static const std::regex kCurlDefect(R"((^|/)\.\.?/?[?#])");
  int compared = 0;
  for (const std::string& base : bases) {
    UrlResolver fast(base), curl(base, false);
    for (const std::string& link : links) {
      if (std::regex_search(link, kCurlDefect)) continue;
      EXPECT_EQ(fast.Resolve(link), curl.Resolve(link)) << base << " + " << link;
      ++compared;
    }
  }
  EXPECT_GT(compared, 5000);
}

// The examples of RFC 3986, 5.4.1 and 5.4.2 (an in-page "#s" stays an anchor).
TEST(UrlResolver, TheExamplesOfRfc3986) {
  ExpectAll("http://a/b/c/d;p?q",
            {{"g:h", "g:h"}, {"g", "http://a/b/c/g"}, {"./g", "http://a/b/c/g"}, {"g/", "http://a/b/c/g/"},
             {"/g", "http://a/g"}, {"//g", "http://g/"}, {"?y", "http://a/b/c/d;p?y"}, {"g?y", "http://a/b/c/g?y"},
             {"#s", "#s"}, {"g#s", "http://a/b/c/g#s"}, {"g?y#s", "http://a/b/c/g?y#s"}, {";x", "http://a/b/c/;x"},
             {"g;x", "http://a/b/c/g;x"}, {"g;x?y#s", "http://a/b/c/g;x?y#s"}, {"", "http://a/b/c/d;p?q"},
             {".", "http://a/b/c/"}, {"./", "http://a/b/c/"}, {"..", "http://a/b/"}, {"../", "http://a/b/"},
             {"../g", "http://a/b/g"}, {"../..", "http://a/"}, {"../../", "http://a/"}, {"../../g", "http://a/g"},
             {"../../../g", "http://a/g"}, {"../../../../g", "http://a/g"}, {"/./g", "http://a/g"},
             {"/../g", "http://a/g"}, {"g.", "http://a/b/c/g."}, {".g", "http://a/b/c/.g"}, {"g..", "http://a/b/c/g.."},
             {"..g", "http://a/b/c/..g"}, {"./../g", "http://a/b/g"}, {"./g/.", "http://a/b/c/g/"},
             {"g/./h", "http://a/b/c/g/h"}, {"g/../h", "http://a/b/c/h"}, {"g;x=1/./y", "http://a/b/c/g;x=1/y"},
             {"g;x=1/../y", "http://a/b/c/y"}, {"g?y/./x", "http://a/b/c/g?y/./x"},
             {"g?y/../x", "http://a/b/c/g?y/../x"}, {"g#s/./x", "http://a/b/c/g#s/./x"},
             {"g#s/../x", "http://a/b/c/g#s/../x"}, {"./?page=2", "http://a/b/c/?page=2"},
             {"../?page=2#top", "http://a/b/?page=2#top"}, {"..?x", "http://a/b/?x"}});
}

TEST(UrlSchemes, RecognisesSchemesAndHttp) {
  EXPECT_TRUE(HasScheme("mailto:x"));
  EXPECT_TRUE(HasScheme("svn+ssh://x"));
  EXPECT_FALSE(HasScheme("a/b:c"));
  EXPECT_FALSE(HasScheme("1http://x"));
  EXPECT_FALSE(HasScheme("noscheme"));
  EXPECT_TRUE(IsHttpUrl("HTTPS://x"));
  EXPECT_FALSE(IsHttpUrl("httpx://x"));
}

}  // namespace
}  // namespace skimlet
