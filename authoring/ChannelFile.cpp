#include "authoring/ChannelFile.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <set>

#include "platform/Files.h"
#include "platform/Text.h"

namespace skimlet {

namespace {

// Lines of a text; a line ends at CR LF, LF or a lone CR, as in the macro file.
class LineCursor {
 public:
  explicit LineCursor(std::string_view text) : text_(text) {}
  bool AtEnd() const { return pos_ >= text_.size(); }
  long long Number() const { return number_; }  // of the line read last

  // The next line; an empty string past the end.
  std::string_view Next() {
    if (AtEnd()) return {};
    std::size_t end = text_.find_first_of("\r\n", pos_);
    if (end == std::string_view::npos) end = text_.size();
    std::string_view line = text_.substr(pos_, end - pos_);
    pos_ = end;
    if (pos_ < text_.size() && text_[pos_] == '\r') ++pos_;
    if (pos_ < text_.size() && text_[pos_] == '\n') ++pos_;
    ++number_;
    return line;
  }

  // Passes over lines that hold nothing but blanks and tabs.
  void SkipBlankLines() {
    while (!AtEnd()) {
      std::size_t save = pos_;
      long long saveNumber = number_;
      if (!IsBlank(Next())) {
        pos_ = save;
        number_ = saveNumber;
        return;
      }
    }
  }

  static bool IsBlank(std::string_view line) {
    return line.find_first_not_of(" \t") == std::string_view::npos;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
  long long number_ = 0;
};


std::string LinePrefix(long long line) { return "строка " + std::to_string(line) + ": "; }

constexpr std::string_view kFixedLines = "Name Channel\r\ndescription channel\r\n";

void AppendBlock(std::string& out, const std::string& name, const MacroTable& table) {
  out += name;
  out += "\r\n";
  out += FormatMacroFile(table);
}

}  // namespace

std::string FolderNameProblem(const std::string& name) {
  if (name.empty()) return "имя пустое";
  if (name == "." || name == "..") return "«.» и «..» не могут быть именем папки";
  if (name.find_first_of("/\\") != std::string::npos) return "в имени есть «/» или «\\»";
  if (std::any_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 32; }))
    return "в имени есть управляющие символы";
  if (LineCursor::IsBlank(name)) return "имя состоит из одних пробелов";
  if (name[0] == '.') return "имя начинается с точки, а такие папки скрыты и в дереве не видны";
  if (name == "Attachment") return "«Attachment» — папка картинок новостей";
  if (name == kMacroFileName) return "так называется файл шагов папки";
  if (CaptionFromDisk(DiskName(name)) != name) return "в имени есть знак, который нельзя записать в имени файла";
  if (!IsSafeFolderName(name)) return "как имя файла оно длиннее 255 байт";
  return {};
}

ChannelFileContent ParseChannelFile(std::string_view text) {
  ChannelFileContent content;
  LineCursor in(text);
  while (!in.AtEnd() && !content.hasHeader) content.hasHeader = in.Next() == kChannelFileHeader;
  if (!content.hasHeader) return content;

  std::set<std::string> seenRubrics;
  for (;;) {
    in.SkipBlankLines();
    if (in.AtEnd()) break;
    ChannelBlock block;
    block.name = in.Next();
    block.line = in.Number();
    const std::string folder = QuotedForMessage(block.name);

    in.SkipBlankLines();
    if (in.AtEnd()) {
      content.warnings.push_back(LinePrefix(block.line) + "после имени папки " + folder +
                                 " нет числа шагов; папка не создаётся.");
      break;
    }
    std::string problem = FolderNameProblem(block.name);
    if (!problem.empty())
      content.errors.push_back(LinePrefix(block.line) + "имя папки " + folder + " не годится: " + problem + ".");

    std::string_view countLine = in.Next();
    long long countLineNumber = in.Number();
    std::string_view token = countLine.substr(std::min(countLine.find_first_not_of(" \t"), countLine.size()));
    token = token.substr(0, std::min(token.find_first_of(" \t"), token.size()));
    if (!token.empty() && token[0] == '+') token.remove_prefix(1);
    long long count = 0;
    auto [ptr, ec] = std::from_chars(token.data(), token.data() + token.size(), count);
    bool whole = !token.empty() && ptr == token.data() + token.size();
    std::string at = LinePrefix(countLineNumber) + "у папки " + folder;
    if (!whole || (ec != std::errc() && ec != std::errc::result_out_of_range)) {
      content.errors.push_back(at + " число шагов " + QuotedForMessage(countLine) +
                               " — это не число; дальше файл не читается.");
      return content;
    }
    if (ec == std::errc::result_out_of_range || count > kMacroSlots) {
      content.errors.push_back(at + " объявлено шагов: " + QuotedForMessage(token) +
                               ", а в папке их может быть не больше " + std::to_string(kMacroSlots) +
                               "; дальше файл не читается.");
      return content;
    }
    if (count < 0) {
      content.errors.push_back(at + " объявлено шагов: " + std::to_string(count) + "; дальше файл не читается.");
      return content;
    }

    block.steps.resize(static_cast<std::size_t>(count));
    long long missingFrom = -1;
    for (long long i = 0; i < count; ++i) {
      auto line = [&] {
        if (in.AtEnd() && missingFrom < 0) missingFrom = i;
        return std::string(in.Next());
      };
      TTmpOneMacroComand& step = block.steps[static_cast<std::size_t>(i)];
      step.Command = line();
      step.Active = line() == "ON";
      step.P1 = line();
      step.P2 = line();
      step.P3 = line();
      step.P4 = line();
      step.Description = line();
    }
    if (missingFrom >= 0)
      content.warnings.push_back(LinePrefix(block.line) + "у папки " + folder + " объявлено шагов: " +
                                 std::to_string(count) + ", но файл кончается на шаге " + std::to_string(missingFrom) +
                                 "; недостающие строки считаются пустыми.");

    if (!content.blocks.empty() && !seenRubrics.insert(block.name).second)
      content.warnings.push_back(LinePrefix(block.line) + "папка " + folder +
                                 " уже была в файле выше; остаётся этот, более поздний блок.");
    content.blocks.push_back(std::move(block));
  }
  if (content.blocks.empty()) content.errors.push_back("после строки заголовка в файле нет ни одного канала.");
  return content;
}

std::string FormatChannelFile(const std::vector<ChannelBlock>& blocks) {
  std::string out(kFixedLines);
  out += kChannelFileHeader;
  out += "\r\n";
  MacroTable table;
  for (const ChannelBlock& block : blocks) {
    table.count = static_cast<std::int32_t>(std::min<std::size_t>(block.steps.size(), kMacroSlots));
    std::copy_n(block.steps.begin(), table.count, table.steps.begin());
    AppendBlock(out, block.name, table);
  }
  return out;
}

std::string ExportFileQuestion(const std::string& filePath) {
  return W("Файл ") + Utf8ToWin1251(filePath) + W(" существует. Перезаписать?");
}

std::string ImportChannelQuestion(const std::string& channelName) {
  return W("Канал ") + channelName + W(" существует. Перезаписать настройки канала?");
}

std::string ProposedExportFileName(const std::string& channelCaption) {
  return "Channel " + channelCaption + ".skc";
}

std::string ChannelFilesDir(const std::string& dataDir) {
  return JoinPath(dataDir, std::string(kChannelFilesDirName) + "/");
}

ChannelExportResult ExportChannel(const ChannelTree& tree, const NodePtr& selected,
                                  const std::string& filePath, const OverwriteQuestion& ask) {
  ChannelExportResult result;
  NodePtr channel = ChannelTree::RootChannel(selected);
  std::vector<NodePtr> all = tree.InTreeOrder();
  auto it = std::find(all.begin(), all.end(), channel);
  if (!channel || it == all.end()) return result;

  std::string out(kFixedLines);
  out += kChannelFileHeader;
  out += "\r\n";
  MacroTable table;
  do {
    std::string caption = tree.Caption(*it);
    std::string problem = FolderNameProblem(caption);
    if (!problem.empty()) {
      result.status = ChannelExportResult::Status::kFailed;
      result.error = "Папку " + QuotedForMessage(caption) + " нельзя сохранить в файл канала: " + problem +
                     ". Переименуйте её и сохраните канал снова.";
      return result;
    }
    std::string macroFile = JoinPath(tree.FolderPath(*it), kMacroFileName);
    MacroReadResult read = ReadMacroFile(macroFile, table);
    if (!read.error.empty())
      result.warnings.push_back(read.error + " В файл канала записано шагов: " + std::to_string(table.count) + ".");
    AppendBlock(out, caption, table);
    ++result.folders;
  } while (++it != all.end() && tree.Level(*it) > 0);

  if (FileExists(filePath) && !(ask && ask(ExportFileQuestion(filePath)))) {
    result.status = ChannelExportResult::Status::kDeclined;
    return result;
  }
  // A channel file is made to be passed on: readable by others, unlike the data directory.
  if (!WriteFileAtomic(filePath, out, &result.error, false, true, 0644)) {
    result.status = ChannelExportResult::Status::kFailed;
    return result;
  }
  result.status = ChannelExportResult::Status::kWritten;
  return result;
}

ChannelImportResult ImportChannel(ChannelTree& tree, const std::string& filePath,
                                  const OverwriteQuestion& ask) {
  std::string text, error;
  if (!ReadWholeFile(filePath, text, &error)) {
    ChannelImportResult result;
    result.status = ChannelImportResult::Status::kFailed;
    result.errors.push_back(error);
    return result;
  }
  return ImportChannelText(tree, text, ask);
}

ChannelImportResult ImportChannelText(ChannelTree& tree, std::string_view text,
                                      const OverwriteQuestion& ask) {
  using Status = ChannelImportResult::Status;
  ChannelImportResult result;
  ChannelFileContent content = ParseChannelFile(text);
  result.warnings = std::move(content.warnings);
  if (!content.hasHeader) {
    result.status = Status::kNoHeader;
    return result;
  }
  if (!content.errors.empty()) {
    result.status = Status::kRefused;
    result.errors = std::move(content.errors);
    return result;
  }

  // Creates the directory and the node of a folder that the tree lacks.
  auto create = [&](const std::string& name, const NodePtr& parent) -> NodePtr {
    std::string path = (parent ? tree.FolderPath(parent) : tree.AccountsDir()) + DiskName(name) + "/";
    std::string why;
    if (!MakeDirs(path, &why)) {
      result.errors.push_back(why);
      return nullptr;
    }
    NodePtr node = tree.AddFolderNode(DiskName(name), parent, true);
    if (!node)
      result.errors.push_back("Не удалось добавить папку " + path + " в дерево каналов.");
    else
      result.created.push_back(name);
    return node;
  };

  const ChannelBlock& first = content.blocks.front();
  for (const NodePtr& node : tree.Channels()) {
    if (tree.Caption(node) == first.name) {
      result.channel = node;
      break;
    }
  }
  // A file where a new folder must go would stop the import half-way; refuse it up front.
  std::string channelPath =
      result.channel ? tree.FolderPath(result.channel) : tree.AccountsDir() + DiskName(first.name) + "/";
  std::vector<NodePtr> existing = result.channel ? tree.Children(result.channel) : std::vector<NodePtr>{};
  for (const ChannelBlock& block : content.blocks) {
    bool isChannel = &block == &first;
    if (!isChannel && std::any_of(existing.begin(), existing.end(),
                                  [&](const NodePtr& r) { return tree.Caption(r) == block.name; }))
      continue;
    std::string path = isChannel ? channelPath : channelPath + DiskName(block.name) + "/";
    if ((!isChannel || !result.channel) && !DirExists(path) && FileExists(path.substr(0, path.size() - 1)))
      result.errors.push_back(LinePrefix(block.line) + "папку " + QuotedForMessage(block.name) +
                              " нельзя создать: на её месте файл " + path.substr(0, path.size() - 1) + ".");
  }
  if (!result.errors.empty()) {
    result.channel = nullptr;
    result.status = Status::kRefused;
    return result;
  }
  if (result.channel && !(ask && ask(ImportChannelQuestion(first.name)))) {
    result.channel = nullptr;
    result.status = Status::kDeclined;
    return result;
  }

  FolderMacro writer;
  MacroTable& table = writer.Table();
  for (std::size_t b = 0; b < content.blocks.size(); ++b) {
    const ChannelBlock& block = content.blocks[b];
    NodePtr target;
    if (b == 0) {
      target = result.channel ? result.channel : create(block.name, nullptr);
      result.channel = target;
    } else {
      std::vector<NodePtr> rubrics = tree.Children(result.channel);
      for (auto r = rubrics.rbegin(); r != rubrics.rend() && !target; ++r)
        if (tree.Caption(*r) == block.name) target = *r;
      if (!target) target = create(block.name, result.channel);
    }
    if (!target) {
      result.status = Status::kFailed;
      return result;
    }
    table.count = static_cast<std::int32_t>(block.steps.size());
    std::copy(block.steps.begin(), block.steps.end(), table.steps.begin());
    std::string why;
    if (!writer.WriteFolderMacroFile(tree.FolderPath(target), &why)) {
      result.errors.push_back(why);
      result.status = Status::kFailed;
      return result;
    }
    tree.WriteFolderCheck(target, true);
    result.written.push_back(block.name);
  }
  result.status = Status::kImported;
  return result;
}

namespace {

NodePtr ChannelNamed(const ChannelTree& tree, const std::string& caption) {
  for (const NodePtr& node : tree.Channels())
    if (tree.Caption(node) == caption) return node;
  return nullptr;
}

bool Taken(const std::string& path) { return DirExists(path) || FileExists(path); }

}  // namespace

std::string NewMacroFolderProblem(const ChannelTree& tree, const std::string& channel, const std::string& rubric) {
  const std::string channelText = "«" + Win1251ToUtf8(channel) + "»";
  if (std::string why = FolderNameProblem(channel); !why.empty())
    return "нельзя назвать канал " + channelText + ": " + why + "; выберите другое имя";
  if (std::string why = rubric.empty() ? std::string() : FolderNameProblem(rubric); !why.empty())
    return "нельзя назвать рубрику «" + Win1251ToUtf8(rubric) + "»: " + why + "; выберите другое имя";
  const NodePtr node = ChannelNamed(tree, channel);
  const std::string channelPath = tree.AccountsDir() + DiskName(channel);
  if (rubric.empty()) {
    if (node || Taken(channelPath))
      return "канал " + channelText + " уже есть; выберите другое имя или назовите рубрику, которую добавить в него";
    return std::string();
  }
  if (!node) {  // the channel is made with its first rubric, unless something else holds its place
    if (Taken(channelPath))
      return "на месте канала " + channelText + " уже есть файл или папка вне дерева каналов (" + channelPath +
             "); уберите их или выберите другое имя канала";
    return std::string();
  }
  if (Taken(tree.FolderPath(node) + DiskName(rubric)))
    return "рубрика «" + Win1251ToUtf8(rubric) + "» в канале " + channelText + " уже есть; выберите другое имя";
  return std::string();
}

namespace {

bool WriteMacro(const std::string& folder, const std::vector<TTmpOneMacroComand>& steps, std::string& error) {
  FolderMacro writer;
  MacroTable& table = writer.Table();
  table.count = static_cast<std::int32_t>(steps.size());
  std::copy(steps.begin(), steps.end(), table.steps.begin());
  return writer.WriteFolderMacroFile(folder, &error);
}

}  // namespace

MadeMacroFolder CreateMacroFolder(ChannelTree& tree, const std::string& channel, const std::string& rubric,
                                  const std::vector<TTmpOneMacroComand>& steps) {
  MadeMacroFolder made;
  made.error = NewMacroFolderProblem(tree, channel, rubric);
  if (!made.error.empty()) return made;
  if (steps.size() > static_cast<std::size_t>(kMacroSlots)) {
    made.error = "в макросе больше шагов, чем помещается в папку";
    return made;
  }
  NodePtr parent = rubric.empty() ? nullptr : ChannelNamed(tree, channel);
  const bool withChannel = !rubric.empty() && !parent;
  const std::string channelPath = tree.AccountsDir() + DiskName(channel) + "/";
  const std::string path = rubric.empty() ? channelPath : channelPath + DiskName(rubric) + "/";
  // A channel made for its rubric gets an empty macro of its own, written last: another window
  // takes a folder in once it has a macro, so the channel comes in with its rubric.
  std::string error;
  if (!MakeDirs(tree.AccountsDir(), &error) || !MakeDirs(path, &error) || !WriteMacro(path, steps, error) ||
      (withChannel && !WriteMacro(channelPath, {}, error))) {
    if (withChannel) {  // nothing half-made: the channel goes with the rubric it was made for
      std::error_code ignored;
      for (const std::string& p : {path + kMacroFileName, path, channelPath + kMacroFileName, channelPath})
        std::filesystem::remove(p, ignored);
    }
    made.error = error;
    return made;
  }
  if (withChannel && (parent = tree.AddFolderNode(DiskName(channel), nullptr, true))) tree.WriteFolderCheck(parent, true);
  made.path = path;
  if (!withChannel || parent) made.node = tree.AddFolderNode(DiskName(rubric.empty() ? channel : rubric), parent, true);
  if (made.node) tree.WriteFolderCheck(made.node, true);
  const std::string rubricText = "«" + Win1251ToUtf8(rubric) + "»", channelText = "«" + Win1251ToUtf8(channel) + "»";
  made.said = rubric.empty()  ? "Создан канал " + channelText
              : withChannel ? "Создан канал " + channelText + " и рубрика " + rubricText
                            : "Создана рубрика " + rubricText + " в канале " + channelText;
  return made;
}

}  // namespace skimlet
