// Where Skimlet keeps its data and finds its resources.
#pragma once

#include <string>

namespace skimlet {

// The data directory: `homeOption` when not empty, else $SKIMLET_HOME, else
// $XDG_DATA_HOME/Skimlet (~/.local/share/Skimlet). Absolute, ending in '/'.
std::string ResolveDataDir(const std::string& homeOption);

// Where Actions/ and Help/ come from: the data directory when it has Actions/, else the
// build tree's resources/, else <prefix>/share/skimlet. Ends in '/'.
std::string ResourceDir(const std::string& dataDir);

}  // namespace skimlet
