// The two Cyrillic tables byte by byte, and a news file rewritten through them.
#include "library/NewsEncoding.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <array>
#include <csignal>
#include <filesystem>

#include "platform/Files.h"
#include "platform/Text.h"
#include "store/ChannelFolders.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

using test::Cp;
using test::TempDir;

using Table = std::array<int, 256>;

// The expected tables, derived from the two code pages' letter orders and the listed
// exceptions rather than from the program's own tables.
struct Expected {
  Table winToKoi{}, koiToWin{};
  Expected() {
    for (int b = 0; b < 256; ++b) winToKoi[b] = koiToWin[b] = b;
    // KOI8-R 0xC0..0xFF in order, as Windows-1251 letters.
    const std::string koiOrder =
        Cp("юабцдефгхийклмнопярстужвьызшэщчъЮАБЦДЕФГХИЙКЛМНОПЯРСТУЖВЬЫЗШЭЩЧЪ");
    EXPECT_EQ(koiOrder.size(), 64u);
    for (int i = 0; i < 64; ++i) {
      int win = static_cast<unsigned char>(koiOrder[i]);
      winToKoi[win] = 0xC0 + i;
      koiToWin[0xC0 + i] = win;
    }
    for (auto [win, koi] : {std::pair{0xA8, 0xB3}, {0xB8, 0xA3}, {0xB0, 0x9C}, {0xB7, 0x9E}}) {
      winToKoi[win] = koi;
      koiToWin[koi] = win;
    }
    const std::pair<int, int> winExceptions[] = {
        {0xDA, 0x9A}, {0xA0, 0xA0}, {0xA9, 0xA9}, {0x8A, 0x3C}, {0x95, 0xA9}, {0x9B, 0x3E},
        {0x9C, 0xB0}, {0x9E, 0xB7}, {0xA1, 0xF6}, {0xA2, 0xF7}, {0xA3, 0x4A}, {0xA5, 0xE7},
        {0xAA, 0xB4}, {0xAB, 0x3C}, {0xAF, 0xB7}, {0xB2, 0x49}, {0xB3, 0x69}, {0xB4, 0xC7},
        {0xB9, 0xBF}, {0xBA, 0xA4}, {0xBB, 0x3E}, {0xBC, 0x6A}, {0xBF, 0xA7}};
    for (auto [from, to] : winExceptions) winToKoi[from] = to;
    const std::pair<int, int> koiExceptions[] = {{0x9A, 0xDA}, {0xBF, 0xB9}, {0xA4, 0xBA}, {0xA7, 0xBF},
                                                 {0xB0, 0x9C}, {0xB4, 0xAA}, {0xB7, 0xAF}};
    for (auto [from, to] : koiExceptions) koiToWin[from] = to;
  }
};

// Every entry of a folder, temporary files included.
std::size_t Entries(const std::string& dir) {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir)) ++n;
  return n;
}

std::string AllBytes() {
  std::string s;
  for (int b = 0; b < 256; ++b) s += static_cast<char>(b);
  return s;
}

TEST(RecodingTables, EveryByteOfBothTablesIsAsListed) {
  Expected e;
  const std::string all = AllBytes(), toKoi = ConvertWinToKoi(all), toWin = ConvertKoiToWin(all);
  ASSERT_EQ(toKoi.size(), 256u);
  ASSERT_EQ(toWin.size(), 256u);
  for (int b = 0; b < 256; ++b) {
    EXPECT_EQ(static_cast<unsigned char>(toKoi[b]), e.winToKoi[b]) << "Windows-1251 byte " << std::hex << b;
    EXPECT_EQ(static_cast<unsigned char>(toWin[b]), e.koiToWin[b]) << "KOI8-R byte " << std::hex << b;
  }
}

struct NewsFile {
  TempDir dir;
  std::string path = dir / "Новость.html";
  explicit NewsFile(const std::string& bytes) { test::WriteFile(path, bytes); }
  unsigned Mode() const {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 0777;
  }
};

TEST(RecodeNewsFile, ConvertsEveryUpperByteAndKeepsLengthAsciiAndMode) {
  const std::string ascii = "<html><body>plain text 0123 &amp; ~`</body></html>\r\n";
  const std::string koiText = ConvertWinToKoi(Cp("Съезд «Ёлки»"));
  NewsFile news(ascii + koiText);
  ::chmod(news.path.c_str(), 0640);
  std::string error;
  ASSERT_TRUE(RecodeNewsFile(news.path, Recoding::kKoiToWin, &error)) << error;
  EXPECT_EQ(test::ReadFile(news.path), ascii + Cp("Съезд <Ёлки>"));
  EXPECT_EQ(news.Mode(), 0640u);
  // No guard against a second conversion: it converts again.
  ASSERT_TRUE(RecodeNewsFile(news.path, Recoding::kWinToKoi));
  EXPECT_EQ(test::ReadFile(news.path), ascii + ConvertWinToKoi(Cp("Съезд <Ёлки>")));
  // Nothing but the file itself is left in the folder.
  EXPECT_EQ(Entries(news.dir.path()), 1u);
}

TEST(RecodeNewsFile, PureAsciiIsUnchangedEitherWayAndAnUnreadFileStaysUnread) {
  std::string ascii;
  for (int b = 0; b < 0x80; ++b) ascii += static_cast<char>(b);
  NewsFile news(ascii);
  ASSERT_TRUE(SetFileReadOnly(news.path, true));
  ASSERT_TRUE(RecodeNewsFile(news.path, Recoding::kKoiToWin));
  ASSERT_TRUE(RecodeNewsFile(news.path, Recoding::kWinToKoi));
  EXPECT_EQ(test::ReadFile(news.path), ascii);
  EXPECT_TRUE(IsFileReadOnly(news.path));
}

TEST(RecodeNewsFile, AMissingFileIsReported) {
  TempDir dir;
  std::string error;
  EXPECT_FALSE(RecodeNewsFile(dir / "gone.html", Recoding::kKoiToWin, &error));
  EXPECT_NE(error.find("gone.html"), std::string::npos);
}

TEST(RecodeNewsFile, AFailedWriteLeavesTheNewsExactlyAsItWas) {
  // A file-size limit below the news's size makes the write of the new text fail part way.
  const std::string original = std::string(64 * 1024, 'a') + ConvertWinToKoi(Cp("Конец"));
  NewsFile news(original);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  ::getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string error;
  bool ok = RecodeNewsFile(news.path, Recoding::kKoiToWin, &error);
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(ok);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(test::ReadFile(news.path), original);
  EXPECT_EQ(Entries(news.dir.path()), 1u);
}

}  // namespace
}  // namespace skimlet
