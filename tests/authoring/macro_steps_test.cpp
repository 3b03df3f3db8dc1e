// The macro editor's core: step lines, parameter fields per catalogue entry, step edits.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace skimlet
