// What the macro editor does to the selected folder's macro table apart from its widgets:
// the lines of the step list, how a parameter field is set up for a command, and the step
// edits. The table is FolderMacro's own; nothing here knows the file format.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "authoring/Auto.h"
#include "engine/MacroFile.h"

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

// Appends an active step running `command` with empty parameters. The new step's index, or
// -1 when the table already holds kMacroSlots steps.
std::int32_t AppendStep(MacroTable& table, const std::string& command);
// Removes step s; the steps behind it move up. The line to select afterwards: s, or the new
// last step; -1 when no step is left or s is no step.
std::int32_t DeleteStep(MacroTable& table, std::int32_t s);
// Exchanges two steps; false (nothing changed) when either index is no step.
bool SwapSteps(MacroTable& table, std::int32_t a, std::int32_t b);

}  // namespace skimlet
