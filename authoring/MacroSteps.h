// What the macro editor does to the selected folder's macro table apart from its widgets:
// the lines of the step list, how a parameter field is set up for a command, and the step
// edits. The table is FolderMacro's own; nothing here knows the file format.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "authoring/Auto.h"
#include "store/MacroFile.h"

namespace skimlet {

// The line of step `index` in the step list: the index with at least two digits, " - ", the
// command, ":  ", then each parameter followed by three blanks; "StandartParameter=" reads
// "N:" (Windows-1251).
std::string StepLineText(std::int32_t index, const TTmpOneMacroComand& step);

// How parameter field n (1..4) looks for a catalogue entry.
struct ParameterFieldSetup {
  std::vector<std::string> variants;  // the field's list: the entry's non-empty variants
  bool dropDown = false;              // an editable field with a drop-down list; else a plain field
  bool visible = false;
  std::string text;                   // the entry's default
  std::string label;
};
// A field with variants drops down, except P1, which does only when the entry's default is
// its first variant.
ParameterFieldSetup SetupParameterField(int n, const TAutoAction& entry);

// The parameter (1..4) in which `command` names the step it jumps to, as the run reads it;
// 0 for a command that never jumps.
int JumpParameter(std::string_view command);
// The command a step put after `previous` usually runs: the order of a folder that takes news
// from a list. An unknown or empty command is followed by GetStart.
std::string FollowingCommand(std::string_view previous);

// A step whose jump led to a step an edit removed: it now jumps to the end of the folder.
struct LostJump {
  std::int32_t step;    // the step that jumps, numbered as after the edit
  std::int32_t target;  // the removed step, numbered as before
  std::int32_t end;     // where it jumps now: one past the last step
  bool operator==(const LostJump&) const = default;
};

// The step edits. Each keeps every jump on the step it led to: a jump to step k follows
// step k to its new number, and a jump to just past the last step stays just past it. A jump
// to a deleted step becomes a jump to the end of the folder and is named in `lost`.

// Appends an active step running `command` with empty parameters. The new step's index, or
// -1 when the table already holds kMacroSlots steps.
std::int32_t AppendStep(MacroTable& table, const std::string& command);
// Puts `step` at index `at` (0..count); the steps from there on move down. `at`, or -1 when
// the table is full or `at` is no place for a step.
std::int32_t InsertStep(MacroTable& table, std::int32_t at, const TTmpOneMacroComand& step);
// Removes step s; the steps behind it move up. The line to select afterwards: s, or the new
// last step; -1 when no step is left or s is no step.
std::int32_t DeleteStep(MacroTable& table, std::int32_t s, std::vector<LostJump>* lost = nullptr);
// Exchanges two steps; false (nothing changed) when either index is no step.
bool SwapSteps(MacroTable& table, std::int32_t a, std::int32_t b);

// The edits of one folder's macro since it was loaded or saved, for undo and redo. It keeps
// whole tables (a macro is small) and the line selected before and after each edit.
class MacroEditHistory {
 public:
  struct State {
    std::vector<TTmpOneMacroComand> steps;
    int selectedBefore = -1;  // the line the edit was made from
    int selectedAfter = -1;   // the line it left selected
  };
  // Forgets every edit: `table` is the macro as loaded or saved.
  void Reset(const MacroTable& table);
  // The table after an edit. An edit with the same non-empty `mergeKey` as the edit just
  // recorded (typing on in one field) joins it. An edit that changed nothing is not kept.
  // Recording drops what could be redone.
  void Record(const MacroTable& table, int selectedBefore, int selectedAfter, const std::string& mergeKey = {});
  bool CanUndo() const { return at_ > 0; }
  bool CanRedo() const { return at_ + 1 < states_.size(); }
  // Puts the table back as before the last edit (after the next one for Redo); the line to
  // select, or nullopt (nothing changed) when there is nothing to undo (redo).
  std::optional<int> Undo(MacroTable& table);
  std::optional<int> Redo(MacroTable& table);

  static constexpr std::size_t kMostEdits = 1000;

 private:
  std::vector<State> states_;  // states_[0]: as loaded; states_[i]: after edit i
  std::size_t at_ = 0;         // the state the table is in
  std::string lastKey_;
};

}  // namespace skimlet
