// skimlet-cli export / import: channel configuration files (.skc).
#include <algorithm>
#include <filesystem>
#include <iostream>

#include "authoring/ChannelFile.h"
#include "cli/Commands.h"
#include "library/ChannelFolders.h"
#include "platform/Files.h"
#include "platform/Text.h"

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
            << "Nothing was overwritten; run again with --yes to overwrite.\n";
}

}  // namespace

int ExportCommand(const Context& ctx, const std::vector<std::string>& args) {
  std::vector<std::string> positional;
  bool yes = false;
  if (!SplitArgs(args, positional, yes) || positional.size() != 2) {
    std::cerr << "usage: skimlet-cli export CHANNEL FILE [--yes]\n";
    return 2;
  }
  ChannelTree tree(ctx.dataDir);
  if (!DirExists(tree.AccountsDir())) {
    std::cerr << "skimlet-cli export: no channels: " << tree.AccountsDir() << " does not exist\n";
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
    std::cerr << "skimlet-cli export: there is no channel named \"" << positional[0] << "\"\n";
    return 1;
  }
  std::string file = Absolute(positional[1]);
  std::string asked;
  ChannelExportResult r = ExportChannel(tree, channel, file, Answer(yes, asked));
  for (const std::string& w : r.warnings) std::cerr << "skimlet-cli export: warning: " << w << "\n";
  switch (r.status) {
    case ChannelExportResult::Status::kWritten:
      std::cout << "Exported channel \"" << positional[0] << "\" (" << r.folders << " folder"
                << (r.folders == 1 ? "" : "s") << ") to " << file << "\n";
      return 0;
    case ChannelExportResult::Status::kDeclined:
      ShowDeclined("export", asked);
      return 1;
    case ChannelExportResult::Status::kNoFolder:
    case ChannelExportResult::Status::kFailed:
      break;
  }
  std::cerr << "skimlet-cli export: " << (r.error.empty() ? "nothing was exported" : r.error) << "\n";
  return 1;
}

int ImportCommand(const Context& ctx, const std::vector<std::string>& args) {
  std::vector<std::string> positional;
  bool yes = false;
  if (!SplitArgs(args, positional, yes) || positional.size() != 1) {
    std::cerr << "usage: skimlet-cli import FILE [--yes]\n";
    return 2;
  }
  const std::string file = positional[0];
  if (!FileExists(file)) {
    std::cerr << "skimlet-cli import: " << file << " does not exist\n";
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
    std::cerr << "skimlet-cli import: " << file << ": warning: " << w << "\n";
  for (const std::string& e : r.errors) std::cerr << "skimlet-cli import: " << file << ": " << e << "\n";
  using Status = ChannelImportResult::Status;
  switch (r.status) {
    case Status::kImported: {
      std::cout << "Imported channel \"" << Win1251ToUtf8(tree.Caption(r.channel)) << "\" from " << file
                << ":\n";
      for (const std::string& name : r.written) {
        bool created = std::find(r.created.begin(), r.created.end(), name) != r.created.end();
        std::cout << "  " << Win1251ToUtf8(name) << (created ? " (created)" : "") << "\n";
      }
      return 0;
    }
    case Status::kNoHeader:
      std::cerr << "skimlet-cli import: " << file << " has no line \"" << kChannelFileHeader
                << "\"; it is not a channel file. Nothing was imported.\n";
      return 1;
    case Status::kRefused:
      std::cerr << "skimlet-cli import: nothing was imported.\n";
      return 1;
    case Status::kDeclined:
      ShowDeclined("import", asked);
      return 1;
    case Status::kFailed:
      std::cerr << "skimlet-cli import: the import stopped"
                << (r.written.empty() ? "; nothing was written.\n" : " after these folders:");
      for (const std::string& name : r.written) std::cerr << " " << Win1251ToUtf8(name);
      if (!r.written.empty()) std::cerr << "\n";
      return 1;
  }
  return 1;
}

}  // namespace skimlet::cli
