#include "library/NewsSearch.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <functional>
#include <iterator>

#include "library/NewsListing.h"
#include "platform/Text.h"
#include "store/ChannelFolders.h"

namespace skimlet {

namespace {

// Upper case by one table lookup: the search runs this over every byte of every news.
const std::array<char, 256>& UpperTable() {
  static const std::array<char, 256> table = [] {
    std::array<char, 256> t{};
    for (int c = 0; c < 256; ++c) t[c] = static_cast<char>(UpperWin1251(static_cast<unsigned char>(c)));
    // Ё is Е to a reader, both ways.
    t[0xA8] = t[0xB8] = static_cast<char>(0xC5);
    return t;
  }();
  return table;
}

char Upper(char c) { return UpperTable()[static_cast<unsigned char>(c)]; }

// Letters and digits of Windows-1251 (Cyrillic of every alphabet it holds included): a word
// matches only where none of them stands before it.
const std::array<bool, 256>& WordCharTable() {
  static const std::array<bool, 256> table = [] {
    std::array<bool, 256> t{};
    for (int c = '0'; c <= '9'; ++c) t[c] = true;
    for (int c = 'A'; c <= 'Z'; ++c) t[c] = t[c + 32] = true;
    for (int c = 0xC0; c <= 0xFF; ++c) t[c] = true;
    for (int c : {0x80, 0x81, 0x83, 0x8A, 0x8C, 0x8D, 0x8E, 0x8F, 0x90, 0x9A, 0x9C, 0x9D, 0x9E, 0x9F, 0xA1, 0xA2,
                  0xA3, 0xA5, 0xA8, 0xAA, 0xAF, 0xB2, 0xB3, 0xB4, 0xB8, 0xBA, 0xBC, 0xBD, 0xBE, 0xBF})
      t[c] = true;
    return t;
  }();
  return table;
}

bool StartsWithNoCase(std::string_view s, std::size_t at, std::string_view lowerWord) {
  if (s.size() - at < lowerWord.size()) return false;
  for (std::size_t k = 0; k < lowerWord.size(); ++k) {
    char c = s[at + k];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lowerWord[k]) return false;
  }
  return true;
}

// Position after the end of the element whose start tag begins at `at` ("<script", "<style"):
// its closing tag is looked for without regard to case.
std::size_t SkipElement(std::string_view html, std::size_t at, std::string_view closing) {
  for (std::size_t p = html.find("</", at); p != std::string_view::npos; p = html.find("</", p + 2)) {
    if (StartsWithNoCase(html, p + 2, closing)) {
      std::size_t end = html.find('>', p);
      return end == std::string_view::npos ? html.size() : end + 1;
    }
  }
  return html.size();
}

bool EndsTagName(std::string_view html, std::size_t at) {
  return at >= html.size() || html[at] == '>' || html[at] == '/' || static_cast<unsigned char>(html[at]) <= ' ';
}

// The character a reference stands for, or 0 when it is not one of those decoded.
std::string DecodeReference(std::string_view ref) {
  static const struct {
    std::string_view name;
    char c;
  } kNamed[] = {{"nbsp", ' '}, {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
  for (const auto& n : kNamed)
    if (ref == n.name) return std::string(1, n.c);
  if (ref.size() < 2 || ref[0] != '#') return {};
  unsigned long code = 0;
  bool hex = ref[1] == 'x' || ref[1] == 'X';
  for (char c : ref.substr(hex ? 2 : 1)) {
    int digit = (c >= '0' && c <= '9') ? c - '0'
                : hex && (c | 0x20) >= 'a' && (c | 0x20) <= 'f' ? (c | 0x20) - 'a' + 10
                                                                : -1;
    if (digit < 0 || code > 0x10ffff) return {};
    code = code * (hex ? 16 : 10) + static_cast<unsigned long>(digit);
  }
  if (code == 0 || code > 0x10ffff || (code >= 0xd800 && code < 0xe000)) return {};
  std::string utf8;
  if (code < 0x80) {
    utf8 += static_cast<char>(code);
  } else if (code < 0x800) {
    utf8 += static_cast<char>(0xc0 | (code >> 6));
    utf8 += static_cast<char>(0x80 | (code & 0x3f));
  } else if (code < 0x10000) {
    utf8 += static_cast<char>(0xe0 | (code >> 12));
    utf8 += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
    utf8 += static_cast<char>(0x80 | (code & 0x3f));
  } else {
    utf8 += static_cast<char>(0xf0 | (code >> 18));
    utf8 += static_cast<char>(0x80 | ((code >> 12) & 0x3f));
    utf8 += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
    utf8 += static_cast<char>(0x80 | (code & 0x3f));
  }
  return Utf8ToWin1251(utf8, ' ');
}

bool ReadFileAt(int dirFd, const char* name, std::string& out) {
  int fd = ::openat(dirFd, name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  out.clear();
  if (ok) {
    out.resize(static_cast<std::size_t>(st.st_size));
    std::size_t got = 0;
    while (got < out.size()) {
      ssize_t n = ::read(fd, out.data() + got, out.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    out.resize(got);
  }
  ::close(fd);
  return ok;
}

}  // namespace

std::vector<std::string> SearchWords(std::string_view typed) {
  std::vector<std::string> words;
  std::size_t pos = 0;
  while (pos < typed.size()) {
    while (pos < typed.size() && static_cast<unsigned char>(typed[pos]) <= ' ') ++pos;
    std::size_t end = pos;
    while (end < typed.size() && static_cast<unsigned char>(typed[end]) > ' ') ++end;
    if (end > pos) {
      std::string word(typed.substr(pos, end - pos));
      for (char& c : word) c = Upper(c);
      words.push_back(std::move(word));
    }
    pos = end;
  }
  return words;
}

void AppendPlainUpperText(std::string_view html, std::string& out) {
  out.reserve(out.size() + html.size());
  const std::array<char, 256>& upper = UpperTable();
  std::size_t i = 0;
  while (i < html.size()) {
    // A run of plain text in one go.
    std::size_t end = i;
    while (end < html.size() && html[end] != '<' && html[end] != '&') ++end;
    if (end > i) {
      std::size_t at = out.size();
      out.resize(at + (end - i));
      char* to = out.data() + at;
      for (std::size_t k = i; k < end; ++k) *to++ = upper[static_cast<unsigned char>(html[k])];
      i = end;
      continue;
    }
    char c = html[i];
    if (c == '<' && i + 1 < html.size()) {
      char next = html[i + 1];
      std::size_t end;
      if (html.compare(i, 4, "<!--") == 0) {
        end = html.find("-->", i + 4);
        end = end == std::string_view::npos ? html.size() : end + 3;
      } else if (StartsWithNoCase(html, i + 1, "script") && EndsTagName(html, i + 7)) {
        end = SkipElement(html, i, "script");
      } else if (StartsWithNoCase(html, i + 1, "style") && EndsTagName(html, i + 6)) {
        end = SkipElement(html, i, "style");
      } else if (std::isalpha(static_cast<unsigned char>(next)) || next == '/' || next == '!' || next == '?') {
        end = html.find('>', i);
        end = end == std::string_view::npos ? html.size() : end + 1;
      } else {
        out += '<';
        ++i;
        continue;
      }
      out += ' ';
      i = end;
      continue;
    }
    if (c == '&') {
      std::size_t semi = html.find(';', i + 1);
      if (semi != std::string_view::npos && semi - i <= 10) {
        std::string decoded = DecodeReference(html.substr(i + 1, semi - i - 1));
        if (!decoded.empty()) {
          for (char d : decoded) out += Upper(d);
          i = semi + 1;
          continue;
        }
      }
    }
    out += Upper(c);
    ++i;
  }
}

bool HoldsAllWords(std::string_view upperText, const std::vector<std::string>& upperWords) {
  const std::array<bool, 256>& wordChar = WordCharTable();
  return std::all_of(upperWords.begin(), upperWords.end(), [&](const std::string& w) {
    if (w.empty()) return true;
    for (std::size_t at = upperText.find(w); at != std::string_view::npos; at = upperText.find(w, at + 1))
      if (at == 0 || !wordChar[static_cast<unsigned char>(upperText[at - 1])]) return true;
    return false;
  });
}

NewsSearch::NewsSearch(std::function<void()> wake) : wake_(std::move(wake)) {}

NewsSearch::~NewsSearch() { Cancel(); }

void NewsSearch::Cancel() {
  cancel_ = true;
  if (thread_.joinable()) thread_.join();
  running_ = false;
}

void NewsSearch::Start(const std::string& dir, const std::string& accountsDir, std::vector<std::string> upperWords) {
  Cancel();
  {
    std::lock_guard lock(mutex_);
    hits_.clear();
  }
  cancel_ = false;
  filesSeen_ = 0;
  running_ = true;
  thread_ = std::thread([this, dir, accountsDir, words = std::move(upperWords)]() mutable {
    Run(std::move(dir), std::move(accountsDir), std::move(words));
  });
}

void NewsSearch::TakeHits(std::vector<NewsHit>& out) {
  std::lock_guard lock(mutex_);
  std::move(hits_.begin(), hits_.end(), std::back_inserter(out));
  hits_.clear();
}

void NewsSearch::Found(NewsHit hit) {
  bool first;
  {
    std::lock_guard lock(mutex_);
    first = hits_.empty();
    hits_.push_back(std::move(hit));
  }
  if (first) wake_();
}

void NewsSearch::Run(std::string dir, std::string accountsDir, std::vector<std::string> words) {
  if (!dir.empty() && dir.back() != '/') dir += '/';
  if (!accountsDir.empty() && accountsDir.back() != '/') accountsDir += '/';
  std::vector<std::string> folders{dir};
  std::vector<std::string> below;
  std::string text, hay;
  while (!folders.empty() && !cancel_) {
    std::string folder = std::move(folders.back());
    folders.pop_back();
    DIR* d = opendir(folder.c_str());
    if (!d) continue;
    int fd = dirfd(d);
    std::string caption;
    if (folder.starts_with(accountsDir) && folder.size() > accountsDir.size())
      caption = CaptionFromDisk(std::string_view(folder).substr(accountsDir.size(), folder.size() - accountsDir.size() - 1));
    below.clear();
    while (const dirent* e = readdir(d)) {
      if (cancel_) break;
      const char* name = e->d_name;
      if (name[0] == '.') continue;
      unsigned char type = e->d_type;
      if (type == DT_UNKNOWN) {
        struct stat st {};
        if (fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_LNK;
      }
      if (type == DT_DIR) {
        if (std::strcmp(name, "Attachment") != 0) below.push_back(folder + name + "/");
        continue;
      }
      if (type != DT_REG || !IsNewsFileName(name)) continue;
      ++filesSeen_;
      if (!ReadFileAt(fd, name, text)) continue;
      NewsHit hit;
      hit.name = NewsNameOf(name);
      hay.clear();
      for (char c : hit.name) hay += Upper(c);
      hay += '\n';
      AppendPlainUpperText(text, hay);
      if (!HoldsAllWords(hay, words)) continue;
      hit.path = folder + name;
      hit.folder = caption;
      hit.modified = FileModified(hit.path);
      Found(std::move(hit));
    }
    closedir(d);
    // Folders below in name order, the first of them searched next.
    std::sort(below.begin(), below.end(), std::greater<>());
    folders.insert(folders.end(), below.begin(), below.end());
  }
  running_ = false;
  wake_();
}

}  // namespace skimlet
