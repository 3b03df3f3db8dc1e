// Links resolved as a browser resolves them.
#include "platform/Url.h"

#include <gtest/gtest.h>

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
