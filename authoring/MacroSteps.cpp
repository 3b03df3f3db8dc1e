#include "authoring/MacroSteps.h"

#include <algorithm>
#include <utility>

#include "engine/DownLoad.h"
#include "page/Tools.h"

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

int JumpParameter(std::string_view command) {
  if (command == "GotoMacro") return 1;
  if (command == "FindUrlNews") return 2;
  if (command == "GetStart") return 3;
  if (command == "GetNews" || command == "GetNextIndex") return 4;
  return 0;
}

std::string FollowingCommand(std::string_view previous) {
  static constexpr std::string_view kOrder[] = {"GetStart",     "FindUrlNews",  "EditUrlNews",
                                                "GetNews",      "EditHTMLNews", "FindNameNews",
                                                "FindAttachment", "SaveNews",   "GotoMacro"};
  // The index page's other commands go on as GetStart does.
  if (previous == "GetNextIndex" || previous == "EditIndexHTML") return "FindUrlNews";
  for (std::size_t i = 0; i + 1 < std::size(kOrder); ++i)
    if (kOrder[i] == previous) return std::string(kOrder[i + 1]);
  return "GetStart";
}

namespace {

std::string* Parameter(TTmpOneMacroComand& step, int n) {
  std::string* p[] = {&step.P1, &step.P2, &step.P3, &step.P4};
  return n >= 1 && n <= kParameters ? p[n - 1] : nullptr;
}

// `to[k]`: the new number of old step k, -1 when it was deleted. The table is as after the edit.
void RenumberJumps(MacroTable& table, const std::vector<std::int32_t>& to, std::vector<LostJump>* lost) {
  const auto oldCount = static_cast<std::int32_t>(to.size());
  for (std::int32_t k = 0; k < table.count; ++k) {
    std::string* p = Parameter(table.steps[k], JumpParameter(table.steps[k].Command));
    std::int32_t target = 0;
    if (!p || !ParseStepNumber(*p, target) || target < 0 || target > oldCount) continue;
    std::int32_t now = target == oldCount ? table.count : to[target];
    if (now < 0) {
      now = table.count;
      if (lost) lost->push_back({k, target, now});
    }
    if (now != target) *p = std::to_string(now);
  }
}

}  // namespace

std::int32_t AppendStep(MacroTable& table, const std::string& command) {
  TTmpOneMacroComand step;
  step.Command = command;
  step.Active = true;
  return InsertStep(table, table.count, step);
}

std::int32_t InsertStep(MacroTable& table, std::int32_t at, const TTmpOneMacroComand& step) {
  if (table.count < 0 || table.count >= kMacroSlots || at < 0 || at > table.count) return -1;
  std::vector<std::int32_t> to(static_cast<std::size_t>(table.count));
  for (std::int32_t k = 0; k < table.count; ++k) to[k] = k < at ? k : k + 1;
  std::move_backward(table.steps.begin() + at, table.steps.begin() + table.count,
                     table.steps.begin() + table.count + 1);
  table.steps[at] = step;
  ++table.count;
  RenumberJumps(table, to, nullptr);
  return at;
}

std::int32_t DeleteStep(MacroTable& table, std::int32_t s, std::vector<LostJump>* lost) {
  if (s < 0 || s >= table.count || table.count > kMacroSlots) return -1;
  std::vector<std::int32_t> to(static_cast<std::size_t>(table.count));
  for (std::int32_t k = 0; k < table.count; ++k) to[k] = k < s ? k : k == s ? -1 : k - 1;
  std::move(table.steps.begin() + s + 1, table.steps.begin() + table.count, table.steps.begin() + s);
  --table.count;
  table.steps[table.count] = TTmpOneMacroComand{};
  RenumberJumps(table, to, lost);
  return table.count == 0 ? -1 : std::min(s, table.count - 1);
}

bool SwapSteps(MacroTable& table, std::int32_t a, std::int32_t b) {
  const std::int32_t n = std::min(table.count, kMacroSlots);
  if (a < 0 || b < 0 || a >= n || b >= n) return false;
  std::vector<std::int32_t> to(static_cast<std::size_t>(n));
  for (std::int32_t k = 0; k < n; ++k) to[k] = k == a ? b : k == b ? a : k;
  std::swap(table.steps[a], table.steps[b]);
  RenumberJumps(table, to, nullptr);
  return true;
}

namespace {

std::vector<TTmpOneMacroComand> Steps(const MacroTable& table) {
  const std::int32_t n = std::clamp(table.count, 0, kMacroSlots);
  return {table.steps.begin(), table.steps.begin() + n};
}

void PutBack(MacroTable& table, const std::vector<TTmpOneMacroComand>& steps) {
  std::copy(steps.begin(), steps.end(), table.steps.begin());
  const auto n = static_cast<std::int32_t>(steps.size());
  std::fill(table.steps.begin() + n, table.steps.begin() + std::max(n, std::clamp(table.count, 0, kMacroSlots)),
            TTmpOneMacroComand{});
  table.count = n;
}

}  // namespace

void MacroEditHistory::Reset(const MacroTable& table) {
  states_.assign(1, State{Steps(table), -1, -1});
  at_ = 0;
  lastKey_.clear();
}

void MacroEditHistory::Record(const MacroTable& table, int selectedBefore, int selectedAfter,
                              const std::string& mergeKey) {
  if (states_.empty()) states_.emplace_back();
  std::vector<TTmpOneMacroComand> steps = Steps(table);
  if (steps == states_[at_].steps) return;
  states_.resize(at_ + 1);
  if (!mergeKey.empty() && mergeKey == lastKey_ && at_ > 0) {
    states_[at_].steps = std::move(steps);
    states_[at_].selectedAfter = selectedAfter;
    return;
  }
  states_.push_back(State{std::move(steps), selectedBefore, selectedAfter});
  ++at_;
  lastKey_ = mergeKey;
  if (states_.size() > kMostEdits + 1) {
    states_.erase(states_.begin());
    --at_;
  }
}

std::optional<int> MacroEditHistory::Undo(MacroTable& table) {
  if (!CanUndo()) return std::nullopt;
  const int select = states_[at_].selectedBefore;
  PutBack(table, states_[--at_].steps);
  lastKey_.clear();
  return select;
}

std::optional<int> MacroEditHistory::Redo(MacroTable& table) {
  if (!CanRedo()) return std::nullopt;
  PutBack(table, states_[++at_].steps);
  lastKey_.clear();
  return states_[at_].selectedAfter;
}

}  // namespace skimlet
