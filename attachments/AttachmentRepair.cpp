#include "attachments/AttachmentRepair.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string_view>

#include "attachments/DownLoadAttachment.h"
#include "page/Discovery.h"
#include "platform/Files.h"
#include "store/NewsFolder.h"

namespace skimlet {

namespace {

// Most attachment blocks end within the first bytes of a news file; a news without one is
// known by then too. A long block is read on up to the larger bound.
constexpr std::size_t kFirstReadBytes = 16 * 1024;
constexpr std::size_t kMaxBlockBytes = 4 * 1024 * 1024;

bool Before(const timespec& a, const timespec& b) {
  return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

}  // namespace

int RemoveStaleTempFiles(const std::string& attachmentDir, const timespec& before) {
  DIR* dir = ::opendir(attachmentDir.c_str());
  if (!dir) return 0;
  const std::string_view suffix = kTempSuffix;
  int removed = 0;
  while (dirent* entry = ::readdir(dir)) {
    std::string_view name = entry->d_name;
    if (name.size() <= suffix.size() || name.substr(name.size() - suffix.size()) != suffix) continue;
    std::string path = JoinPath(attachmentDir, name);
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && Before(st.st_mtim, before) &&
        ::unlink(path.c_str()) == 0)
      ++removed;
  }
  ::closedir(dir);
  return removed;
}

int RequeueMissingAttachments(AttachmentQueue& queue, const std::string& folderPath, std::size_t newest) {
  if (!queue.FlagDownloadPictures()) return 0;
  const std::string attachmentDir = JoinPath(folderPath, "Attachment/");
  int missing = 0;
  for (const std::string& path : NewestNewsFiles(folderPath, newest)) {
    std::string text;
    if (!ReadFileHead(path, kDataEnd, kFirstReadBytes, text)) continue;
    if (text.find(kDataEnd) == std::string::npos) {
      if (text.find("SkimletAttLocal:") == std::string::npos) continue;
      if (!ReadFileHead(path, kDataEnd, kMaxBlockBytes, text)) continue;
    }
    // Only the block SaveNews wrote counts, never one the page carried.
    const std::string block = NewsFileAttachmentBlock(text, attachmentDir);
    int absent = 0;
    for (const AttachmentPair& pair : ReadAttachmentPairs(block))
      if (!FileExists(attachmentDir + pair.localName)) ++absent;
    if (absent == 0) continue;
    missing += absent;
    queue.EnqueueAttachments(block, attachmentDir, /*force=*/false);
  }
  return missing;
}

}  // namespace skimlet
