// SaveNews and the news file: a 7-line header comment, then the page.
#include <ctime>

#include "attachments/AttachmentRepair.h"
#include "engine/DownLoad.h"
#include "page/Discovery.h"
#include "platform/Charset.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "platform/Url.h"

namespace skimlet {

namespace {

constexpr std::size_t kMaxNameChars = 239;
constexpr std::size_t kMaxFileNameBytes = 255;
constexpr std::size_t kMinNewsBytes = 50;

std::string FileNameOf(const std::string& name, const std::string& suffix, const char* extension) {
  return DiskName(name + suffix) + extension;
}

bool NewsExists(const std::string& folder, const std::string& name, const std::string& suffix) {
  return FileExists(folder + FileNameOf(name, suffix, ".html")) || FileExists(folder + FileNameOf(name, suffix, ".htm"));
}

// Cuts `name` until its file name with `suffix` and ".html" fits the file system's limit.
void FitName(std::string& name, const std::string& suffix) {
  while (!name.empty() && FileNameOf(name, suffix, ".html").size() > kMaxFileNameBytes) name.pop_back();
}

// A caption in a header line: no control character.
std::string HeaderCaption(std::string caption) {
  for (char& c : caption)
    if (static_cast<unsigned char>(c) < 32) c = ' ';
  return caption;
}

}  // namespace

std::string NormalizeNewsBody(const std::string& html) {
  std::string out;
  out.reserve(html.size() + html.size() / 32);
  if (html.empty()) return out;
  out += html[0];
  bool inBreak = false;
  for (std::size_t i = 1; i < html.size(); ++i) {
    if (static_cast<unsigned char>(html[i]) < 32) {
      if (!inBreak) out += "\r\n";
      inBreak = true;
    } else {
      out += html[i];
      inBreak = false;
    }
  }
  return out;
}

std::string TDownload::BuildNewsFileName() {
  std::string name = buf_.NewsName;
  if (name.size() > kMaxNameChars) name.resize(kMaxNameChars);
  NodePtr channel = ChannelNode(), folder;
  {
    std::lock_guard lock(mutex_);
    folder = currentFolder_;
  }
  // A title of blanks only names nothing either.
  if (name.find_first_not_of(' ') == std::string::npos) name.clear();
  if (name.empty()) {
    std::time_t now = std::time(nullptr);
    name = tree_.Caption(channel) + " - " + tree_.Caption(folder) + " [" + ShortDate(now) + " - " + LongTime(now) +
           "] ";
  }
  for (char& c : name) {
    if (c == ':') c = '-';
    else if (c == '/' || c == '>' || c == '<') c = '.';
    else if (c == '?' || c == '*') c = ' ';
    else if (static_cast<unsigned char>(c) < 32) c = ' ';
  }
  // A leading dot would hide the file: dot-names are never news.
  for (char& c : name) {
    if (c != '.') break;
    c = '_';
  }
  FitName(name, "");
  const std::string& dir = currentFolderPath_;
  // A dry run's news are not on the disk, yet they take their names as a run's would.
  auto taken = [&](const std::string& suffix) {
    return NewsExists(dir, name, suffix) || (dryRun_ && dryRunFiles_.count(dir + FileNameOf(name, suffix, ".html")));
  };
  if (taken("")) {
    for (int n = 1;; ++n) {
      std::string suffix = " (" + std::to_string(n) + ")";
      FitName(name, suffix);
      if (!taken(suffix)) {
        name += suffix;
        break;
      }
    }
  }
  {
    std::lock_guard lock(mutex_);
    buf_.NewsName = name;
  }
  return dir + DiskName(name) + ".html";
}

void TDownload::RecordDownload(const std::string& line) {
  host_.AddHistoryLine(line);
  history_.Append(line);
  std::string error;
  if (!AppendHistoryLine(tree_.DataDir(), line, &error))
    AddRunLog(Prefix() + W(">> SaveNews. История не записана: ") + Utf8ToWin1251(error), kRed);
}

void TDownload::PrepareFolderForSaving() {
  if (newsIndex_.Folder() == currentFolderPath_) return;
  newsIndex_.Build(currentFolderPath_);
  if (!attachments_ || dryRun_) return;
  // What a crash left behind: half-fetched files and news whose pictures never came.
  int stale = RemoveStaleTempFiles(currentFolderPath_ + "Attachment/", runStart_);
  int missing = RequeueMissingAttachments(*attachments_, currentFolderPath_, kRepairNewestNews);
  if (stale > 0 || missing > 0)
    AddRunLog(Prefix() + W(">> SaveNews. Вложения прежних статей: удалено недокачанных файлов ") +
                  std::to_string(stale) + W(", поставлено в очередь заново ") + std::to_string(missing),
              kBlue);
}

void TDownload::SaveNews() {
  if (buf_.HTML.size() < kMinNewsBytes) {
    AddRunLog(Prefix() + W(">> SaveNews. Файл не создан. HTML меньше 50 байт. "), kRed);
    return;
  }
  PrepareFolderForSaving();
  const bool knownUrl = buf_.NewsURL.size() > 2;
  // An address the user took out of the history is saved anew, beside the old copy.
  const bool refetch = knownUrl && (refetch_.count(buf_.NewsURL) > 0 || refetch_.count(NewsAddress(buf_.NewsURL)) > 0);
  if (knownUrl && !refetch && !host_.Settings().notCheckHistory) {
    // Saved before, but its history line was lost (a crash, a full disk, a cleared history):
    // the line comes back instead of a second copy of the news.
    if (const std::string* saved = newsIndex_.Find(buf_.NewsURL)) {
      std::string name = *saved;
      {
        std::lock_guard lock(mutex_);
        buf_.NewsName = name;
      }
      if (dryRun_) {
        Record(DryRunEntry::Kind::kInHistory, buf_.NewsURL, name);
        history_.Append(MakeHistoryLine(std::time(nullptr), buf_.NewsURL, name));
        AddRunLog(Prefix() + W(">> SaveNews. Новость уже сохранена в папке: ") + name, kBlue);
        return;
      }
      RecordDownload(MakeHistoryLine(std::time(nullptr), buf_.NewsURL, name));
      AddRunLog(Prefix() + W(">> SaveNews. Новость уже сохранена в папке: ") + name +
                    W(". Запись в истории восстановлена"),
                kBlue);
      stepsWithoutProgress_ = 0;
      return;
    }
  }
  std::string path = BuildNewsFileName();
  std::string pathText = CaptionFromDisk(path);
  std::time_t now = std::time(nullptr);
  const std::string url = NewsAddress(buf_.NewsURL);
  if (dryRun_) {
    // Counted and remembered as a save would be, so the rest of the run goes as it would.
    AddRunLog(Prefix() + W(">> SaveNews. Был бы записан файл: ") + pathText, kGreen);
    Record(DryRunEntry::Kind::kWouldSave, url, buf_.NewsName);
    dryRunFiles_.insert(path);
    ++savedCount_;
    stepsWithoutProgress_ = 0;
    if (knownUrl) newsIndex_.Add(buf_.NewsURL, buf_.NewsName);
    if (url.size() > 2) history_.Append(MakeHistoryLine(now, url, buf_.NewsName));
    return;
  }
  if (!FileExists(path)) {
    std::string content = "<!-- The file created from Skimlet. See https://skimlet.example/\r\n";
    content += "SkimletNAME:" + buf_.NewsName + "\r\n";
    content += "SkimletURL:" + url + "\r\n";
    content += "SkimletNode:" + HeaderCaption(tree_.Caption(ChannelNode())) + "\r\n";
    content += "SkimletDate:" + ShortDate(now) + "\r\n";
    content += "SkimletTime:" + LongTime(now) + "\r\n";
    content += "-->\r\n";
    std::string body = buf_.HTML;
    GuardAttachmentBlock(body, attachmentHead_);
    if (htmlUndeclared_) {
      // The declaration goes into the page part, behind the attachment block.
      std::size_t split = body.find(kDataEndMarker);
      DeclareWindows1251(body, split == std::string::npos ? 0 : split + kDataEndMarker.size());
    }
    content += NormalizeNewsBody(body);
    std::string error;
    // Durable: the history line written next must never outlive an empty file after a power cut,
    // or the news would count as saved and never be fetched again.
    if (WriteFileAtomic(path, content, &error, /*readOnly=*/true, /*durable=*/true)) {
      AddRunLog(Prefix() + W(">> SaveNews. Записан файл: ") + pathText, kGreen);
      ++savedCount_;
      stepsWithoutProgress_ = 0;
      if (knownUrl) newsIndex_.Add(buf_.NewsURL, buf_.NewsName);
    } else {
      AddRunLog(Prefix() + W(">> SaveNews. Файл не создан: ") + Utf8ToWin1251(error), kRed);
      ++unwrittenNews_;
    }
  }
  if (!FileExists(path)) return;
  if (url.size() > 2) RecordDownload(MakeHistoryLine(now, url, buf_.NewsName));
  if (refetch) {
    for (const std::string& u : {buf_.NewsURL, url})
      if (refetch_.erase(u) > 0) DropRefetchAddress(tree_.DataDir(), u);
  }
  NodePtr folder;
  {
    std::lock_guard lock(mutex_);
    folder = currentFolder_;
  }
  host_.NewsSaved({ChannelNode(), folder, buf_.NewsName, path, DateTimeStamp(now)});
  tree_.MarkNodeUnread(folder, true);
  host_.NodeChanged(folder);
  if (NodePtr parent = tree_.Parent(folder)) host_.NodeChanged(parent);
}

}  // namespace skimlet
