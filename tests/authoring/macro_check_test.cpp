// The macro checker on macro files as users break them: slips of the pen, lines added or lost
// by hand, steps renumbered, loops that never end.
#include "authoring/MacroCheck.h"

#include <gtest/gtest.h>

#include <set>

#include "authoring/Auto.h"
#include "platform/Paths.h"
#include "store/MacroFile.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

using Kind = MacroFinding::Kind;
using test::MacroStep;

const std::vector<std::string> kKnown = {"GetStart",       "FindUrlNews",  "EditUrlNews",    "GetNews",
                                         "EditHTMLNews",   "FindNameNews", "FindAttachment", "SaveNews",
                                         "GotoMacro",      "NotOperation", "GetNextIndex",   "EditIndexHTML"};

std::string MacroText(const std::vector<TTmpOneMacroComand>& steps) {
  MacroTable table;
  std::copy(steps.begin(), steps.end(), table.steps.begin());
  table.count = static_cast<std::int32_t>(steps.size());
  return FormatMacroFile(table);
}

// The usual rubric: take each new link, fetch, clean, name, save, and round again.
std::vector<TTmpOneMacroComand> Loop() {
  std::vector<TTmpOneMacroComand> steps{MacroStep("FindUrlNews", "news/*.html", "-1"), MacroStep("EditUrlNews"),
          MacroStep("GetNews", "class=\"article\"", "", "", "0"),
          MacroStep("EditHTMLNews", "StandartParameter=0", "StandartParameter=0"),
          MacroStep("FindNameNews", "<title>", "</title>"),
          MacroStep("FindAttachment", "StandartParameter=0", "StandartParameter=0", "StandartParameter=0"),
          MacroStep("SaveNews"), MacroStep("GotoMacro", "0", "StandartParameter=0")};
  for (std::size_t k = 0; k < steps.size(); ++k) steps[k].Description = "what step " + std::to_string(k) + " does";
  return steps;
}

std::vector<MacroFinding> Check(const std::string& text) { return CheckMacroText(text, kKnown); }

// Line `line` (from 1) of a CR LF text replaced; an empty `with` deletes it; `insert` adds before it.
std::string EditLine(const std::string& text, int line, const std::string& with, bool insert = false) {
  std::size_t start = 0;
  for (int i = 1; i < line; ++i) start = text.find("\r\n", start) + 2;
  std::size_t end = text.find("\r\n", start) + 2;
  if (insert) return text.substr(0, start) + with + "\r\n" + text.substr(start);
  return text.substr(0, start) + (with.empty() ? "" : with + "\r\n") + text.substr(end);
}

TEST(MacroCheckSound, TheUsualMacrosAndTheWaysToEndAFolderPass) {
  EXPECT_TRUE(Check(MacroText(Loop())).empty());
  EXPECT_TRUE(Check(MacroText({MacroStep("GetStart", "http://h.ru/", "</html>", "-999")})).empty());
  EXPECT_TRUE(Check("").empty());
  EXPECT_TRUE(Check("0\r\n").empty());
  // Ends of a folder or a run: -1, below -1, empty, and numbers that can never be a step.
  auto ends = Loop();
  ends[0].P2 = "9999";
  ends[2].P4 = "";
  ends.push_back(MacroStep("GotoMacro", "-5", "StandartParameter=1", "StandartParameter=2", "x"));
  EXPECT_TRUE(Check(MacroText(ends)).empty());
  // An OFF step does nothing, whatever it holds; the catalogue supplies the command names.
  auto off = Loop();
  off.push_back({"GotoMacro", "8", "", "", "", "", false});
  EXPECT_TRUE(Check(MacroText(off)).empty());
  CommandCatalogue catalogue;
  ASSERT_TRUE(LoadCommandCatalogue(CatalogueFilePath(ResourceDir("/nonexistent/")), catalogue).exists);
  std::vector<std::string> names = KnownCommands(catalogue);
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), std::set<std::string>(kKnown.begin(), kKnown.end()));
}

TEST(MacroCheckCommands, UnknownNamesComeWithTheNearestKnownOne) {
  auto steps = Loop();
  steps[2].Command = "Getnews";
  steps[6].Command = "SaveNew";
  auto found = Check(MacroText(steps));
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].kind, Kind::kUnknownCommand);
  EXPECT_EQ(found[0].line, 1 + 2 * 7 + 1);
  EXPECT_EQ(found[0].step, 2);
  EXPECT_EQ(found[0].message, "шаг 2: неизвестная команда «Getnews» (ближайшая: «GetNews»); загрузка её пропускает");
  EXPECT_EQ(found[1].line, 1 + 6 * 7 + 1);
  EXPECT_NE(found[1].message.find("(ближайшая: «SaveNews»)"), std::string::npos);
  EXPECT_EQ(NearestName("gotomakro", kKnown), "GotoMacro");

  steps = Loop();
  steps[3].Command = "";  // the folder ends there
  found = Check(MacroText(steps));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].kind, Kind::kEmptyCommand);
  EXPECT_EQ(found[0].message, "у шага 3 нет команды: папка на нём кончается, шаги с 4 по 7 не выполняются");
}

TEST(MacroCheckRecords, AWrongOnOffLineAndAStrayOrMissingLineSayWhere) {
  const std::string sound = MacroText(Loop());
  // A value the run does not know: that step alone counts as OFF.
  auto found = Check(EditLine(sound, 1 + 3 * 7 + 2, "on"));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].kind, Kind::kActiveLine);
  EXPECT_EQ(found[0].line, 24);
  EXPECT_EQ(found[0].message, "в строке ON/OFF шага 3 стоит «on»: загрузка считает шаг выключенным");

  // A stray line typed into step 2's parameters shifts steps 3 to 7.
  found = Check(EditLine(sound, 1 + 2 * 7 + 4, "stray", /*insert=*/true));
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].kind, Kind::kStepCount);
  EXPECT_EQ(found[0].line, 1);
  EXPECT_NE(found[0].message.find("ещё строк: 1 (со строки 58)"), std::string::npos) << found[0].message;
  EXPECT_EQ(found[1].kind, Kind::kShiftedRecords);
  EXPECT_EQ(found[1].step, 3);
  EXPECT_EQ(found[1].line, 24);
  EXPECT_EQ(found[1].message,
            "в строке ON/OFF шага 3 стоит «EditHTMLNews»: между строками 17 и 24 добавлена или потеряна строка, "
            "и этот шаг со всеми следующими сдвинут");

  // A lost line: the last step runs out of lines as well.
  found = Check(EditLine(sound, 1 + 4 * 7 + 3, ""));
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].kind, Kind::kStepCount);
  EXPECT_NE(found[0].message.find("кончаются на шаге 7 (последняя строка 56)"), std::string::npos)
      << found[0].message;
  EXPECT_EQ(found[1].kind, Kind::kShiftedRecords);
  EXPECT_EQ(found[1].step, 5);
  EXPECT_NE(found[1].message.find("между строками 31 и 38"), std::string::npos) << found[1].message;

  for (const char* count : {"many", "-3"}) {
    found = Check(EditLine(sound, 1, count));
    ASSERT_EQ(found.size(), 1u) << count;
    EXPECT_EQ(found[0].kind, Kind::kStepCount);
    EXPECT_NE(found[0].message.find("загрузка не прочтёт"), std::string::npos) << found[0].message;
  }
}

TEST(MacroCheckJumps, TargetsThatAreNoStepOrNoNumber) {
  auto steps = Loop();
  steps[2].P4 = "12";    // a step slot, but this macro has 8 steps
  steps[7].P1 = "next";  // no number at all
  auto found = Check(MacroText(steps));
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].kind, Kind::kJumpTarget);
  EXPECT_EQ(found[0].line, 1 + 2 * 7 + 6);  // GetNews's P4
  EXPECT_EQ(found[0].message, "шаг 2 (GetNews) переходит к шагу 12, а шаги идут от 0 до 7: переход завершает папку");
  EXPECT_EQ(found[1].line, 1 + 7 * 7 + 3);  // GotoMacro's P1
  EXPECT_EQ(found[1].message, "шаг 7 (GotoMacro) переходит к «next», а это не номер шага: переход завершает папку");
}

TEST(MacroCheckLoops, LinkLoopsThatCannotEndAndLoopsWithoutFindUrlNews) {
  // No link left: FindUrlNews goes back to itself.
  auto steps = Loop();
  steps[0].P2 = "0";
  auto found = Check(MacroText(steps));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].kind, Kind::kEndlessLinkLoop);
  EXPECT_EQ(found[0].line, 5);
  EXPECT_EQ(found[0].message, "шаг 0 (FindUrlNews), когда новых ссылок больше нет, переходит к самому себе: цикл никогда не кончится");

  // ... or to a step that falls back into the loop.
  steps = Loop();
  steps[0].P2 = "8";
  steps.push_back(MacroStep("NotOperation"));
  steps.push_back(MacroStep("GotoMacro", "1"));
  found = Check(MacroText(steps));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].message,
            "шаг 0 (FindUrlNews), когда новых ссылок больше нет, переходит к шагу 8, который ведёт обратно к нему: "
            "цикл никогда не кончится");

  // A GetNews whose "loaded before" jump goes to itself never reaches the FindUrlNews again.
  steps = Loop();
  steps[2].P4 = "2";
  found = Check(MacroText(steps));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].kind, Kind::kLoopWithoutLinks);
  EXPECT_EQ(found[0].step, 2);
  EXPECT_EQ(found[0].message,
            "шаг 2 повторяет сам себя без FindUrlNews, GetStart и GetNextIndex: этот цикл остановит только защита от бесконечной загрузки");

  // A loop with no FindUrlNews at all; a conditional jump out of it does not count.
  found = Check(MacroText({MacroStep("GetStart", "http://h.ru/", "</html>", "-999"), MacroStep("SaveNews"),
                           MacroStep("GotoMacro", "9999", "StandartParameter=1", "StandartParameter=2", "end"),
                           MacroStep("GotoMacro", "1")}));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].kind, Kind::kLoopWithoutLinks);
  EXPECT_EQ(found[0].line, 1 + 7 + 1);
  EXPECT_EQ(found[0].message,
            "шаги 1, 2, 3 идут по кругу без FindUrlNews, GetStart и GetNextIndex: этот цикл остановит только защита от бесконечной загрузки");
}

// A WordPress-like category of three pages: the posts of a page, then the next page.
std::vector<TTmpOneMacroComand> Paged(const std::string& turn) {
  const std::string base = "https://blog.example/category/news/";
  std::vector<TTmpOneMacroComand> steps{
      MacroStep("GetStart", base, "</html>", "-999"), MacroStep("EditIndexHTML", "*<main", "<main"),
      MacroStep("FindUrlNews", "/20~~/", "8"), MacroStep("EditUrlNews"),
      MacroStep("GetNews", "entry-content", "", "", "2"), MacroStep("FindNameNews", "<h1", "</h1>"),
      MacroStep("SaveNews"), MacroStep("GotoMacro", "2")};
  if (turn == "GetNextIndex") {
    steps.push_back(MacroStep("GetNextIndex", "class=\"next", "3", "", "10"));
    steps.push_back(MacroStep("GotoMacro", "1"));  // 10: just past the last step
  } else if (turn == "GetStart") {  // a hard-coded page count: page p follows page p - 1
    for (int page : {2, 3}) {
      const std::string here = page == 2 ? base : base + "page/2/", skip = std::to_string(8 + 3 * (page - 1));
      steps.push_back(MacroStep("GotoMacro", skip, "StandartParameter=2", "StandartParameter=2",
                                "rel=\"canonical\" href=\"" + here + "\""));
      steps.push_back(MacroStep("GetStart", base + "page/" + std::to_string(page) + "/", "</html>", "-999"));
      steps.push_back(MacroStep("GotoMacro", "1"));
    }  // the last skip, 14, is just past the last step
  } else {  // narrowing again is no new page
    steps.push_back(MacroStep("EditIndexHTML", "</main>*", "</main>"));
    steps.push_back(MacroStep("GotoMacro", "2"));
  }
  return steps;
}

TEST(MacroCheckLoops, PageTurningIsNoLoopAndTheEndPastTheLastStepIsNoSlip) {
  EXPECT_TRUE(Check(MacroText(Paged("GetNextIndex"))).empty());
  for (const MacroFinding& f : Check(MacroText(Paged("GetStart")))) ADD_FAILURE() << f.message;
  auto found = Check(MacroText(Paged("EditIndexHTML")));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].kind, Kind::kEndlessLinkLoop);
  EXPECT_EQ(found[0].step, 2);
  // A loop that loads a page on every round ends when the site has no more; one that only edits does not.
  found = Check(MacroText({MacroStep("GetStart", "http://h.ru/", "</html>", "-999"), MacroStep("GotoMacro", "0")}));
  EXPECT_TRUE(found.empty());
  found = Check(MacroText({MacroStep("EditIndexHTML", "a", "b"), MacroStep("GotoMacro", "0")}));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].kind, Kind::kLoopWithoutLinks);
}

}  // namespace
}  // namespace skimlet
