// File-system helpers of the core. Paths are UTF-8 and absolute. What they create is private
// to the user (files 0600, folders 0700): the data directory holds what the user reads and
// pages fetched with the user's cookies.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace skimlet {

// Errors are UTF-8 texts for people, in Russian with the system's reason in parentheses
// ("Не удалось записать файл /path (Permission denied)").
std::string FileErrorText(std::string_view what, const std::string& path, int err);
inline constexpr std::string_view kCannotRead = "Не удалось прочитать файл";
inline constexpr std::string_view kCannotWrite = "Не удалось записать файл";

bool ReadWholeFile(const std::string& path, std::string& out, std::string* error = nullptr);

// Writes `data` to a temporary file in the same directory, flushes it and renames it over
// `path`. On failure the old file (or nothing) stays and the temporary file is removed.
// `readOnly` clears the write bits of the new file (an unread news, a macro file).
// `durable` flushes the data to the disk before the rename; without it a power cut may
// lose the new file, but no reader ever sees a part of it.
// `mode` is the new file's permission (the umask applies); files meant for other people or
// programs (an exported channel, a desktop entry) pass 0644.
bool WriteFileAtomic(const std::string& path, std::string_view data, std::string* error = nullptr,
                     bool readOnly = false, bool durable = true, unsigned mode = 0600);

// Appends `data` with one write() on a file opened O_APPEND, creating it if needed, so
// concurrent appends of whole lines never interleave.
bool AppendToFile(const std::string& path, std::string_view data, std::string* error = nullptr);

// Reads the start of a file: until `marker` has been read, the end of the file, or
// `maxBytes`, whichever comes first (a little more may be read). False when it cannot be read.
bool ReadFileHead(const std::string& path, std::string_view marker, std::size_t maxBytes, std::string& out);

bool FileExists(const std::string& path);   // any non-directory entry
bool DirExists(const std::string& path);
// With every missing parent, each created with `mode` (the umask applies).
bool MakeDirs(const std::string& path, std::string* error = nullptr, unsigned mode = 0700);

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

// An flock() on a file, held until Unlock() or destruction. Other processes, and other
// FileLock objects of this process, see it; a forked child that keeps the descriptor keeps it.
class FileLock {
 public:
  enum class Result { kLocked, kBusy, kFailed };

  FileLock() = default;
  ~FileLock() { Unlock(); }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Opens `path` (a missing file is created 0600 when `create`) and locks it: exclusively or
  // shared, waiting for it or answering kBusy at once. A file replaced by a rename while we
  // waited is opened again, so the lock always holds the file that the path names now. The
  // descriptor is opened for appending when the file allows writing.
  Result Lock(const std::string& path, bool exclusive, bool wait, bool create, std::string* error = nullptr);
  void Unlock();
  bool Locked() const { return fd_ >= 0; }
  int Fd() const { return fd_; }

 private:
  int fd_ = -1;
};

// Reads a whole open file from its start (pread: the offset of the descriptor stays).
bool ReadWholeFd(int fd, std::string& out);
// Writes all of `data` to an open descriptor, continuing short writes. False sets errno.
bool WriteAllFd(int fd, std::string_view data);

// Joins a directory (with or without trailing '/') and a name.
std::string JoinPath(std::string_view dir, std::string_view name);

}  // namespace skimlet
