#include "store/NewsMarks.h"

#include <cerrno>
#include <map>
#include <set>
#include <system_error>

#include "page/Discovery.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "store/ChannelFolders.h"

namespace skimlet {

namespace {

constexpr std::size_t kMaxFileNameBytes = 255;

std::string Trimmed(const std::string& s) {
  const char* blanks = " \t\r\n\v\f";
  std::size_t first = s.find_first_not_of(blanks);
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

std::string Extension(const std::string& path) {
  if (path.ends_with(".html")) return ".html";
  if (path.ends_with(".htm")) return ".htm";
  return {};
}

std::string RenameFailure(int err) {
  return W("Не удалось переименовать файл: ") + Utf8ToWin1251(std::generic_category().message(err));
}

// Renames unless the target is taken; the result says which path the news has now.
NewsRenameResult MoveNews(const std::string& from, const std::string& to) {
  int err = RenameNoReplace(from, to);
  if (err == 0) return {to, {}};
  return {from, err == EEXIST ? NewsNameTakenText() : RenameFailure(err)};
}

}  // namespace

std::string NewsNameTakenText() { return W("Новость с таким именем уже есть в этой папке."); }

std::string NewsNameProblem(const std::string& name, std::string_view extension) {
  if (name.empty()) return W("Имя новости не может быть пустым.");
  if (name.find('/') != std::string::npos) return W("Имя новости не может содержать знак \"/\".");
  for (unsigned char c : name)
    if (c < 0x20 || c == 0x7f) return W("Имя новости не может содержать управляющие знаки.");
  if (name[0] == '.') return W("Имя новости не может начинаться с точки.");
  if (name.size() + extension.size() > kMaxFileNameBytes)
    return W("Имя файла новости не может быть длиннее 255 байт.");
  // Names are Windows-1251 texts everywhere else in the program.
  if (Win1251ToUtf8(Utf8ToWin1251(name)) != name)
    return W("В имени есть знаки, которых нет в кодировке Windows-1251.");
  return {};
}

NewsRenameResult RenameNewsFile(const std::string& path, const std::string& typedUtf8) {
  std::string name = Trimmed(typedUtf8);
  std::string extension = Extension(path);
  if (std::string problem = NewsNameProblem(name, extension); !problem.empty()) return {path, problem};
  std::string folder = path.substr(0, path.rfind('/') + 1);
  std::string target = folder + name + extension;
  if (target == path) return {path, {}};
  // Two news of one name would make the favourite mark of one replace the other.
  for (const char* other : {".html", ".htm"}) {
    std::string twin = folder + name + other;
    if (twin != path && FileExists(twin)) return {path, NewsNameTakenText()};
  }
  return MoveNews(path, target);
}

NewsRenameResult SetNewsFavourite(const std::string& path, bool favourite) {
  std::string extension = Extension(path);
  if (extension.empty() || (extension == ".htm") == favourite) return {path, {}};
  std::string base = path.substr(0, path.size() - extension.size());
  // The mode bits go with the file, so an unread news stays unread.
  return MoveNews(path, base + (favourite ? ".htm" : ".html"));
}

bool HistoryLineHoldsUrl(std::string_view line, std::string_view url) {
  std::string needle = "NewsURL=";
  needle.append(url);
  needle += "  ";
  return line.find(needle) != std::string_view::npos;
}

}  // namespace skimlet

namespace skimlet {

namespace {

// The local names of the block SaveNews wrote at the head of a news file.
std::vector<std::string> ListedAttachments(const std::string& newsPath, const std::string& attachmentDir) {
  constexpr std::size_t kFirstBytes = 16 * 1024, kMaxBlockBytes = 4 * 1024 * 1024;
  std::vector<std::string> names;
  std::string text;
  if (!ReadFileHead(newsPath, kDataEnd, kFirstBytes, text)) return names;
  if (text.find(kDataEnd) == std::string::npos) {
    if (text.find("SkimletAttLocal:") == std::string::npos) return names;
    if (!ReadFileHead(newsPath, kDataEnd, kMaxBlockBytes, text)) return names;
  }
  for (const AttachmentPair& pair : ReadAttachmentPairs(NewsFileAttachmentBlock(text, attachmentDir)))
    names.push_back(pair.localName);
  return names;
}

}  // namespace

std::vector<std::string> AttachmentsOnlyTheyList(const std::vector<std::string>& newsPaths) {
  // Folder by folder: what the going news list, less what any staying news lists.
  std::map<std::string, std::set<std::string>> going;  // folder -> file names of the going news
  for (const std::string& path : newsPaths) {
    std::size_t slash = path.rfind('/');
    if (slash != std::string::npos) going[path.substr(0, slash + 1)].insert(path.substr(slash + 1));
  }
  std::vector<std::string> out;
  for (const auto& [folder, names] : going) {
    const std::string attachmentDir = folder + "Attachment/";
    std::set<std::string> candidates;
    for (const std::string& name : names)
      for (std::string& local : ListedAttachments(folder + name, attachmentDir)) candidates.insert(std::move(local));
    if (candidates.empty()) continue;
    for (const std::string& other : ListNewsFiles(folder)) {
      if (names.count(other)) continue;
      for (const std::string& local : ListedAttachments(folder + other, attachmentDir)) candidates.erase(local);
      if (candidates.empty()) break;
    }
    for (const std::string& local : candidates)
      if (IsLocalAttachmentName(local) && FileExists(attachmentDir + local)) out.push_back(attachmentDir + local);
  }
  return out;
}

}  // namespace skimlet
