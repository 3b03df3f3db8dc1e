// skimlet-cli export / import: channel configuration files (.skc).
#include <algorithm>
#include <filesystem>
#include <iostream>

#include "authoring/ChannelFile.h"
#include "cli/Commands.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "store/ChannelFolders.h"

namespace skimlet::cli {

namespace {

// Splits the arguments into positional ones and the --yes flag; false on an unknown option.
bool SplitArgs(const std::vector<std::string>& args, std::vector<std::string>& positional, bool& yes) {
  yes = false;
  for (const std::string& a : args) {
    if (a == "--yes" || a == "-y")
      yes = true;
    else if (a.size() > 1 && a[0] == '-')
      return false;
    else
      positional.push_back(a);
  }
  return true;
}

std::string Absolute(const std::string& path) {
  std::error_code ec;
  std::filesystem::path abs = std::filesystem::absolute(path, ec);
  return ec ? path : abs.lexically_normal().string();
}

// The question's answer: Yes with --yes; otherwise No, keeping the text to show.
OverwriteQuestion Answer(bool yes, std::string& asked) {
  return [yes, &asked](const std::string& text) {
    asked = Win1251ToUtf8(text);
    return yes;
  };
}

void ShowDeclined(const char* command, const std::string& asked) {
  std::cerr << "skimlet-cli " << command << ": " << asked << "\n"
            << "Ничего не перезаписано; чтобы перезаписать, запустите команду снова с --yes.\n";
}

}  // namespace

int ExportCommand(const Context& ctx, const std::vector<std::string>& args) {
  std::vector<std::string> positional;
  bool yes = false;
  if (!SplitArgs(args, positional, yes) || positional.size() != 2) {
    std::cerr << "использование: skimlet-cli export КАНАЛ ФАЙЛ [--yes]\n";
    return 2;
  }
  ChannelTree tree(ctx.dataDir);
  if (!DirExists(tree.AccountsDir())) {
    std::cerr << "skimlet-cli export: нет каналов: нет папки " << tree.AccountsDir() << "\n";
    return 1;
  }
  tree.BuildChannelTree(tree.AccountsDir(), nullptr, false);
  std::string caption = Utf8ToWin1251(positional[0]);
  NodePtr channel;
  for (const NodePtr& node : tree.Channels()) {
    if (tree.Caption(node) == caption) {
      channel = node;
      break;
    }
  }
  if (!channel) {
    std::cerr << "skimlet-cli export: нет канала «" << positional[0] << "»\n";
    return 1;
  }
  std::string file = Absolute(positional[1]);
  std::string asked;
  ChannelExportResult r = ExportChannel(tree, channel, file, Answer(yes, asked));
  for (const std::string& w : r.warnings) std::cerr << "skimlet-cli export: предупреждение: " << w << "\n";
  switch (r.status) {
    case ChannelExportResult::Status::kWritten:
      std::cout << "Канал «" << positional[0] << "» сохранён в файл " << file << " (папок: " << r.folders << ")\n";
      return 0;
    case ChannelExportResult::Status::kDeclined:
      ShowDeclined("export", asked);
      return 1;
    case ChannelExportResult::Status::kNoFolder:
    case ChannelExportResult::Status::kFailed:
      break;
  }
  std::cerr << "skimlet-cli export: " << (r.error.empty() ? "ничего не сохранено" : r.error) << "\n";
  return 1;
}

int ImportCommand(const Context& ctx, const std::vector<std::string>& args) {
  std::vector<std::string> positional;
  bool yes = false;
  if (!SplitArgs(args, positional, yes) || positional.size() != 1) {
    std::cerr << "использование: skimlet-cli import ФАЙЛ [--yes]\n";
    return 2;
  }
  const std::string file = positional[0];
  if (!FileExists(file)) {
    std::cerr << "skimlet-cli import: нет файла " << file << "\n";
    return 1;
  }
  ChannelTree tree(ctx.dataDir);
  std::string error;
  if (!MakeDirs(tree.AccountsDir(), &error)) {
    std::cerr << "skimlet-cli import: " << error << "\n";
    return 1;
  }
  tree.BuildChannelTree(tree.AccountsDir(), nullptr, false);
  std::string asked;
  ChannelImportResult r = ImportChannel(tree, file, Answer(yes, asked));
  for (const std::string& w : r.warnings)
    std::cerr << "skimlet-cli import: " << file << ": предупреждение: " << w << "\n";
  for (const std::string& e : r.errors) std::cerr << "skimlet-cli import: " << file << ": " << e << "\n";
  using Status = ChannelImportResult::Status;
  switch (r.status) {
    case Status::kImported: {
      std::cout << "Канал «" << Win1251ToUtf8(tree.Caption(r.channel)) << "» загружен из файла " << file
                << ":\n";
      for (const std::string& name : r.written) {
        bool created = std::find(r.created.begin(), r.created.end(), name) != r.created.end();
        std::cout << "  " << Win1251ToUtf8(name) << (created ? " (новая папка)" : "") << "\n";
      }
      return 0;
    }
    case Status::kNoHeader:
      std::cerr << "skimlet-cli import: " << file << " — не файл канала: в нём нет строки «" << kChannelFileHeader
                << "». Ничего не загружено.\n";
      return 1;
    case Status::kRefused:
      std::cerr << "skimlet-cli import: ничего не загружено.\n";
      return 1;
    case Status::kDeclined:
      ShowDeclined("import", asked);
      return 1;
    case Status::kFailed:
      std::cerr << "skimlet-cli import: загрузка прервана"
                << (r.written.empty() ? "; ни одна папка не записана.\n" : "; успели записаться папки:");
      for (const std::string& name : r.written) std::cerr << " " << Win1251ToUtf8(name);
      if (!r.written.empty()) std::cerr << "\n";
      return 1;
  }
  return 1;
}

}  // namespace skimlet::cli
