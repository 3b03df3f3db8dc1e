// Where Skimlet keeps its data and finds its resources.
#pragma once

#include <string>

namespace skimlet {

// The data directory: `homeOption` when not empty, else $SKIMLET_HOME, else
// $XDG_DATA_HOME/Skimlet (~/.local/share/Skimlet). Absolute, ending in '/'.
std::string ResolveDataDir(const std::string& homeOption);

// Where Actions/ and Help/ come from: the data directory when it has Actions/, else the
// copy installed with the program (`programDir`/../share/skimlet, wherever the package or
// "make install" put it), else the build tree's resources/, else <prefix>/share/skimlet.
// Ends in '/'.
std::string ResourceDir(const std::string& dataDir, const std::string& programDir);
std::string ResourceDir(const std::string& dataDir);  // from the running program's directory

// The directory of the running program file, ending in '/'; empty when unknown.
std::string ProgramDir();

}  // namespace skimlet
