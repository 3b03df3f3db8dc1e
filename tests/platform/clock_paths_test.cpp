#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

// The clock reads its locale once, so the environment is fixed before any test runs.
const bool kCLocale = [] {
  unsetenv("LC_ALL");
  setenv("LC_TIME", "C", 1);
  setenv("TZ", "UTC", 1);
  tzset();
  return true;
}();

std::time_t Local(int year, int month, int day, int h, int m, int s) {
  std::tm tm{};
  tm.tm_year = year - 1900, tm.tm_mon = month - 1, tm.tm_mday = day;
  tm.tm_hour = h, tm.tm_min = m, tm.tm_sec = s, tm.tm_isdst = -1;
  return std::mktime(&tm);
}

TEST(Clock, FormatsOfTheCLocale) {
  ASSERT_TRUE(kCLocale);
  const std::time_t t = Local(2026, 12, 7, 8, 30, 5);
  EXPECT_EQ(ShortDate(t), "12/07/26");
  EXPECT_EQ(LongTime(t), "08:30:05");
  EXPECT_EQ(DateTimeStamp(t), "12/07/26 08:30:05");
}

TEST(Clock, MidnightLeavesOutTheTime) {
  EXPECT_EQ(DateTimeStamp(Local(2026, 1, 2, 0, 0, 0)), "01/02/26");
  EXPECT_EQ(DateTimeStamp(Local(2026, 1, 2, 0, 0, 1)), "01/02/26 00:00:01");
  EXPECT_EQ(DateTimeStamp(Local(2026, 1, 1, 23, 59, 59)), "01/01/26 23:59:59");
}

TEST(Clock, ReadsStampsBackInThisLocaleAndInOthersForms) {
  const std::time_t t = Local(2026, 12, 7, 8, 30, 5);
  EXPECT_EQ(ParseDateTimeStamp(ShortDate(t), LongTime(t)), t);
  for (const char* date : {"07.12.2026", "07.12.26", "12/07/2026", "2026-12-07"})
    EXPECT_EQ(ParseDateTimeStamp(date, "08:30:05"), t) << date;
  EXPECT_EQ(ParseDateTimeStamp("25/12/2026", "8:30:05 PM"), Local(2026, 12, 25, 20, 30, 5));
  EXPECT_EQ(ParseDateTimeStamp("12/07/26", "??"), Local(2026, 12, 7, 0, 0, 0));  // the day still counts
  EXPECT_EQ(ParseDateTimeStamp(test::Cp("вчера"), "08:30:05"), std::nullopt);
  EXPECT_EQ(ParseDateTimeStamp("12/07/26 junk", "08:30:05"), std::nullopt);
  EXPECT_EQ(Rfc3339Utc(t), "2026-12-07T08:30:05Z");
  EXPECT_EQ(Rfc3339Utc(0), "1970-01-01T00:00:00Z");
}

class DataDir : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"SKIMLET_HOME", "XDG_DATA_HOME", "HOME"}) {
      const char* v = getenv(name);
      saved_.push_back({name, v ? std::optional<std::string>(v) : std::nullopt});
      unsetenv(name);
    }
    setenv("HOME", "/home/u", 1);
  }
  void TearDown() override {
    for (auto& [name, value] : saved_)
      value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
  }
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(DataDir, OptionThenSkimletHomeThenXdgThenHome) {
  setenv("SKIMLET_HOME", "/from/env", 1);
  setenv("XDG_DATA_HOME", "/xdg", 1);
  EXPECT_EQ(ResolveDataDir("/opt/news"), "/opt/news/");
  EXPECT_EQ(ResolveDataDir(""), "/from/env/");
  unsetenv("SKIMLET_HOME");
  EXPECT_EQ(ResolveDataDir(""), "/xdg/Skimlet/");
  unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(ResolveDataDir(""), "/home/u/.local/share/Skimlet/");
  setenv("XDG_DATA_HOME", "relative", 1);  // ignored, as the XDG rules say
  EXPECT_EQ(ResolveDataDir(""), "/home/u/.local/share/Skimlet/");
}

TEST_F(DataDir, RelativeDirectoriesBecomeAbsolute) {
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  std::string base = std::string(cwd) == "/" ? "/" : std::string(cwd) + "/";
  EXPECT_EQ(ResolveDataDir("data"), base + "data/");
  setenv("SKIMLET_HOME", "./x/../y/", 1);
  EXPECT_EQ(ResolveDataDir(""), base + "y/");
}

TEST(ResourceDir, DataDirWithActionsWinsElseTheInstalledCopy) {
  test::TempDir dir;
  std::string data = dir.path();
  std::string fallback = ResourceDir(data);
  EXPECT_NE(fallback, data);
  EXPECT_EQ(fallback.back(), '/');
  EXPECT_TRUE(fallback.ends_with("/resources/") || fallback.ends_with("/share/skimlet/"))
      << fallback;

  ASSERT_EQ(mkdir((data + "Actions").c_str(), 0755), 0);
  EXPECT_EQ(ResourceDir(data), data);
  data.pop_back();
  EXPECT_EQ(ResourceDir(data), data + "/");
}

TEST(ResourceDir, AnInstalledProgramFindsItsShareDirectory) {
  test::TempDir root, data;
  std::string bin = root / "usr/bin/";
  MakeDirs(bin);
  EXPECT_NE(ResourceDir(data.path(), bin), root / "usr/share/skimlet/");  // nothing installed there yet
  MakeDirs(root / "usr/share/skimlet/Actions");
  EXPECT_EQ(ResourceDir(data.path(), bin), root / "usr/share/skimlet/");
  EXPECT_EQ(ResourceDir(data.path(), root / "usr/bin"), root / "usr/share/skimlet/");
  MakeDirs(data / "Actions");  // the user's own copy still wins
  EXPECT_EQ(ResourceDir(data.path(), bin), data.path());
  EXPECT_EQ(ProgramDir().back(), '/');
  EXPECT_TRUE(DirExists(ProgramDir()));
}

}  // namespace
}  // namespace skimlet
