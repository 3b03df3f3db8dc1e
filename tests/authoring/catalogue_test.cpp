#include <gtest/gtest.h>

#include <map>
#include <set>

#include "authoring/Auto.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

using test::Cp;
using test::TempDir;

CommandCatalogue Parse(std::string_view text, std::vector<std::string>* problems = nullptr) {
  CommandCatalogue c;
  std::vector<std::string> local;
  ParseCommandCatalogue(text, c, problems ? *problems : local);
  return c;
}

bool Mentions(const std::vector<std::string>& problems, std::string_view what) {
  for (const std::string& p : problems)
    if (p.find(what) != std::string::npos) return true;
  return false;
}

// What the download run reads of each command, and which "StandartParameter=N" it tests.
struct CommandUse {
  std::set<int> reads;                  // parameter numbers
  std::map<int, std::set<int>> tested;  // parameter -> variant indexes
};
const std::map<std::string, CommandUse>& RunTable() {
  static const std::map<std::string, CommandUse> table = {
      {"NotOperation", {{}, {}}},     {"GetStart", {{1, 2, 3}, {}}},
      {"FindUrlNews", {{1, 2}, {}}},  {"EditUrlNews", {{1, 2, 3, 4}, {}}},
      {"GetNews", {{1, 4}, {}}},      {"EditHTMLNews", {{1, 2, 3, 4}, {{1, {0}}, {2, {0}}}}},
      {"FindNameNews", {{1, 2}, {}}}, {"FindAttachment", {{1, 2, 3}, {{1, {0}}, {2, {0}}, {3, {0, 1}}}}},
      {"SaveNews", {{}, {}}},         {"GotoMacro", {{1, 2, 3, 4}, {{2, {1, 2}}, {3, {0, 1, 2}}}}},
      {"GetNextIndex", {{1, 2, 3, 4}, {{3, {1}}}}}, {"EditIndexHTML", {{1, 2}, {}}},
  };
  return table;
}

TEST(ShippedCatalogue, ServesEveryCommandOfTheRun) {
  TempDir data;  // no Actions/ of its own: the build tree's resources are used
  std::string path = CatalogueFilePath(ResourceDir(data.path()));
  std::string bytes = test::ReadFile(path);
  ASSERT_FALSE(bytes.empty()) << path;
  EXPECT_FALSE(IsValidUtf8(bytes)) << "the catalogue must be Windows-1251";
  for (std::size_t i = 0; i < bytes.size(); ++i)
    if (bytes[i] == '\n') {
      ASSERT_TRUE(i > 0 && bytes[i - 1] == '\r') << "bare LF at byte " << i;
    }

  CommandCatalogue c;
  CatalogueLoadResult r = LoadCommandCatalogue(path, c);
  ASSERT_TRUE(r.exists);
  EXPECT_TRUE(r.problems.empty()) << r.problems.front();

  std::set<std::string> procedures, names;
  for (int i = 0; i < kSelectorEntries; ++i) {
    const TAutoAction& e = c.entries[i];
    SCOPED_TRACE(e.ProcedureName);
    auto use = RunTable().find(e.ProcedureName);
    ASSERT_NE(use, RunTable().end()) << "entry " << i << " is no command of the run";
    procedures.insert(e.ProcedureName);
    names.insert(e.Name);
    EXPECT_FALSE(e.Name.empty());
    EXPECT_GT(e.Hint.size(), 40u) << "a hint teaches what the step does";
    EXPECT_EQ(e.Hint.find_first_of("\r\n\t"), std::string::npos);
    for (int n = 1; n <= kParameters; ++n) {
      SCOPED_TRACE("P" + std::to_string(n));
      bool reads = use->second.reads.count(n) > 0;
      EXPECT_EQ(e.PEnable[n - 1], reads) << "shown exactly when the command reads it";
      if (reads) {
        EXPECT_FALSE(e.PLabel[n - 1].empty());
      }
      std::vector<std::string> list = VariantList(e, n);
      auto tested = use->second.tested.find(n);
      if (tested == use->second.tested.end()) {
        // A variant here would be stored as a reference that the command takes literally.
        EXPECT_TRUE(list.empty());
        continue;
      }
      for (int index : tested->second) EXPECT_FALSE(e.PVar[n - 1][index].empty()) << "variant " << index;
      EXPECT_EQ(std::set<std::string>(list.begin(), list.end()).size(), list.size()) << "variants differ";
      // A new step stores its default as a reference, and P1's field is a drop-down.
      EXPECT_NE(std::find(list.begin(), list.end(), e.P[n - 1]), list.end());
      if (n == 1) {
        EXPECT_EQ(e.P[0], list.front());
      }
    }
  }
  EXPECT_EQ(procedures.size(), RunTable().size());
  EXPECT_EQ(names.size(), RunTable().size()) << "display names must differ: the selector finds entries by name";
  EXPECT_EQ(SelectorNames(c).size(), RunTable().size());
  EXPECT_TRUE(c.entries[kSelectorEntries].Name.empty() && c.entries[kSelectorEntries].ProcedureName.empty());
  EXPECT_EQ(c.entries[FindByProcedureName(c, "GetNextIndex")].Name, Cp("Следующая страница списка"));
  EXPECT_EQ(c.entries[FindByProcedureName(c, "EditIndexHTML")].Name, Cp("Правка списка"));
  // A new step in an empty folder begins a macro, and every channel's macro begins here.
  EXPECT_EQ(c.entries[0].ProcedureName, "GetStart");
  // The defaults that the run tests arrive as the references it compares with.
  int edit = FindByProcedureName(c, "EditHTMLNews");
  EXPECT_EQ(EncodeParameter(c.entries[edit].P[1], VariantList(c.entries[edit], 2)), "StandartParameter=0");
}

TEST(CatalogueFile, MissingFileIsReportedWithItsPath) {
  TempDir dir;
  CommandCatalogue c;
  c.entries[3].Name = "stale";
  CatalogueLoadResult r = LoadCommandCatalogue(dir / "Actions/ActionsList.txt", c);
  EXPECT_FALSE(r.exists);
  EXPECT_TRUE(c.entries[3].Name.empty()) << "the entries are cleared before loading";
  EXPECT_EQ(MissingCatalogueMessage(dir / "Actions/ActionsList.txt"),
            Cp("Нет файла ") + dir.path() + "Actions/ActionsList.txt");
}

TEST(CatalogueKeys, SplitAtTheFirstEqualsSignExactlyUntrimmedAnyLineBreak) {
  CommandCatalogue c = Parse(
      "Name=Get\r\nHint=a=b = c\r\nP1Enable=true\r\nP2Enable=True\nP3Enable=True \r"
      " Name=not a key\r\nname=nor this\r\nP5=no such parameter\r\nP1Labels=x\r\njust text\r\n"
      "P1=first\r\nP1=second\r\nP2Label= spaced \r\n"
      "P2Var=x\r\nP2Var=\r\nP2Var=y\r\nName=B\r\nP2Var=z");
  const TAutoAction& e = c.entries[0];
  EXPECT_EQ(e.Hint, "a=b = c");
  EXPECT_EQ(e.PEnable, (std::array<bool, 4>{false, true, false, false})) << "only \"True\" shows a field";
  EXPECT_EQ(e.P[0], "second") << "a repeated key keeps the later value";
  EXPECT_EQ(e.PLabel[1], " spaced ");
  EXPECT_EQ(e.PVar[1][1], "y") << "an empty variant leaves its slot to the next one";
  EXPECT_TRUE(e.PVar[1][2].empty());
  EXPECT_EQ(c.entries[1].Name, "B") << "only \"Name\" starts an entry";
  EXPECT_EQ(c.entries[1].PVar[1][0], "z");
}

TEST(CatalogueBounds, WhatDoesNotFitIsDroppedAndReportedByLine) {
  const int last = kCatalogueEntries - 1;
  const std::string past1 = std::to_string(last + 1), past2 = std::to_string(last + 2);
  std::string text = "Hint=orphan\r\nP1Var=orphan\r\n";
  for (int i = 0; i < kCatalogueEntries + 2; ++i)
    text += "Name=E" + std::to_string(i) + "\r\nHint=h" + std::to_string(i) + "\r\n";
  for (int i = 0; i < 11; ++i) text += "P3Var=v" + std::to_string(i) + "\r\n";  // into the dropped last one
  text += "Hint=" + std::string(kCatalogueValueMax + 5, 'h');
  std::vector<std::string> problems;
  CommandCatalogue c = Parse(text, &problems);
  EXPECT_TRUE(c.entries[0].PVar[0][0].empty());
  EXPECT_EQ(c.entries[last].Name, "E" + std::to_string(last));
  EXPECT_EQ(c.entries[last].Hint, "h" + std::to_string(last)) << "keys of later entries must not land in the last";
  EXPECT_TRUE(c.entries[last].PVar[2][0].empty());
  ASSERT_EQ(problems.size(), 5u);
  for (std::string what : {std::string("строка 1:"), std::string("строка 2:"), "«E" + past1 + "»", "«E" + past2 + "»",
                           std::string("длиннее 99999")})
    EXPECT_TRUE(Mentions(problems, what)) << what;

  std::string variants = "Name=A\r\n";
  for (int i = 0; i < 11; ++i) variants += "P3Var=v" + std::to_string(i) + "\r\n";
  problems.clear();
  c = Parse(variants, &problems);
  EXPECT_EQ(c.entries[0].PVar[2][8], "v8");
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_TRUE(Mentions(problems, "вариант «v9» параметра P3"));
}

TEST(CatalogueLookups, DisplayNameTakesTheLastMatchProcedureNameTheFirst) {
  CommandCatalogue c = Parse(
      "Name=A\r\nProcedureName=a\r\nHint=ha\r\nName=B\r\nProcedureName=b\r\nHint=hb\r\n"
      "Name=C\r\nProcedureName=b\r\nHint=hc\r\nName=B\r\nProcedureName=d\r\nHint=hd\r\n");
  EXPECT_EQ(FindByDisplayName(c, "B"), 3);
  EXPECT_EQ(FindByDisplayName(c, "b"), -1);
  EXPECT_EQ(FindByProcedureName(c, "b"), 1);
  EXPECT_EQ(FindByProcedureName(c, "Unknown"), 4) << "unknown: the selector's line count";
  EXPECT_EQ(FindByProcedureName(c, ""), 4) << "a blank entry's empty procedure name is no match";
  EXPECT_EQ(StandardHint(c, "B"), "hd");
  EXPECT_EQ(StandardHint(c, "A"), std::nullopt) << "entry 0 is not searched";

  std::string full;
  for (int i = 0; i < kCatalogueEntries; ++i)
    full += "Name=N" + std::to_string(i) + "\r\nProcedureName=p" + std::to_string(i) + "\r\n";
  c = Parse(full);
  const std::string last = std::to_string(kSelectorEntries);
  EXPECT_EQ(FindByDisplayName(c, "N" + last), -1) << "the last entry is never in the selector";
  EXPECT_EQ(FindByProcedureName(c, "p" + last), kSelectorEntries);
  EXPECT_EQ(StandardHint(c, "N" + last), "") << "but SetStandartHint searches it";
}

TEST(CatalogueLookups, ANamelessEntryIsUnlistedAndShiftsTheLines) {
  std::vector<std::string> problems;
  CommandCatalogue c = Parse(
      "Name=A\r\nProcedureName=a\r\nName=\r\nProcedureName=x\r\nName=C\r\nProcedureName=c\r\n", &problems);
  EXPECT_EQ(SelectorNames(c), (std::vector<std::string>{"A", "C"}));
  EXPECT_EQ(FindByDisplayName(c, "C"), 2) << "while C is line 1 of the selector";
  EXPECT_EQ(FindByProcedureName(c, "c"), 2) << "entry 2 lies beyond the two lines searched";
  EXPECT_TRUE(Mentions(problems, "пустое имя"));
}

TEST(ParameterReferences, StoredAsIndexShownAsVariantOrKeptWhenUndecodable) {
  TAutoAction e;
  e.PVar[1][0] = "first";
  e.PVar[1][1] = "second";
  std::vector<std::string> list = VariantList(e, 2);
  ASSERT_EQ(list, (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(EncodeParameter("second", list), "StandartParameter=1") << "picked or typed by hand alike";
  EXPECT_EQ(EncodeParameter("Second", list), "Second");
  EXPECT_EQ(EncodeParameter("same", {"same", "other", "same"}), "StandartParameter=2");

  EXPECT_EQ(DecodeParameter(e, 2, "StandartParameter=1"), "second");
  EXPECT_EQ(DecodeParameter(e, 2, "xStandartParameter=0"), "first") << "the marker may stand anywhere";
  EXPECT_EQ(DecodeParameter(e, 2, "StandartParameter=7=1"), "second") << "the index follows the last '='";
  EXPECT_EQ(DecodeParameter(e, 2, "a=1"), "a=1");
  for (std::string bad :
       {"StandartParameter=12", "StandartParameter=-1", "StandartParameter=abc",
        "StandartParameter=", "StandartParameter=5", "StandartParameter=99999999999999999999"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(DecodeParameter(e, 2, bad), bad);
    EXPECT_EQ(EncodeParameter(DecodeParameter(e, 2, bad), list), bad) << "storing the field again keeps it";
  }
  EXPECT_EQ(DecodeParameter(e, 1, "StandartParameter=0"), "StandartParameter=0") << "P1 has no variants";
  EXPECT_EQ(DecodeParameter(e, 9, "StandartParameter=0"), "StandartParameter=0");
}

}  // namespace
}  // namespace skimlet
