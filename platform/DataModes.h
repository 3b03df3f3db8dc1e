// Files written before the data directory became private keep the modes they were made
// with; they are brought to the owner alone once per data directory.
#pragma once

#include <string>

namespace skimlet {

// The dot-file that records that the data directory's modes were put right.
inline constexpr const char* kPrivateModesMarker = ".skimlet-private";

// Once per data directory (ends in '/'; nothing happens when it does not exist): takes the
// group's and others' bits off every file and folder the program keeps in it (Accounts/,
// history/, the cache, the feeds, the cookie jar ...), keeping the owner's (a news's
// cleared write bit is its unread mark), folders 0700; symbolic links are left alone. Writes
// the marker when done. Returns how many entries were changed, -1 when the marker was there.
long MakeDataDirPrivate(const std::string& dataDir);

}  // namespace skimlet
