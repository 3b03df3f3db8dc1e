// The macro checker: what in a folder's macro file makes a run go wrong, found before the run
// does. skimlet-cli check prints the findings; the macro editor can show the same.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "authoring/Auto.h"

namespace skimlet {

struct MacroFinding {
  enum class Kind {
    kStepCount,         // the count line, or the lines it announces, do not fit the file
    kActiveLine,        // a record's ON/OFF line holds something else
    kShiftedRecords,    // ... because a stray or missing line shifts every later step
    kUnknownCommand,    // a name the run does not know (it passes over the step)
    kEmptyCommand,      // an empty command ends the folder before its last step
    kJumpTarget,        // a jump to a step that does not exist, or to no number at all
    kEndlessLinkLoop,   // FindUrlNews goes back into its loop when no new link is left, and
                        // no GetStart or GetNextIndex on the way loads a new IndexHTML
    kLoopWithoutLinks,  // a loop where nothing takes a new link or loads a new IndexHTML
  };
  Kind kind;
  int line = 0;   // the line of the file (from 1) where it shows; 0: the file as a whole
  int step = -1;  // the step (from 0) it concerns; -1: none
  std::string message;  // UTF-8, for people; says what the run will do
};

// The command names a macro can use: the procedure names of the catalogue.
std::vector<std::string> KnownCommands(const CommandCatalogue& catalogue);

// Checks the text of a macro file (Windows-1251). Findings come in the order of the file.
std::vector<MacroFinding> CheckMacroText(std::string_view text, const std::vector<std::string>& knownCommands);

// Of `candidates`, the one nearest to `name` by edit distance, letter case aside.
std::string NearestName(std::string_view name, const std::vector<std::string>& candidates);

}  // namespace skimlet
