#include "library/UnreadCounts.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include "store/ChannelFolders.h"

namespace skimlet {

FolderCount CountFolderNews(const std::string& folder) {
  FolderCount count;
  count.folder = folder;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return count;
  count.exists = true;
  const int fd = dirfd(dir);
  while (const dirent* e = readdir(dir)) {
    if (e->d_type == DT_DIR || !IsNewsFileName(e->d_name)) continue;
    struct stat st {};
    if (fstatat(fd, e->d_name, &st, 0) != 0 || S_ISDIR(st.st_mode)) continue;
    ++count.news;
    if ((st.st_mode & 0222) == 0) {
      ++count.unread;
      count.unreadFiles.emplace_back(e->d_name);
    }
  }
  closedir(dir);
  return count;
}

int MarkFoldersRead(const std::vector<std::string>& folders, std::vector<std::string>* marked) {
  int done = 0;
  for (const std::string& folder : folders) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) continue;
    const int fd = dirfd(dir);
    while (const dirent* e = readdir(dir)) {
      if (e->d_type == DT_DIR || !IsNewsFileName(e->d_name)) continue;
      struct stat st {};
      if (fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & 0222) != 0)
        continue;
      // As a single mark does: the owner may write again, the rest stays.
      if (fchmodat(fd, e->d_name, (st.st_mode & 07777) | S_IWUSR, 0) != 0) continue;
      ++done;
      if (marked) marked->push_back(folder + e->d_name);
    }
    closedir(dir);
  }
  return done;
}

UnreadCounter::UnreadCounter(Done done) : done_(std::move(done)), thread_([this] { Loop(); }) {}

UnreadCounter::~UnreadCounter() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void UnreadCounter::Count(const std::vector<std::string>& folders) {
  {
    std::lock_guard lock(mutex_);
    pending_.insert(folders.begin(), folders.end());
  }
  wake_.notify_all();
}

void UnreadCounter::Loop() {
  for (;;) {
    std::set<std::string> batch;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stop_ || !pending_.empty(); });
      if (stop_) return;
      batch.swap(pending_);
    }
    std::vector<FolderCount> counts;
    counts.reserve(batch.size());
    for (const std::string& folder : batch) {
      counts.push_back(CountFolderNews(folder));
      std::lock_guard lock(mutex_);
      if (stop_) return;
    }
    done_(std::move(counts));
  }
}

}  // namespace skimlet
