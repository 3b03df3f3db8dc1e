// Repairing a saved news whose text came in the other Cyrillic encoding: its file's bytes
// from KOI8-R to Windows-1251 or back, by the fixed tables of platform/Text.h.
#pragma once

#include <string>

namespace skimlet {

enum class Recoding { kKoiToWin, kWinToKoi };

// Rewrites the news file through a temporary file and a rename, keeping its permissions
// (so its read mark): an error while reading or writing leaves the file exactly as it was
// and fills `error` (UTF-8).
bool RecodeNewsFile(const std::string& path, Recoding direction, std::string* error = nullptr);

}  // namespace skimlet
