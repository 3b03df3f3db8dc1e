// File-system helpers of the core. Paths are UTF-8 and absolute.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace skimlet {

// Errors are UTF-8 texts for people ("Cannot write /path: Permission denied").
bool ReadWholeFile(const std::string& path, std::string& out, std::string* error = nullptr);

// Writes `data` to a temporary file in the same directory, flushes it and renames it over
// `path`. On failure the old file (or nothing) stays and the temporary file is removed.
// `readOnly` clears the write bits of the new file (an unread news, a macro file).
// `durable` flushes the data to the disk before the rename; without it a power cut may
// lose the new file, but no reader ever sees a part of it.
// `mode` is the new file's permission (the umask applies): 0600 for private files.
bool WriteFileAtomic(const std::string& path, std::string_view data, std::string* error = nullptr,
                     bool readOnly = false, bool durable = true, unsigned mode = 0644);

// Appends `data` with one write() on a file opened O_APPEND, creating it if needed, so
// concurrent appends of whole lines never interleave.
bool AppendToFile(const std::string& path, std::string_view data, std::string* error = nullptr);

bool FileExists(const std::string& path);   // any non-directory entry
bool DirExists(const std::string& path);
bool MakeDirs(const std::string& path, std::string* error = nullptr);  // with every parent

// A news file is unread while all its write bits are cleared.
bool IsFileReadOnly(const std::string& path);
bool SetFileReadOnly(const std::string& path, bool readOnly);  // false restores the owner's write bit
// Renames `from` to `to` only while nothing is called `to` (rename(2) would replace it):
// renameat2 with RENAME_NOREPLACE, else link and unlink. 0, or the errno (EEXIST: taken).
int RenameNoReplace(const std::string& from, const std::string& to);

// The attribute word of a folder, kept in a hidden file inside it (never the directory's
// permissions, so a checked folder still receives news). No file = no attributes.
inline constexpr std::uint32_t kAttrReadOnly = 0x01;  // checked for download
inline constexpr std::uint32_t kAttrArchive = 0x20;   // holds no unread news
inline constexpr const char* kFolderAttributeFile = ".skimlet-attributes";
std::uint32_t ReadFolderAttributes(const std::string& dir);
bool WriteFolderAttributes(const std::string& dir, std::uint32_t attributes);

// Joins a directory (with or without trailing '/') and a name.
std::string JoinPath(std::string_view dir, std::string_view name);

}  // namespace skimlet
