#include "authoring/MacroSteps.h"

#include <algorithm>
#include <utility>

#include "engine/Tools.h"

namespace skimlet {

std::string StepLineText(std::int32_t index, const TTmpOneMacroComand& step) {
  std::string line = index >= 0 && index < 10 ? "0" + std::to_string(index) : std::to_string(index);
  line += " - " + step.Command + ":  ";
  for (const std::string* p : {&step.P1, &step.P2, &step.P3, &step.P4}) line += *p + "   ";
  ReplaceAllText(line, kStandardParameter, "N:");
  return line;
}

ParameterFieldSetup SetupParameterField(int n, const TAutoAction& entry) {
  ParameterFieldSetup field;
  if (n < 1 || n > kParameters) return field;
  const int i = n - 1;
  field.variants = VariantList(entry, n);
  field.dropDown = !field.variants.empty() && (n != 1 || entry.P[0] == entry.PVar[0][0]);
  field.visible = entry.PEnable[i];
  field.text = entry.P[i];
  field.label = entry.PLabel[i];
  return field;
}

std::int32_t AppendStep(MacroTable& table, const std::string& command) {
  if (table.count < 0 || table.count >= kMacroSlots) return -1;
  TTmpOneMacroComand& step = table.steps[table.count];
  step = TTmpOneMacroComand{};
  step.Command = command;
  step.Active = true;
  return table.count++;
}

std::int32_t DeleteStep(MacroTable& table, std::int32_t s) {
  if (s < 0 || s >= table.count || table.count > kMacroSlots) return -1;
  std::move(table.steps.begin() + s + 1, table.steps.begin() + table.count, table.steps.begin() + s);
  --table.count;
  table.steps[table.count] = TTmpOneMacroComand{};
  return table.count == 0 ? -1 : std::min(s, table.count - 1);
}

bool SwapSteps(MacroTable& table, std::int32_t a, std::int32_t b) {
  const std::int32_t n = std::min(table.count, kMacroSlots);
  if (a < 0 || b < 0 || a >= n || b >= n) return false;
  std::swap(table.steps[a], table.steps[b]);
  return true;
}

}  // namespace skimlet
