#include "platform/Charset.h"

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

using test::Cp;

TEST(CharsetDeclared, HeaderComesBeforeThePage) {
  const std::string page = R"(<meta charset="koi8-r">)";
  EXPECT_EQ(DeclaredCharset(page, "text/html; charset=UTF-8"), "utf-8");
  EXPECT_EQ(DeclaredCharset(page, "text/html; Charset=\"Windows-1251\""), "windows-1251");
  EXPECT_EQ(DeclaredCharset(page, "text/html"), "koi8-r");
  EXPECT_EQ(DeclaredCharset("<p>plain</p>", "text/html"), "");
}

TEST(CharsetDeclared, EveryMetaForm) {
  EXPECT_EQ(DeclaredCharset(R"(<head><meta charset="UTF-8"></head>)", ""), "utf-8");
  EXPECT_EQ(DeclaredCharset("<META CHARSET=utf8>", ""), "utf-8");
  EXPECT_EQ(DeclaredCharset("<meta charset='cp1251' />", ""), "windows-1251");
  EXPECT_EQ(DeclaredCharset(R"(<meta http-equiv="Content-Type" content="text/html; charset=koi8r">)", ""), "koi8-r");
  EXPECT_EQ(DeclaredCharset("<meta content='text/html; charset=Win-1251' http-equiv=content-type>", ""),
            "windows-1251");
  EXPECT_EQ(DeclaredCharset("<meta http-equiv=Content-Type content=text/html;charset=KOI8-R>", ""), "koi8-r");
}

TEST(CharsetDeclared, OnlyRealDeclarationsInTheFirst4KiB) {
  EXPECT_EQ(DeclaredCharset(R"(<meta name="description" content="charset=koi8-r">)", ""), "");
  EXPECT_EQ(DeclaredCharset(R"(<metadata charset="koi8-r">)", ""), "");
  EXPECT_EQ(DeclaredCharset(std::string(5000, ' ') + R"(<meta charset="koi8-r">)", ""), "");
  EXPECT_EQ(DeclaredCharset(std::string(4000, ' ') + R"(<meta charset="koi8-r">)", ""), "koi8-r");
}

TEST(CharsetConvert, Koi8rPage) {
  std::string page =
      R"(<meta http-equiv="Content-Type" content="text/html; charset=koi8-r"><p>)"
      "\xF0\xD2\xC9\xD7\xC5\xD4 \x80</p>";  // "Привет" and a box-drawing line without a 1251 form
  ASSERT_TRUE(PageToWin1251(page, "text/html"));
  EXPECT_EQ(page, R"(<meta http-equiv="Content-Type" content="text/html; charset=windows-1251"><p>)" +
                      Cp("Привет") + " &#9472;</p>");
}

TEST(CharsetConvert, DeclaredUtf8) {
  std::string page = "\xEF\xBB\xBF<META CHARSET=UTF-8><p>Привет, мир — 中 😀</p>";
  ASSERT_TRUE(PageToWin1251(page, ""));
  EXPECT_EQ(page, "<META CHARSET=windows-1251><p>" + Cp("Привет, мир — ") + "&#20013; &#128512;</p>");
  EXPECT_EQ(DeclaredCharset(page, ""), "windows-1251");

  std::string broken = R"(<meta charset="utf-8">a)" "\xFF" "b\xE2\x82";
  ASSERT_TRUE(PageToWin1251(broken, ""));
  EXPECT_EQ(broken, R"(<meta charset="windows-1251">a?b??)");

  std::string byHeader = "<p>мир</p>";
  ASSERT_TRUE(PageToWin1251(byHeader, "text/html; charset=utf-8"));
  EXPECT_EQ(byHeader, "<p>" + Cp("мир") + "</p>");
}

TEST(CharsetConvert, UndeclaredUtf8) {
  std::string page = "<title>Новости</title>";
  ASSERT_TRUE(PageToWin1251(page, "text/html"));
  EXPECT_EQ(page, "<title>" + Cp("Новости") + "</title>");
}

TEST(CharsetConvert, OtherPagesStayAsTheyAre) {
  const std::string declared1251 = R"(<meta charset="windows-1251">)" + Cp("Привет");
  std::string page = declared1251;
  EXPECT_FALSE(PageToWin1251(page, ""));
  EXPECT_EQ(page, declared1251);

  const std::string undeclared1251 = "<p>" + Cp("Привет") + "</p>";  // not valid UTF-8
  page = undeclared1251;
  EXPECT_FALSE(PageToWin1251(page, ""));
  EXPECT_EQ(page, undeclared1251);

  page = "<p>plain ASCII</p>";
  EXPECT_FALSE(PageToWin1251(page, "text/html"));
  EXPECT_EQ(page, "<p>plain ASCII</p>");

  page = "<p>" + Cp("Привет") + "</p>";
  EXPECT_FALSE(PageToWin1251(page, "text/html; charset=iso-8859-5"));
  EXPECT_EQ(page, "<p>" + Cp("Привет") + "</p>");
}

}  // namespace
}  // namespace skimlet
