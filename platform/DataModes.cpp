#include "platform/DataModes.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Files.h"

namespace skimlet {

namespace {

constexpr const char* kDataDirEntries[] = {"Accounts", "history", "Configure Channells", "cache",
                                          "feeds", "cookies.txt", "IndexHTML.txt"};

long PrivateBelow(int fd, int depth);

// One entry of the folder open at `fd`, and what is below it.
long PrivateEntry(int fd, const char* name, const struct stat& st, int depth) {
  const bool folder = S_ISDIR(st.st_mode);
  if (!folder && !S_ISREG(st.st_mode)) return 0;  // links, sockets and the like stay
  const mode_t mode = st.st_mode & 07777;
  const mode_t wanted = folder ? (mode & ~077) | 0700 : mode & ~077;
  long changed = wanted != mode && ::fchmodat(fd, name, wanted, 0) == 0 ? 1 : 0;
  if (folder && depth < 64) {
    int sub = ::openat(fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (sub >= 0) changed += PrivateBelow(sub, depth + 1);
  }
  return changed;
}

// The entries below the folder open at `fd`, depth first; `fd` is closed here.
long PrivateBelow(int fd, int depth) {
  DIR* dir = ::fdopendir(fd);
  if (!dir) {
    ::close(fd);
    return 0;
  }
  long changed = 0;
  while (dirent* e = ::readdir(dir)) {
    const char* name = e->d_name;
    if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
    struct stat st {};
    if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0) changed += PrivateEntry(fd, name, st, depth);
  }
  ::closedir(dir);  // closes fd
  return changed;
}

}  // namespace

long MakeDataDirPrivate(const std::string& dataDir) {
  const std::string marker = dataDir + kPrivateModesMarker;
  if (!DirExists(dataDir) || FileExists(marker)) return -1;
  int fd = ::open(dataDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -1;
  // Only what the program keeps there: a --home pointed at a folder of other things
  // changes nothing else.
  long changed = 0;
  for (const char* name : kDataDirEntries) {
    struct stat st {};
    if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    changed += PrivateEntry(fd, name, st, 0);
  }
  ::close(fd);
  WriteFileAtomic(marker, "The files of this folder were made private.\n", nullptr, false, false);
  return changed;
}

}  // namespace skimlet
