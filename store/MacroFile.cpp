#include "store/MacroFile.h"

#include <algorithm>
#include <charconv>
#include <string_view>

#include "platform/Files.h"
#include "platform/Text.h"

namespace skimlet {

namespace {

// Reads a text the way the macro file is read: one integer first, then whole lines.
// A line ends at CR LF, LF or a lone CR; a missing line reads as empty.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : text_(text) {}

  enum class Count { kNumber, kEmpty, kNotANumber };

  // Blanks and line breaks before the number are skipped; the rest of its line is ignored.
  Count ReadCount(long long& value) {
    while (pos_ < text_.size() && IsSpace(text_[pos_])) ++pos_;
    if (pos_ >= text_.size()) return Count::kEmpty;
    std::size_t end = pos_;
    while (end < text_.size() && !IsSpace(text_[end])) ++end;
    std::string_view token = text_.substr(pos_, end - pos_);
    pos_ = end;
    SkipLine();
    if (!token.empty() && token[0] == '+') token.remove_prefix(1);
    auto [ptr, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
    if (token.empty() || ec != std::errc() || ptr != token.data() + token.size()) return Count::kNotANumber;
    return Count::kNumber;
  }

  std::string_view Line() {
    std::size_t start = pos_;
    while (pos_ < text_.size() && text_[pos_] != '\r' && text_[pos_] != '\n') ++pos_;
    std::string_view line = text_.substr(start, pos_ - start);
    SkipBreak();
    return line;
  }

  // Skips n lines without looking at them.
  void SkipLines(long long n) {
    for (long long i = 0; i < n && pos_ < text_.size(); ++i) {
      std::size_t next = text_.find_first_of("\r\n", pos_);
      pos_ = next == std::string_view::npos ? text_.size() : next;
      SkipBreak();
    }
  }

 private:
  static bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
  void SkipLine() {
    while (pos_ < text_.size() && text_[pos_] != '\r' && text_[pos_] != '\n') ++pos_;
    SkipBreak();
  }
  void SkipBreak() {
    if (pos_ < text_.size() && text_[pos_] == '\r') ++pos_;
    if (pos_ < text_.size() && text_[pos_] == '\n') ++pos_;  // CR LF is one break
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

void ReadStep(LineReader& in, TTmpOneMacroComand& step) {
  step.Command = in.Line();
  step.Active = in.Line() == "ON";
  step.P1 = in.Line();
  step.P2 = in.Line();
  step.P3 = in.Line();
  step.P4 = in.Line();
  step.Description = in.Line();
}

void AppendLine(std::string& out, std::string_view line) {
  out += line;
  out += "\r\n";
}

}  // namespace

MacroReadResult ReadMacroFile(const std::string& filePath, MacroTable& table) {
  MacroReadResult result;
  table.count = 0;
  std::string text;
  if (!FileExists(filePath)) return result;
  result.exists = true;
  if (!ReadWholeFile(filePath, text, &result.error)) return result;
  LineReader in(text);
  long long n = 0;
  switch (in.ReadCount(n)) {
    case LineReader::Count::kEmpty:
      return result;
    case LineReader::Count::kNotANumber:
      result.error = "Файл " + filePath + " повреждён: в первой строке нет числа шагов. Шаги не загружены.";
      return result;
    case LineReader::Count::kNumber:
      break;
  }
  if (n < 0) {
    result.error = "Файл " + filePath + " повреждён: в нём объявлено шагов: " + std::to_string(n) +
                   ". Шаги не загружены.";
    return result;
  }
  if (n > kMacroSlots) {
    result.error = "В файле " + filePath + " объявлено шагов: " + std::to_string(n) + "; загружены только первые " +
                   std::to_string(kMacroSlots) + ".";
    n = kMacroSlots;
  }
  for (int i = 0; i < n; ++i) ReadStep(in, table.steps[i]);
  table.count = static_cast<std::int32_t>(n);
  result.count = table.count;
  return result;
}

std::string FormatMacroFile(const MacroTable& table) {
  std::int32_t n = std::clamp<std::int32_t>(table.count, 0, kMacroSlots);
  std::string out;
  AppendLine(out, std::to_string(n));
  for (int i = 0; i < n; ++i) {
    const TTmpOneMacroComand& s = table.steps[i];
    AppendLine(out, s.Command);
    AppendLine(out, s.Active ? "ON" : "OFF");
    AppendLine(out, s.P1);
    AppendLine(out, s.P2);
    AppendLine(out, s.P3);
    AppendLine(out, s.P4);
    std::string description = s.Description;
    for (char& c : description)
      if (static_cast<unsigned char>(c) < 32) c = ' ';
    AppendLine(out, description);
  }
  return out;
}

TTmpOneMacroComand MacroStepFromText(std::string_view text, std::int32_t k) {
  TTmpOneMacroComand step;
  if (k < 0 || k >= kMacroSlots) return step;
  LineReader in(text);
  long long n = 0;
  if (in.ReadCount(n) != LineReader::Count::kNumber || k >= n) return step;
  in.SkipLines(7LL * k);
  ReadStep(in, step);
  return step;
}

TTmpOneMacroComand ReadMacroStep(const std::string& folderPath, std::int32_t k) {
  std::string text;
  if (k < 0 || k >= kMacroSlots || !ReadWholeFile(JoinPath(folderPath, kMacroFileName), text)) return {};
  return MacroStepFromText(text, k);
}

void FolderMacro::LoadFolderMacro(const std::string& folderPath) {
  table_.count = 0;
  snapshot_.count = 0;
  int remembered = view_.selectedLine ? view_.selectedLine() : -1;
  if (view_.clear) view_.clear();
  if (folderPath.empty()) return;
  std::string file = JoinPath(folderPath, kMacroFileName);
  MacroReadResult read = ReadMacroFile(file, table_);
  if (!read.exists) return;
  if (!read.error.empty()) {
    if (view_.error) view_.error(read.error);
    if (read.count == 0) return;  // nothing usable: the load stops here
  }
  std::int32_t n = table_.count;
  if (n > 0) {
    snapshot_.count = n;
    std::copy_n(table_.steps.begin(), n, snapshot_.steps.begin());
    if (view_.show) view_.show(n, remembered >= 0 && remembered < n ? remembered : 0);
  }
  if (view_.setTitle) view_.setTitle(folderPath);
}

bool FolderMacro::MacroModified() const {
  if (table_.count != snapshot_.count) return true;
  std::int32_t n = std::clamp<std::int32_t>(table_.count, 0, kMacroSlots);
  return !std::equal(table_.steps.begin(), table_.steps.begin() + n, snapshot_.steps.begin());
}

bool FolderMacro::WriteFolderMacroFile(const std::string& folderPath, std::string* error) {
  if (!MakeDirs(folderPath, error)) return false;
  return WriteFileAtomic(JoinPath(folderPath, kMacroFileName), FormatMacroFile(table_), error,
                         /*readOnly=*/true);
}

bool FolderMacro::SaveFolderMacro(const std::string& folderPath, const std::string& folderCaption,
                                  const Question& ask, std::string* error) {
  if (folderPath.empty() || !MacroModified()) return true;
  if (ask && !ask(SaveMacroQuestionCaption(folderCaption), SaveMacroQuestionText(folderCaption)))
    return true;
  return WriteFolderMacroFile(folderPath, error);
}

std::string SaveMacroQuestionCaption(const std::string& folderCaption) {
  return W("Папка ") + "\"" + folderCaption + "\"";
}

std::string SaveMacroQuestionText(const std::string& folderCaption) {
  return W("В настройки папки ") + "\"" + folderCaption + "\"" + W(" были внесены изменения.") + "\r" +
         W("Данные о настройке хранятся в файле ") + "\"" + folderCaption + "\\Skimlet-macros.ini\"" +
         "\r\r" + W("Сохранить сделанные изменения в этом файле?");
}

}  // namespace skimlet
