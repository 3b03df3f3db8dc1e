#include "library/NewsListing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <limits>

#include "page/Discovery.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "store/ChannelFolders.h"

namespace skimlet {

namespace {

bool EndsWith(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

std::int64_t Nanoseconds(const struct timespec& t) {
  return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// The value of a header line "Key:value" when the line begins with `key` (which ends in ':').
bool HeaderValue(std::string_view line, std::string_view key, std::string& value) {
  if (line.substr(0, key.size()) != key) return false;
  value.assign(line.substr(key.size()));
  return true;
}

template <typename Fn>
void ForEachLine(std::string_view text, Fn&& fn) {
  std::size_t pos = 0;
  while (pos <= text.size()) {
    std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    fn(text.substr(pos, end - pos));
    if (end == text.size()) return;
    pos = end + 1;
    if (text[end] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
  }
}

}  // namespace

bool HasNewsExtension(std::string_view fileName) {
  return EndsWith(fileName, ".html") || EndsWith(fileName, ".htm");
}

bool IsFavouriteFileName(std::string_view fileName) { return EndsWith(fileName, ".htm"); }

std::string NewsNameOf(std::string_view fileName) {
  if (EndsWith(fileName, ".html")) fileName.remove_suffix(5);
  else if (EndsWith(fileName, ".htm")) fileName.remove_suffix(4);
  return CaptionFromDisk(fileName);
}

void SortNewsNewestFirst(std::vector<NewsFileEntry>& entries) {
  std::reverse(entries.begin(), entries.end());
  std::stable_sort(entries.begin(), entries.end(),
                   [](const NewsFileEntry& a, const NewsFileEntry& b) { return a.modified > b.modified; });
}

// A file that vanished, or became a directory, between the listing and its stat.
constexpr std::int64_t kNotStatted = std::numeric_limits<std::int64_t>::min();

NewsFolderListing ReadFolderNews(const std::string& dir, const std::atomic<bool>* cancel) {
  NewsFolderListing listing;
  listing.dir = dir;
  DIR* d = opendir(dir.c_str());
  if (!d) return listing;
  int fd = dirfd(d);
  auto cancelled = [cancel] { return cancel && cancel->load(std::memory_order_relaxed); };
  std::vector<NewsFileEntry>& entries = listing.entries;
  while (const dirent* e = readdir(d)) {
    if (IsNewsFileName(e->d_name)) entries.push_back({e->d_name, {}, false, false, kNotStatted});
    if ((entries.size() & 255) == 0 && cancelled()) break;
  }
  // Asking for every file's mode and time is most of the work: a large folder shares it
  // between two threads.
  auto stat = [&](std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to && !cancelled(); ++i) {
      struct stat st {};
      if (fstatat(fd, entries[i].fileName.c_str(), &st, 0) != 0 || S_ISDIR(st.st_mode)) continue;
      entries[i].unread = (st.st_mode & 0222) == 0;
      entries[i].modified = Nanoseconds(st.st_mtim);
    }
  };
  std::size_t half = entries.size() > 2000 ? entries.size() / 2 : entries.size();
  std::thread helper;
  if (half < entries.size()) helper = std::thread(stat, half, entries.size());
  stat(0, half);
  if (helper.joinable()) helper.join();
  closedir(d);
  if (cancelled()) {
    listing.complete = false;
    entries.clear();
    return listing;
  }
  std::erase_if(entries, [](const NewsFileEntry& e) { return e.modified == kNotStatted; });
  for (NewsFileEntry& e : entries) {
    e.name = NewsNameOf(e.fileName);
    e.favourite = IsFavouriteFileName(e.fileName);
    listing.anyUnread = listing.anyUnread || e.unread;
  }
  SortNewsNewestFirst(entries);
  return listing;
}

NewsFolderReader::NewsFolderReader(Done done) : done_(std::move(done)) {
  thread_ = std::thread([this] { Loop(); });
}

NewsFolderReader::~NewsFolderReader() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
    cancel_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

std::uint64_t NewsFolderReader::Read(const std::string& dir) {
  std::lock_guard lock(mutex_);
  pendingDir_ = dir;
  pending_ = true;
  cancel_ = true;  // the read under way, if any, is of no use any more
  wake_.notify_one();
  return ++ticket_;
}

void NewsFolderReader::Loop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return pending_ || stop_; });
    if (stop_) return;
    std::string dir = std::move(pendingDir_);
    std::uint64_t ticket = ticket_;
    pending_ = false;
    cancel_ = false;
    lock.unlock();
    NewsFolderListing listing = ReadFolderNews(dir, &cancel_);
    if (listing.complete) done_(ticket, std::move(listing));
    lock.lock();
  }
}

std::int64_t FileModified(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? Nanoseconds(st.st_mtim) : 0;
}

NewsInfo ReadNewsInfo(const std::string& path) {
  NewsInfo info;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return info;
  info.exists = true;
  info.date = ShortDate(st.st_mtim.tv_sec);
  info.time = LongTime(st.st_mtim.tv_sec);
  info.sizeBytes = static_cast<std::int64_t>(st.st_size);
  std::string text;
  if (!ReadWholeFile(path, text)) return info;
  // The header comment's lines count, a later one winning; nothing the page carries below it
  // can pose as the news's name or address.
  std::string value;
  bool inHeader = true;
  ForEachLine(text, [&](std::string_view line) {
    if (!inHeader) return;
    if (line == "-->") inHeader = false;
    else if (HeaderValue(line, "SkimletNAME:", value)) info.name = value;
    else if (HeaderValue(line, "SkimletURL:", value)) info.url = value;
    else if (HeaderValue(line, "SkimletDate:", value)) info.date = value;
    else if (HeaderValue(line, "SkimletTime:", value)) info.time = value;
  });
  // The attachments are those the picture queue would fetch: the block SaveNews wrote.
  std::string attachmentDir = path.substr(0, path.rfind('/') + 1) + "Attachment/";
  for (const AttachmentPair& pair : ReadAttachmentPairs(NewsFileAttachmentBlock(text, attachmentDir))) {
    ++info.attachments;
    if (FileExists(attachmentDir + pair.localName)) ++info.received;
    else ++info.missing;
  }
  return info;
}

std::string ReadNewsURL(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string line, value, found;
  bool inHeader = true;
  while (found.empty() && inHeader && std::getline(in, line)) {
    ForEachLine(line, [&](std::string_view part) {  // a lone CR ends a line too
      if (!inHeader || !found.empty()) return;
      if (part == "-->") inHeader = false;  // the page below cannot name an address
      else if (HeaderValue(part, "SkimletURL:", value) && !value.empty()) found = value;
    });
  }
  return found;
}

}  // namespace skimlet
