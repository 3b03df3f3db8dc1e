// skimlet-cli export / import on a real data directory.
#include <gtest/gtest.h>

#include "platform/Files.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

using test::Cp;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

struct Cli {
  TempDir home, config, work;
  test::CommandResult Run(const std::string& args, bool mergeErr = true) {
    return test::RunCommand("cd " + test::ShellQuote(work.path()) +
                                " && XDG_CONFIG_HOME=" + test::ShellQuote(config.path()) +
                                " " SKIMLET_CLI " --home " + test::ShellQuote(home.path()) + " " + args,
                            mergeErr);
  }
  std::string Macro(const std::string& rel) {
    return ReadFile(home / ("Accounts/" + rel + "/Skimlet-macros.ini"));
  }
};

const std::string kStep = "FindUrlNews\r\nON\r\nnews/\r\n-1\r\n\r\n\r\n" + Cp("Ссылка") + "\r\n";
const std::string kFile = "Name Channel\r\ndescription channel\r\nSkimlet: Start Channel Setting\r\n" +
                          Cp("Сайт") + "\r\n1\r\n" + kStep + Cp("Лента") + "\r\n0\r\n";

TEST(CliChannelFiles, ImportThenExportRoundTripsByteForByte) {
  Cli cli;
  WriteFile(cli.work / "in.skc", kFile);
  auto r = cli.Run("import in.skc");
  ASSERT_EQ(r.exitCode, 0) << r.out;
  EXPECT_NE(r.out.find("Канал «Сайт» загружен из файла in.skc"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Лента (новая папка)"), std::string::npos) << r.out;
  EXPECT_EQ(cli.Macro("Сайт/Лента"), "0\r\n");
  EXPECT_EQ(cli.Run("list").out,
            "[x]  Сайт (новостей: 0, непрочитанных: 0)\n  [x]  Лента (новостей: 0, непрочитанных: 0)\n");

  r = cli.Run("export Сайт out.skc");
  ASSERT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(ReadFile(cli.work / "out.skc"), kFile);
}

TEST(CliChannelFiles, WithoutYesNothingIsOverwritten) {
  Cli cli;
  WriteFile(cli.home / "Accounts/Сайт/Skimlet-macros.ini", "0\r\n");
  WriteFile(cli.work / "in.skc", kFile);
  auto r = cli.Run("import in.skc");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.out.find("Канал Сайт существует. Перезаписать настройки канала?"), std::string::npos) << r.out;
  EXPECT_EQ(cli.Macro("Сайт"), "0\r\n");
  EXPECT_FALSE(DirExists(cli.home / "Accounts/Сайт/Лента"));
  r = cli.Run("import in.skc --yes");
  ASSERT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(cli.Macro("Сайт"), "1\r\n" + kStep);

  WriteFile(cli.work / "out.skc", "keep");
  r = cli.Run("export Сайт out.skc");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.out.find("Файл " + cli.work.path() + "out.skc существует. Перезаписать?"), std::string::npos)
      << r.out;
  EXPECT_EQ(ReadFile(cli.work / "out.skc"), "keep");
  EXPECT_EQ(cli.Run("export --yes Сайт out.skc").exitCode, 0);
  EXPECT_EQ(ReadFile(cli.work / "out.skc"), kFile);
}

TEST(CliChannelFiles, BadFilesAndArgumentsAreClearErrors) {
  Cli cli;
  WriteFile(cli.work / "evil.skc", "Skimlet: Start Channel Setting\r\n../../escape\r\n0\r\n");
  auto r = cli.Run("import evil.skc");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.out.find("строка 2: имя папки «../../escape» не годится"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("ничего не загружено"), std::string::npos) << r.out;
  EXPECT_FALSE(FileExists(cli.home / "escape") || DirExists(cli.home / "escape"));
  EXPECT_FALSE(DirExists(cli.home.path() + "../escape"));

  WriteFile(cli.work / "plain.txt", "hello\r\n");
  r = cli.Run("import plain.txt");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.out.find("не файл канала"), std::string::npos) << r.out;

  EXPECT_EQ(cli.Run("import missing.skc").exitCode, 1);
  EXPECT_EQ(cli.Run("export Nobody out.skc").exitCode, 1);
  EXPECT_FALSE(FileExists(cli.work / "out.skc"));
  EXPECT_EQ(cli.Run("import").exitCode, 2);
  EXPECT_EQ(cli.Run("export onlyone").exitCode, 2);
  EXPECT_EQ(cli.Run("import a.skc --force").exitCode, 2);
}

}  // namespace
}  // namespace skimlet
