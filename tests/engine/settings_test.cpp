#include "store/Settings.h"

#include <gtest/gtest.h>

#include <map>

namespace skimlet {
namespace {

TEST(Settings, StoredTextsAreParsedClampedOrDefaulted) {
  const SettingKey* max = FindSetting("Setting/MaxDownloads.Value");
  ASSERT_NE(max, nullptr);
  EXPECT_EQ(ParseSettingValue(*max, std::nullopt), 500);
  EXPECT_EQ(ParseSettingValue(*max, "42"), 42);
  EXPECT_EQ(ParseSettingValue(*max, "0"), 1);          // below the range
  EXPECT_EQ(ParseSettingValue(*max, "99999"), 10000);  // above it
  EXPECT_EQ(ParseSettingValue(*max, "12abc"), 500);
  EXPECT_EQ(ParseSettingValue(*max, ""), 500);
  const SettingKey* reload = FindSetting("Setting/hURLReload.Checked");
  ASSERT_NE(reload, nullptr);
  EXPECT_EQ(ParseSettingValue(*reload, "0"), 0);
  EXPECT_EQ(ParseSettingValue(*reload, "5"), 1);  // any other whole number ticks it
  EXPECT_EQ(FormatSettingValue(*reload, 5), "1");
  EXPECT_EQ(FindSetting("Setting/NoSuchKey"), nullptr);
  const SettingKey* left = FindSetting("MainForm/.Left");
  ASSERT_NE(left, nullptr);
  EXPECT_FALSE(ParseSettingValue(*left, std::nullopt).has_value());
}

TEST(Settings, RunSettingsComeFromTheStoreWithDefaults) {
  std::map<std::string, std::string> store = {{"Setting/hURLReload.Checked", "0"},
                                              {"Setting/LEDCount.Value", "50"},
                                              {"Setting/ConvertToWin1251.Checked", "0"},
                                              {"Setting/LowSpeedTime.Value", "0"},
                                              {"Setting/MaxTransferTime.Value", "30"}};
  RunSettings s = ReadRunSettings([&](const std::string& k) -> std::optional<std::string> {
    auto it = store.find(k);
    if (it == store.end()) return std::nullopt;
    return it->second;
  });
  EXPECT_FALSE(s.hURLReload);
  EXPECT_EQ(s.ledCount, 10);
  EXPECT_FALSE(s.convertToWin1251);
  EXPECT_EQ(s.maxDownloads, 500);
  EXPECT_EQ(s.maxHtmlHistory, 10000);
  EXPECT_TRUE(s.hURLUseCashe);
  EXPECT_FALSE(s.hURLReloadCookiesOff);
  // The transfer limits: 64 bytes/s over 60 s by default, 10 minutes in all.
  EXPECT_EQ(s.lowSpeedLimit, 64);
  EXPECT_EQ(s.lowSpeedTime, 1);  // at least a second
  EXPECT_EQ(s.maxTransferTime, 30);
  EXPECT_EQ(ReadRunSettings([](const std::string&) { return std::optional<std::string>(); }).maxTransferTime, 600);
}

}  // namespace
}  // namespace skimlet
