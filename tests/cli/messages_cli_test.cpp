// What skimlet-cli tells the user is Russian, wherever it comes from: its own texts, the
// channel-file reader, the file helpers. Only the system's reason, in parentheses, may be English.
#include <gtest/gtest.h>

#include <functional>
#include <regex>

#include "platform/Files.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

using test::Cp;
using test::WriteFile;

struct Cli {
  test::TempDir home, config, work;
  test::CommandResult Run(const std::string& args) {
    return test::RunCommand("cd " + test::ShellQuote(work.path()) + " && XDG_CONFIG_HOME=" +
                                test::ShellQuote(config.path()) + " " SKIMLET_CLI " --home " +
                                test::ShellQuote(home.path()) + " " + args,
                            true);
  }
};

// English prose left in a message: three words in a row, once quoted names «…» and the
// system's reasons (…) are set aside.
bool HoldsEnglish(const std::string& text) {
  const std::string plain =
      std::regex_replace(std::regex_replace(text, std::regex("«.*?»"), "«»"), std::regex("\\(.*?\\)"), "()");
  return plain.find("Cannot") != std::string::npos || plain.find("line ") != std::string::npos ||
         std::regex_search(plain, std::regex("[A-Za-z]{2,} [a-z]{2,} [a-z]{2,}"));
}

struct Case {
  const char* what;
  std::function<void(Cli&)> setUp;
  std::string args;
  int exitCode;
  std::string says;  // a piece of the output, as the user reads it
};

const std::string kHead = "Name Channel\r\ndescription channel\r\nSkimlet: Start Channel Setting\r\n";

TEST(CliMessages, EveryErrorAndWarningIsRussian) {
  auto channel = [](Cli& c) { MakeDirs(c.home / "Accounts/Сайт"); };
  auto notAFolder = [&](Cli& c) {
    channel(c);
    WriteFile(c.work / "блок", "a file where a folder should be");
  };
  const std::vector<Case> cases = {
      {"a count that is not a number",
       [](Cli& c) { WriteFile(c.work / "b.skc", kHead + Cp("Сайт\r\n0\r\nСломанная\r\n") + "abc\r\n"); },
       "import b.skc", 1,
       "строка 7: у папки «Сломанная» число шагов «abc» — это не число; дальше файл не читается."},
      {"an unsafe folder name", [](Cli& c) { WriteFile(c.work / "e.skc", kHead + "../x\r\n0\r\n"); },
       "import e.skc", 1, "строка 4: имя папки «../x» не годится: в имени есть «/» или «\\»."},
      {"a short last block imports with a warning",
       [](Cli& c) { WriteFile(c.work / "s.skc", kHead + Cp("Сайт") + "\r\n2\r\nGetStart\r\n"); }, "import s.skc",
       0, "у папки «Сайт» объявлено шагов: 2, но файл кончается на шаге 0"},
      {"not a channel file", [](Cli& c) { WriteFile(c.work / "p.txt", "hello\r\n"); }, "import p.txt", 1,
       " — не файл канала"},
      {"a missing file", nullptr, "import нет.skc", 1, "нет файла нет.skc"},
      {"Accounts cannot be made",
       [](Cli& c) {
         WriteFile(c.home / "Accounts", "a file where the folder should be");
         WriteFile(c.work / "x.skc", kHead + "A\r\n0\r\n");
       },
       "import x.skc", 1,
       "Не удалось создать папку"},
      {"an export that cannot be written", notAFolder, "export Сайт блок/x.skc", 1, "Не удалось записать файл "},
      {"a damaged macro is exported with a warning",
       [&](Cli& c) {
         channel(c);
         WriteFile(c.home / "Accounts/Сайт/Skimlet-macros.ini", "many\r\n");
       },
       "export Сайт out.skc", 0, "повреждён: в первой строке нет числа шагов"},
      {"a feed that cannot be written", notAFolder, "feed Сайт -o блок/лента.atom", 1,
       "Не удалось записать файл блок/лента.atom ("},
      {"no such channel", channel, "check Нет", 2, "нет канала «Нет»"},
      {"no such setting", nullptr, "settings Setting/Nope=1", 2, "неизвестная настройка «Setting/Nope»"},
      {"a bad option", channel, "download --log loud", 2, "после --log нужно raw или pretty"},
      {"an unknown command, with the usage", nullptr, "frobnicate", 2, "неизвестная команда «frobnicate»"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Cli cli;
    if (c.setUp) c.setUp(cli);
    test::CommandResult r = cli.Run(c.args);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.out;
    EXPECT_NE(r.out.find(c.says), std::string::npos) << r.out;
    EXPECT_FALSE(HoldsEnglish(r.out)) << r.out;
  }
}

}  // namespace
}  // namespace skimlet
