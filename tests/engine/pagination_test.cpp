// The link forward among a pager's links, as real pagers write them.
#include <gtest/gtest.h>

#include "page/Pagination.h"
#include "page/Tools.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

using test::Cp;

TEST(ForwardLink, IsTheLinkThatLeadsOnNotTheFirstOfThePager) {
  struct Case {
    const char* what;
    const char* page;  // UTF-8, recoded as a run has it
    const char* url;   // the page's own address
    const char* want;  // absolute, "" for none
    ForwardLink::How how;
  };
  const Case cases[] = {
      {"rel=next beside a link back", "<a href=/p/1/>« Назад</a> <a rel=\"prev next\" href=\"/p/3/\">3</a>",
       "http://s.ru/p/2/", "http://s.ru/p/3/", ForwardLink::kRel},
      {"arrows both ways around «Page 2 / 4»",
       "<p class=paginator><a href=\"/\">&#8647;</a> <a href=\"/\">&laquo;</a> Page 2 / 4 "
       "<a href=\"/page3/\">&raquo;</a> <a href=\"/page4/\">&#8649;</a></p>",
       "http://s.ru/page2/", "http://s.ru/page3/", ForwardLink::kText},
      {"older posts lead on, whatever the class says",
       "<div class=nav-next><a href=\"/page/1/\">Newer posts</a></div>"
       "<div class=nav-previous><a href=\"/page/3/\"><span>&larr;</span> Older posts</a></div>",
       "http://s.ru/page/2/", "http://s.ru/page/3/", ForwardLink::kText},
      {"Russian words, an arrow as a reference",
       "<a href=\"?from=А\">&larr; предыдущая страница</a> <a href=\"?from=Ж\">следующая страница</a>",
       "http://s.ru/wiki/Категория:Спорт", "http://s.ru/wiki/Категория:Спорт?from=Ж", ForwardLink::kText},
      {"an arrow alone", "<a href=/n/1>&larr;</a> <a href=/n/3>&rarr;</a>", "http://s.ru/n/2", "http://s.ru/n/3",
       ForwardLink::kText},
      {"numbers only, this page's in the query", "<a href=\"/l?page=1\">1</a> <b>2</b> <a href=\"/l?page=3\">3</a>",
       "http://s.ru/l?page=2", "http://s.ru/l?page=3", ForwardLink::kNumber},
      {"the first page has no number", "<a href=\"/cat/page/2/\">2</a> <a href=\"/cat/page/3/\">3</a>",
       "http://s.ru/cat/", "http://s.ru/cat/page/2/", ForwardLink::kNumber},
      {"no numbered link: this address one up", "<a href=\"/cat/page/1/\">x</a> <a href=\"/cat/page/3/\">y</a>",
       "http://s.ru/cat/page/2/", "http://s.ru/cat/page/3/", ForwardLink::kNumber},
      {"the last page: back links only", "<a href=\"/cat/page/2/\">« Предыдущая</a> <a href=\"/cat/\">1</a>",
       "http://s.ru/cat/page/3/", "", ForwardLink::kNone},
      {"a link to this very page", "<a href=\"/cat/#top\">Далее</a>", "http://s.ru/cat/", "", ForwardLink::kNone},
      {"to the last page is no step on", "<a href=\"/p/9\">»»</a>", "http://s.ru/p/2", "", ForwardLink::kNone},
      {"a pager item whose class says next", "<li class=\"pager__item--prev\"><a href=\"?page=0\">‹‹</a></li>"
       "<li class=\"pager__item pager__item--next\"><a href=\"?page=2\"><span>››</span></a></li>",
       "http://s.ru/n?page=1", "http://s.ru/n?page=2", ForwardLink::kClass},
      {"«Старые записи» of a Russian blog", "<a href=\"/page/3/\">Новые записи</a> <a href=\"/page/5/\">Старые записи</a>",
       "http://s.ru/page/4/", "http://s.ru/page/5/", ForwardLink::kText},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    UrlResolver resolver(Cp(c.url));
    const ForwardLink f = FindForwardLink(Cp(c.page), resolver);
    EXPECT_EQ(f.url, Cp(c.want));
    EXPECT_EQ(f.how, c.how);
  }
  // Links before `from`, and links the caller passes over, don't count.
  const std::string page = Cp("<a href=/a/1>Далее »</a> <div class=pager><a href=/l/2>Далее »</a></div>");
  UrlResolver resolver("http://s.ru/l/1");
  EXPECT_EQ(FindForwardLink(page, resolver).url, "http://s.ru/a/1");
  EXPECT_EQ(FindForwardLink(page, resolver, page.find("<div")).url, "http://s.ru/l/2");
  EXPECT_EQ(FindForwardLink(page, resolver, 0, [](std::string_view h) { return h.rfind("/a/", 0) == 0; }).url,
            "http://s.ru/l/2");
}

}  // namespace
}  // namespace skimlet
