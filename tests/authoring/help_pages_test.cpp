#include <gtest/gtest.h>

#include <regex>

#include "authoring/Auto.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

using test::Cp;

// The build tree's resources (a data directory without Actions/ of its own falls back on them).
std::string Resources() {
  test::TempDir none;
  return ResourceDir(none.path());
}
std::string HelpDir() { return Resources() + "Help/"; }

// Every page can be read offline in the embedded viewer: Windows-1251, declared as such, and
// every link, picture or style points at a file beside it.
void CheckPage(const std::string& name) {
  SCOPED_TRACE(name);
  std::string page = test::ReadFile(HelpDir() + name);
  ASSERT_FALSE(page.empty());
  EXPECT_FALSE(IsValidUtf8(page)) << "help pages are Windows-1251";
  EXPECT_NE(page.find("<meta charset=\"windows-1251\">"), std::string::npos);
  EXPECT_EQ(page.find("@import"), std::string::npos);
  EXPECT_EQ(page.find("url("), std::string::npos);
  static const std::regex kRef(R"re((?:href|src)\s*=\s*"([^"]*)")re", std::regex::icase);
  for (std::sregex_iterator it(page.begin(), page.end(), kRef), end; it != end; ++it) {
    std::string target = (*it)[1];
    EXPECT_EQ(target.find(':'), std::string::npos) << target << " leaves the help directory";
    EXPECT_NE(target.rfind("//", 0), 0u) << target;
    EXPECT_TRUE(FileExists(HelpDir() + target)) << target << " does not exist";
  }
}

TEST(HelpPages, StartPageAndInterfacePage) {
  CheckPage("01OverView.htm");
  CheckPage("02Interface.htm");
  std::string iface = test::ReadFile(HelpDir() + "02Interface.htm");
  for (const char* sign : {"<code>*</code>", "<code>?</code>", "<code>~</code>"})
    EXPECT_NE(iface.find(sign), std::string::npos) << sign;
  // «С чего начать» leads with the assistant: its first paragraph names the menu item and its keys.
  std::string start = test::ReadFile(HelpDir() + "01OverView.htm");
  const std::size_t section = start.find(Cp("<h2>С чего начать</h2>\n<p>"));
  ASSERT_NE(section, std::string::npos);
  const std::string lead = start.substr(section, start.find("</p>", section) - section);
  for (const char* text : {"«Файл» — «Новый канал по адресу…» (Ctrl+Shift+N)", "«Создать»", "F9"})
    EXPECT_NE(lead.find(Cp(text)), std::string::npos) << text;
  // The editor's page tells about the preview and its button, and about channel files.
  for (const char* text : {"Что сделает шаг (предпросмотр)", "«Загрузить страницу»", "Добавить/восстановить канал"})
    EXPECT_NE(iface.find(Cp(text)), std::string::npos) << text;
}

TEST(HelpPages, TheFilesPageShowsEveryFormatByExample) {
  CheckPage("03Formats.htm");
  std::string page = test::ReadFile(HelpDir() + "03Formats.htm");
  for (const char* sign : {"Skimlet-macros.ini", "Skimlet: Start Channel Setting", "CR LF", "SkimletURL:",
                           "  NewsURL=", "--log raw", "<td><code>16711680</code></td>", "@PORT@"})
    EXPECT_NE(page.find(Cp(sign)), std::string::npos) << sign;
}

TEST(HelpPages, EveryCommandHasAPageThatExplainsItsFields) {
  CommandCatalogue c;
  ASSERT_TRUE(LoadCommandCatalogue(CatalogueFilePath(Resources()), c).exists);
  for (int i = 0; i < kSelectorEntries; ++i) {
    const TAutoAction& e = c.entries[i];
    SCOPED_TRACE(e.ProcedureName);
    CheckPage(e.ProcedureName + ".html");
    std::string page = test::ReadFile(HelpDir() + e.ProcedureName + ".html");
    EXPECT_NE(page.find("<title>" + e.Name + " (" + e.ProcedureName + ")</title>"), std::string::npos);
    EXPECT_NE(page.find(Cp("Демо-новости")), std::string::npos) << "a worked example from the demo channel";
    EXPECT_NE(page.find(Cp("Язык фрагментов")), std::string::npos);
    for (int n = 0; n < kParameters; ++n) {
      if (!e.PEnable[n]) continue;
      std::string label = e.PLabel[n].substr(0, e.PLabel[n].find(" (*, ?, ~)"));
      EXPECT_NE(page.find(label), std::string::npos) << "label of P" << n + 1 << ": " << Win1251ToUtf8(label);
      for (const std::string& v : VariantList(e, n + 1))
        EXPECT_NE(page.find(v), std::string::npos) << "variant " << Win1251ToUtf8(v);
    }
  }
}

}  // namespace
}  // namespace skimlet
