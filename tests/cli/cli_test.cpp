// skimlet-cli as a user runs it: a real process on a real data directory.
#include <gtest/gtest.h>

#include "platform/Files.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

using test::TempDir;

struct Cli {
  TempDir home, config;
  test::CommandResult Run(const std::string& args, bool mergeErr = false) {
    return test::RunCommand("XDG_CONFIG_HOME=" + test::ShellQuote(config.path()) + " " SKIMLET_CLI " --home " +
                                test::ShellQuote(home.path()) + " " + args,
                            mergeErr);
  }
};

TEST(CliList, ShowsTheTreeWithMarksAndCounts) {
  Cli cli;
  MakeDirs(cli.home / "Accounts/Site/Новости");
  MakeDirs(cli.home / "Accounts/Other");
  WriteFolderAttributes(cli.home / "Accounts/Site", kAttrReadOnly);
  test::WriteFile(cli.home / "Accounts/Site/Новости/One.html", "x");
  test::WriteFile(cli.home / "Accounts/Site/Новости/Two.htm", "x");
  SetFileReadOnly(cli.home / "Accounts/Site/Новости/One.html", true);
  auto r = cli.Run("list");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out,
            "[ ]  Other (0 news, 0 unread)\n"
            "[x]* Site (0 news, 0 unread)\n"
            "  [ ]* Новости (2 news, 1 unread)\n");
}

TEST(CliList, MissingAccountsIsAClearError) {
  Cli cli;
  auto r = cli.Run("list", true);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.out.find("does not exist"), std::string::npos);
}

TEST(CliSettings, DefaultsWritesAndRefusals) {
  Cli cli;
  auto r = cli.Run("settings Setting/MaxDownloads.Value Setting/hURLReload.Checked");
  EXPECT_EQ(r.out, "Setting/MaxDownloads.Value=500\nSetting/hURLReload.Checked=1\n");
  EXPECT_EQ(cli.Run("settings Setting/MaxDownloads.Value=20 Setting/hURLReload.Checked=0").exitCode, 0);
  r = cli.Run("settings Setting/MaxDownloads.Value Setting/hURLReload.Checked");
  EXPECT_EQ(r.out, "Setting/MaxDownloads.Value=20\nSetting/hURLReload.Checked=0\n");
  std::string ini = test::ReadFile(cli.config / "Orvane/Skimlet.ini");
  EXPECT_NE(ini.find("[Setting]"), std::string::npos);
  EXPECT_NE(ini.find("MaxDownloads.Value=20"), std::string::npos);

  EXPECT_EQ(cli.Run("settings Setting/Nope=1", true).exitCode, 2);
  EXPECT_EQ(cli.Run("settings Setting/MaxDownloads.Value=lots", true).exitCode, 2);
  cli.Run("settings Setting/MaxDownloads.Value=99999", true);  // clamped into 1..10000
  EXPECT_EQ(cli.Run("settings Setting/MaxDownloads.Value").out, "Setting/MaxDownloads.Value=10000\n");

  r = cli.Run("settings");
  EXPECT_NE(r.out.find("Setting/ConvertToWin1251.Checked=1\n"), std::string::npos);
  EXPECT_NE(r.out.find("View/PanelAccounts.Width=190\n"), std::string::npos);
}

TEST(CliUsage, UnknownCommandFails) {
  Cli cli;
  EXPECT_EQ(cli.Run("frobnicate", true).exitCode, 2);
  EXPECT_EQ(cli.Run("--help").exitCode, 0);
}

}  // namespace
}  // namespace skimlet
