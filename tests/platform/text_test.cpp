#include "platform/Text.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <optional>
#include <string>

#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

using test::Cp;

// The C library's converter, as an independent reference for the code page tables.
std::optional<std::string> Iconv(const char* from, const char* to, std::string in) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string out(in.size() * 4 + 4, '\0');
  char* src = in.data();
  char* dst = out.data();
  std::size_t srcLeft = in.size(), dstLeft = out.size();
  std::size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
  iconv_close(cd);
  if (r == static_cast<std::size_t>(-1)) return std::nullopt;
  out.resize(out.size() - dstLeft);
  return out;
}

std::string Byte(int b) { return std::string(1, static_cast<char>(b)); }

TEST(Win1251Utf8, EveryByteSurvivesTheRoundTrip) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += Byte(b);
  std::string utf8 = Win1251ToUtf8(all);
  EXPECT_TRUE(IsValidUtf8(utf8));
  EXPECT_EQ(Utf8ToWin1251(utf8), all);
}

TEST(Win1251Utf8, AgreesWithTheCLibraryForEveryDefinedByte) {
  for (int b = 0x80; b < 256; ++b) {
    if (b == 0x98) continue;
    auto ref = Iconv("CP1251", "UTF-8", Byte(b));
    if (!ref) GTEST_SKIP() << "iconv has no CP1251";
    EXPECT_EQ(Win1251ToUtf8(Byte(b)), *ref) << "byte " << b;
  }
  EXPECT_EQ(Win1251ToUtf8("\x98"), "\xEF\xBF\xBD");
}

TEST(Win1251Utf8, RussianTextBothWays) {
  const std::string win =
      "\xCF\xF0\xE8\xE2\xE5\xF2, \xB8\xEB\xEA\xE0 \xA8 \xB9"
      "5";
  const std::string utf8 = "Привет, ёлка Ё №5";
  EXPECT_EQ(Utf8ToWin1251(utf8), win);
  EXPECT_EQ(Win1251ToUtf8(win), utf8);
  EXPECT_EQ(W("Новости"), "\xCD\xEE\xE2\xEE\xF1\xF2\xE8");
}

TEST(Win1251Utf8, UnrepresentableAndInvalidBecomeUnknown) {
  EXPECT_EQ(Utf8ToWin1251("a中b"), "a?b");
  EXPECT_EQ(Utf8ToWin1251("😀", '_'), "_");  // four bytes, one character
  EXPECT_EQ(Utf8ToWin1251("x\xD0"
                          "Ay"),
            "x?Ay");  // a cut sequence keeps what follows
  EXPECT_EQ(Utf8ToWin1251("\xED\xA0\x80\xFF"), "????");
}

TEST(IsValidUtf8, RejectsOverlongsSurrogatesAndTooLarge) {
  for (const char* bad :
       {"\xC0\x80", "\xC1\xBF", "\xE0\x9F\xBF", "\xF0\x8F\xBF\xBF", "\xED\xA0\x80", "\xED\xBF\xBF",
        "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\x80", "\xD0", "\xE2\x82", "\xD0\x41"})
    EXPECT_FALSE(IsValidUtf8(bad)) << testing::PrintToString(std::string(bad));
  for (const char* good : {"", "plain", "\xC2\x80", "\xE0\xA0\x80", "\xED\x9F\xBF", "\xEE\x80\x80",
                           "\xF0\x90\x80\x80", "\xF4\x8F\xBF\xBF", "Ёж"})
    EXPECT_TRUE(IsValidUtf8(good)) << testing::PrintToString(std::string(good));
}

TEST(UpperWin1251, CyrillicIncludingUkrainianAndBelarusianAndNothingElse) {
  const std::string lower = Cp("abcxyzабвгдеёжзийклмнопрстуфхцчшщъыьэюяіїєґўјљњќћџђѓѕ");
  const std::string upper = Cp("ABCXYZАБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯІЇЄҐЎЈЉЊЌЋЏЂЃЅ");
  EXPECT_EQ(UpperWin1251(lower), upper);
  EXPECT_EQ(UpperWin1251(upper), upper);
  int changed = 0;
  for (int b = 0; b < 256; ++b) changed += UpperWin1251(static_cast<unsigned char>(b)) != b;
  EXPECT_EQ(changed, 26 + 32 + 15);
}

TEST(Utf8Prefix, EndsOnACharacterBoundary) {
  const std::string s = "Привет";  // two bytes a letter
  EXPECT_EQ(Utf8Prefix(s, 5), "Пр");
  EXPECT_EQ(Utf8Prefix(s, 4), "Пр");
  EXPECT_EQ(Utf8Prefix(s, 1), "");
  EXPECT_EQ(Utf8Prefix(s, 12), s);
  EXPECT_EQ(Utf8Prefix("ab😀", 5), "ab");
  EXPECT_EQ(Utf8Prefix("ab😀c", 6), "ab😀");
  EXPECT_EQ(Utf8Prefix("abcdef", 3), "abc");
}

TEST(KoiTables, HardSignAndQuotes) {
  EXPECT_EQ(ConvertWinToKoi(Cp("Ъ")), "\x9A");
  EXPECT_EQ(ConvertKoiToWin("\x9A\xFF"), Cp("ЪЪ"));
  EXPECT_EQ(ConvertWinToKoi(Cp("«да»")), "<\xC4\xC1>");
  EXPECT_EQ(ConvertWinToKoi(Cp("‹›")), "\x8B>");
}

TEST(KoiTables, RussianLettersMatchKoi8RAndComeBack) {
  std::string russian = Cp("ЁёАБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдежзийклмнопрстуфхцчшщъыьэюя°·");
  std::string koi = ConvertWinToKoi(russian);
  EXPECT_EQ(ConvertKoiToWin(koi), russian);
  auto ref = Iconv("CP1251", "KOI8-R", russian);
  if (!ref) GTEST_SKIP() << "iconv has no KOI8-R";
  // Only Ъ differs from the standard code page.
  std::string standard = koi;
  standard[russian.find(Cp("Ъ"))] = '\xFF';
  EXPECT_EQ(standard, *ref);
}

TEST(KoiTables, ExceptionsAndBytesThatStay) {
  EXPECT_EQ(ConvertWinToKoi(Cp("ІіЈјҐґЎўЄєЇї№•Љњ")),
            "IiJj\xE7\xC7\xF6\xF7\xB4\xA4\xB7\xA7\xBF\xA9<\xB0");
  EXPECT_EQ(ConvertKoiToWin("\xBF\xA4\xA7\xB0\xB4\xB7"), Cp("№єїњЄЇ"));
  for (int b : {0x80, 0x98, 0x9A, 0xA0, 0xA4, 0xA9, 0xBE}) EXPECT_EQ(WinToKoi[b - 0x80], b);
  for (int b : {0x80, 0x95, 0xA0, 0xA9, 0xB8, 0xBE}) EXPECT_EQ(KoiToWin[b - 0x80], b);
  std::string ascii;
  for (int b = 0; b < 0x80; ++b) ascii += Byte(b);
  EXPECT_EQ(ConvertWinToKoi(ascii), ascii);
  EXPECT_EQ(ConvertKoiToWin(ascii), ascii);
}

}  // namespace
}  // namespace skimlet
