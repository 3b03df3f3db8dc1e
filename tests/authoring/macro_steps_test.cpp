// The macro editor's core: step lines, parameter fields per catalogue entry, step edits.
#include <gtest/gtest.h>

#include <functional>

#include "authoring/Auto.h"
#include "authoring/MacroSteps.h"
#include "platform/Paths.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

using test::Cp;

TTmpOneMacroComand Step(const char* command, std::string p1 = "", std::string p2 = "", std::string p3 = "",
                        std::string p4 = "") {
  return test::MacroStep(command, std::move(p1), std::move(p2), std::move(p3), std::move(p4));
}

TEST(MacroStepLine, NumberCommandParametersAndVariantReferences) {
  EXPECT_EQ(StepLineText(0, Step("GetStart", "http://h.ru/", "</html>", "-1")),
            "00 - GetStart:  http://h.ru/   </html>   -1      ");
  EXPECT_EQ(StepLineText(9, Step("SaveNews")), "09 - SaveNews:              ");
  EXPECT_EQ(StepLineText(10, Step("SaveNews")).substr(0, 5), "10 - ");
  EXPECT_EQ(StepLineText(1000, Step("SaveNews")).substr(0, 7), "1000 - ");
  EXPECT_EQ(StepLineText(7, Step("GotoMacro", "0", "StandartParameter=2", "StandartParameter=12")),
            "07 - GotoMacro:  0   N:2   N:12      ");
  // Every occurrence is replaced, also one inside a literal text.
  EXPECT_EQ(StepLineText(1, Step("EditUrlNews", "aStandartParameter=bStandartParameter=")),
            "01 - EditUrlNews:  aN:bN:            ");
}

TAutoAction Entry() {
  TAutoAction e;
  e.ProcedureName = "X";
  e.P = {"second", "", "typed", ""};
  e.PLabel = {"L1", "L2", "L3", ""};
  e.PEnable = {true, true, false, false};
  e.PVar[0][0] = "first";
  e.PVar[0][1] = "second";
  e.PVar[1][0] = "a";
  e.PVar[2][0] = "v";
  return e;
}

TEST(MacroParameterField, DropDownOnlyWithVariantsAndForP1OnlyWhenTheDefaultIsTheFirst) {
  TAutoAction e = Entry();
  ParameterFieldSetup p1 = SetupParameterField(1, e);
  EXPECT_FALSE(p1.dropDown) << "P1's default is not its first variant";
  EXPECT_EQ(p1.variants, (std::vector<std::string>{"first", "second"})) << "a plain field keeps its variants";
  EXPECT_EQ(p1.text, "second");
  EXPECT_EQ(p1.label, "L1");
  EXPECT_TRUE(p1.visible);
  e.P[0] = "first";
  EXPECT_TRUE(SetupParameterField(1, e).dropDown);
  e.P[0] = "First";  // compared exactly
  EXPECT_FALSE(SetupParameterField(1, e).dropDown);

  ParameterFieldSetup p2 = SetupParameterField(2, e);
  EXPECT_TRUE(p2.dropDown) << "P2..P4 drop down whenever they have variants";
  EXPECT_EQ(p2.text, "");
  ParameterFieldSetup p3 = SetupParameterField(3, e);
  EXPECT_TRUE(p3.dropDown);
  EXPECT_FALSE(p3.visible);
  EXPECT_EQ(p3.text, "typed");
  ParameterFieldSetup p4 = SetupParameterField(4, e);
  EXPECT_FALSE(p4.dropDown) << "no variants: a plain field";
  EXPECT_TRUE(p4.variants.empty());
  EXPECT_FALSE(SetupParameterField(5, e).visible);
}

TEST(MacroParameterField, TheShippedCatalogue) {
  test::TempDir none;
  CommandCatalogue c;
  ASSERT_TRUE(LoadCommandCatalogue(CatalogueFilePath(ResourceDir(none.path())), c).exists);
  auto field = [&](const char* command, int n) {
    for (const TAutoAction& e : c.entries)
      if (e.ProcedureName == command) return SetupParameterField(n, e);
    ADD_FAILURE() << command;
    return ParameterFieldSetup{};
  };
  EXPECT_TRUE(field("EditHTMLNews", 1).dropDown);
  EXPECT_EQ(field("EditHTMLNews", 1).text, Cp("Сделать адреса полными"));
  EXPECT_TRUE(field("FindAttachment", 3).dropDown);
  EXPECT_FALSE(field("GotoMacro", 1).dropDown);
  EXPECT_TRUE(field("GotoMacro", 2).dropDown);
  EXPECT_EQ(field("GotoMacro", 3).variants.size(), 3u);
  EXPECT_FALSE(field("GetNews", 2).visible);
  EXPECT_TRUE(field("GetNews", 4).visible);
  for (int n = 1; n <= 4; ++n) EXPECT_FALSE(field("SaveNews", n).visible);
}

TEST(MacroStepEdits, AppendUpToTheTableThenRefuse) {
  MacroTable t;
  t.steps[0].Description = "left over";
  t.steps[0].P2 = "x";
  EXPECT_EQ(AppendStep(t, "GetStart"), 0);
  EXPECT_EQ(t.count, 1);
  EXPECT_EQ(t.steps[0], Step("GetStart")) << "a fresh, active step with empty fields";
  t.count = kMacroSlots - 1;
  EXPECT_EQ(AppendStep(t, "SaveNews"), kMacroSlots - 1);
  EXPECT_EQ(AppendStep(t, "SaveNews"), -1);
  EXPECT_EQ(t.count, kMacroSlots);
  EXPECT_EQ(t.steps.size(), static_cast<std::size_t>(kMacroSlots));
}

TEST(MacroStepEdits, DeleteMovesTheRestUpAndChoosesTheNextLine) {
  MacroTable t;
  for (const char* c : {"A", "B", "C"}) AppendStep(t, c);
  EXPECT_EQ(DeleteStep(t, 2), 1) << "the last of three: the new last step";
  EXPECT_EQ(t.count, 2);
  AppendStep(t, "C");
  EXPECT_EQ(DeleteStep(t, 0), 0);
  EXPECT_EQ(t.steps[0].Command, "B");
  EXPECT_EQ(t.steps[1].Command, "C");
  EXPECT_EQ(t.steps[2], TTmpOneMacroComand{}) << "the freed slot is empty";
  EXPECT_EQ(DeleteStep(t, 5), -1);
  EXPECT_EQ(DeleteStep(t, -1), -1);
  EXPECT_EQ(t.count, 2);
  EXPECT_EQ(DeleteStep(t, 1), 0);
  EXPECT_EQ(DeleteStep(t, 0), -1) << "no step left";
  EXPECT_EQ(t.count, 0);
}

TEST(MacroStepEdits, SwapOnlyExistingSteps) {
  MacroTable t;
  AppendStep(t, "A");
  AppendStep(t, "B");
  EXPECT_TRUE(SwapSteps(t, 0, 1));
  EXPECT_EQ(t.steps[0].Command, "B");
  EXPECT_FALSE(SwapSteps(t, 1, 2));
  EXPECT_FALSE(SwapSteps(t, -1, 0));
  EXPECT_EQ(t.steps[1].Command, "A");
}

TEST(MacroStepEdits, FollowingCommandGoesTheUsualOrder) {
  const std::pair<const char*, const char*> cases[] = {
      {"GetStart", "FindUrlNews"},      {"FindUrlNews", "EditUrlNews"},   {"EditUrlNews", "GetNews"},
      {"GetNews", "EditHTMLNews"},      {"EditHTMLNews", "FindNameNews"}, {"FindNameNews", "FindAttachment"},
      {"FindAttachment", "SaveNews"},   {"SaveNews", "GotoMacro"},        {"GotoMacro", "GetStart"},
      {"GetNextIndex", "FindUrlNews"},  {"EditIndexHTML", "FindUrlNews"}, {"", "GetStart"},
      {"Custom", "GetStart"},
  };
  for (const auto& [before, after] : cases) EXPECT_EQ(FollowingCommand(before), after) << before;
}

// A macro with one jumping step of every kind; each edit must keep every jump on its step.
TEST(MacroStepEdits, JumpsFollowTheirStepsThroughInsertMoveAndDelete) {
  // Steps 0..5; the jumps: GetStart P3 -> 5, FindUrlNews P2 -> 6 (the end), GetNews P4 -> 1,
  // GetNextIndex P4 -> 999 (beyond: left), GotoMacro P1 -> 1, SaveNews never jumps.
  auto make = [] {
    MacroTable t;
    for (const TTmpOneMacroComand& s :
         {Step("GetStart", "http://h/", "", "5"), Step("FindUrlNews", ".html", "6"), Step("GetNews", "", "", "", "1"),
          Step("GetNextIndex", "next", "5", "", "999"), Step("GotoMacro", "1", "StandartParameter=0"),
          Step("SaveNews", "3", "3", "3", "3")})
      t.steps[t.count++] = s;
    return t;
  };
  auto jumps = [](const MacroTable& t) {
    std::vector<std::string> out;
    for (std::int32_t k = 0; k < t.count; ++k) {
      const TTmpOneMacroComand& s = t.steps[k];
      const std::string* p[] = {&s.P1, &s.P2, &s.P3, &s.P4};
      const int n = JumpParameter(s.Command);
      out.push_back(s.Command.substr(0, 4) + ":" + (n ? *p[n - 1] : s.P1));
    }
    return out;
  };
  struct Case {
    const char* edit;
    std::function<void(MacroTable&, std::vector<LostJump>&)> run;
    std::vector<std::string> expected;
    std::vector<LostJump> lost;
  };
  const std::vector<Case> cases = {
      {"insert at 1", [](MacroTable& t, auto&) { EXPECT_EQ(InsertStep(t, 1, Step("EditUrlNews")), 1); },
       {"GetS:6", "Edit:", "Find:7", "GetN:2", "GetN:999", "Goto:2", "Save:3"}, {}},
      {"insert at the end", [](MacroTable& t, auto&) { EXPECT_EQ(InsertStep(t, 6, Step("GotoMacro", "4")), 6); },
       {"GetS:5", "Find:7", "GetN:1", "GetN:999", "Goto:1", "Save:3", "Goto:4"}, {}},
      {"a copy of step 4 after it",
       [](MacroTable& t, auto&) { EXPECT_EQ(InsertStep(t, 5, TTmpOneMacroComand(t.steps[4])), 5); },
       {"GetS:6", "Find:7", "GetN:1", "GetN:999", "Goto:1", "Goto:1", "Save:3"}, {}},
      {"swap 1 and 2", [](MacroTable& t, auto&) { EXPECT_TRUE(SwapSteps(t, 1, 2)); },
       {"GetS:5", "GetN:2", "Find:6", "GetN:999", "Goto:2", "Save:3"}, {}},
      {"delete 0", [](MacroTable& t, auto& lost) { EXPECT_EQ(DeleteStep(t, 0, &lost), 0); },
       {"Find:5", "GetN:0", "GetN:999", "Goto:0", "Save:3"}, {}},
      {"delete 1, which two steps jump to",
       [](MacroTable& t, auto& lost) { EXPECT_EQ(DeleteStep(t, 1, &lost), 1); },
       {"GetS:4", "GetN:5", "GetN:999", "Goto:5", "Save:3"}, {{1, 1, 5}, {3, 1, 5}}},
      {"delete the last", [](MacroTable& t, auto& lost) { EXPECT_EQ(DeleteStep(t, 5, &lost), 4); },
       {"GetS:5", "Find:5", "GetN:1", "GetN:999", "Goto:1"}, {{0, 5, 5}}},
      {"no edit outside the table",
       [](MacroTable& t, auto& lost) {
         EXPECT_EQ(InsertStep(t, 7, Step("X")), -1);
         EXPECT_EQ(InsertStep(t, -1, Step("X")), -1);
         EXPECT_EQ(DeleteStep(t, 6, &lost), -1);
         EXPECT_FALSE(SwapSteps(t, 5, 6));
       },
       {"GetS:5", "Find:6", "GetN:1", "GetN:999", "Goto:1", "Save:3"}, {}},
  };
  for (const Case& c : cases) {
    MacroTable t = make();
    std::vector<LostJump> lost;
    c.run(t, lost);
    EXPECT_EQ(jumps(t), c.expected) << c.edit;
    EXPECT_EQ(lost, c.lost) << c.edit;
  }
  MacroTable full;
  full.count = kMacroSlots;
  EXPECT_EQ(InsertStep(full, 0, Step("X")), -1);
}

TEST(MacroEditHistory, UndoRedoMergedTypingAndTheLimit) {
  MacroTable t;
  AppendStep(t, "GetStart");
  MacroEditHistory h;
  h.Reset(t);
  EXPECT_FALSE(h.CanUndo());
  AppendStep(t, "SaveNews");
  h.Record(t, 0, 1);
  h.Record(t, 1, 1);  // nothing changed: not an edit
  for (const char* typed : {"h", "ht", "htt"}) {
    t.steps[0].P1 = typed;
    h.Record(t, 0, 0, "P1@0");
  }
  t.steps[1].P1 = "x";
  h.Record(t, 1, 1, "P1@1");  // another field: an edit of its own

  EXPECT_EQ(h.Undo(t), 1);
  EXPECT_EQ(t.steps[1].P1, "");
  EXPECT_EQ(h.Undo(t), 0) << "the typing is undone at once";
  EXPECT_EQ(t.steps[0].P1, "");
  EXPECT_EQ(t.count, 2);
  EXPECT_EQ(h.Undo(t), 0) << "the appended step goes, and the line it was added from is selected";
  EXPECT_EQ(t.count, 1);
  EXPECT_EQ(t.steps[1], TTmpOneMacroComand{}) << "the freed slot is empty";
  EXPECT_EQ(h.Undo(t), std::nullopt);
  EXPECT_EQ(h.Redo(t), 1);
  EXPECT_EQ(h.Redo(t), 0);
  EXPECT_EQ(t.steps[0].P1, "htt");
  t.steps[0].P1 = "http";  // same field again, but after a redo: its own edit
  h.Record(t, 0, 0, "P1@0");
  EXPECT_FALSE(h.CanRedo()) << "a new edit drops what could be redone";
  EXPECT_EQ(h.Undo(t), 0);
  EXPECT_EQ(t.steps[0].P1, "htt");

  h.Reset(t);
  for (std::size_t i = 0; i < MacroEditHistory::kMostEdits + 5; ++i) {
    t.steps[0].P2 = std::to_string(i);
    h.Record(t, 0, 0);
  }
  std::size_t undone = 0;
  while (h.Undo(t)) ++undone;
  EXPECT_EQ(undone, MacroEditHistory::kMostEdits);
  EXPECT_EQ(t.steps[0].P2, "4") << "the oldest edits are forgotten first";
}

}  // namespace
}  // namespace skimlet
