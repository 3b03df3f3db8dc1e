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
  EXPECT_EQ(byHeader, "<meta charset=\"windows-1251\"><p>" + Cp("мир") + "</p>");
}

TEST(CharsetConvert, UndeclaredUtf8) {
  std::string page = "<title>Новости</title>";
  ASSERT_TRUE(PageToWin1251(page, "text/html"));
  EXPECT_EQ(page, "<meta charset=\"windows-1251\"><title>" + Cp("Новости") + "</title>");
}

// Exactly one declaration, and it says windows-1251.
TEST(CharsetDeclaration, ConvertedPagesDeclareWindows1251Once) {
  std::string page = "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE html>"
                     "<html><HEAD><meta charset=\"utf-8\"><meta http-equiv=\"Content-Type\" "
                     "content=\"text/html; charset=utf-8\"/><title>мир</title></HEAD></html>";
  ASSERT_TRUE(PageToWin1251(page, "text/html; charset=utf-8"));
  EXPECT_EQ(page, "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n<!DOCTYPE html><html><HEAD>"
                  "<meta charset=\"windows-1251\"><title>" + Cp("мир") + "</title></HEAD></html>");

  // Charset from the header only: a declaration goes into <head>, not into <header>.
  page = "<!DOCTYPE html>\n<html lang=ru><header>x</header><head >\n<title>мир</title></head>";
  ASSERT_TRUE(PageToWin1251(page, "text/html; charset=UTF-8"));
  EXPECT_EQ(page, "<!DOCTYPE html>\n<html lang=ru><header>x</header><head ><meta charset=\"windows-1251\">\n"
                  "<title>" + Cp("мир") + "</title></head>");
  page = "<!DOCTYPE html>\n<p>мир</p>";  // no head, no html: behind the doctype
  ASSERT_TRUE(PageToWin1251(page, "text/html; charset=utf-8"));
  EXPECT_EQ(page, "<!DOCTYPE html><meta charset=\"windows-1251\">\n<p>" + Cp("мир") + "</p>");
  EXPECT_EQ(DeclaredCharset(page, ""), "windows-1251");

  // A page in windows-1251 by its header alone keeps its bytes and gets the declaration.
  const std::string text = "<html><head></head><p>" + Cp("мир") + "</p></html>";
  page = text;
  EXPECT_FALSE(PageToWin1251(page, "text/html; charset=windows-1251"));
  EXPECT_EQ(page, "<html><head><meta charset=\"windows-1251\"></head><p>" + Cp("мир") + "</p></html>");
  page = "<head><meta charset=\"utf-8\"></head>" + Cp("мир");  // a wrong meta under a 1251 header
  EXPECT_FALSE(PageToWin1251(page, "text/html; charset=cp1251"));
  EXPECT_EQ(page, "<head><meta charset=\"windows-1251\"></head>" + Cp("мир"));
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
