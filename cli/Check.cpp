// skimlet-cli check: the macro checker over the folders of one channel, or of all.
#include <iostream>

#include "authoring/Auto.h"
#include "authoring/MacroCheck.h"
#include "cli/Commands.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "store/ChannelFolders.h"
#include "store/MacroFile.h"

namespace skimlet::cli {

int CheckCommand(const Context& ctx, const std::vector<std::string>& args) {
  if (args.size() > 1 || (!args.empty() && args[0].rfind("-", 0) == 0)) {
    std::cerr << "использование: skimlet-cli check [КАНАЛ]\n";
    return 2;
  }
  ChannelTree tree(ctx.dataDir);
  if (!DirExists(tree.AccountsDir())) {
    std::cerr << "skimlet-cli check: нет каналов: нет папки " << tree.AccountsDir() << "\n";
    return 2;
  }
  const std::string catalogueFile = CatalogueFilePath(ResourceDir(ctx.dataDir));
  CommandCatalogue catalogue;
  if (!LoadCommandCatalogue(catalogueFile, catalogue).exists) {
    std::cerr << "skimlet-cli check: " << Win1251ToUtf8(MissingCatalogueMessage(catalogueFile)) << "\n";
    return 2;
  }
  const std::vector<std::string> known = KnownCommands(catalogue);
  tree.BuildChannelTree(tree.AccountsDir(), nullptr, false);
  int folders = 0, findings = 0;
  for (const NodePtr& node : tree.InTreeOrder()) {
    if (!args.empty() && Win1251ToUtf8(tree.Caption(ChannelTree::RootChannel(node))) != args[0]) continue;
    ++folders;
    const std::string file = JoinPath(tree.FolderPath(node), kMacroFileName);
    std::string text;
    if (!FileExists(file)) continue;  // a folder without a macro runs nothing, rightly
    if (!ReadWholeFile(file, text)) {
      std::cout << file << ": не удалось прочитать файл\n";
      ++findings;
      continue;
    }
    for (const MacroFinding& f : CheckMacroText(text, known)) {
      std::cout << file << (f.line > 0 ? ":" + std::to_string(f.line) : std::string()) << ": " << f.message << "\n";
      ++findings;
    }
  }
  if (folders == 0) {
    std::cerr << "skimlet-cli check: в " << tree.AccountsDir() << " нет канала «" << (args.empty() ? "" : args[0])
              << "»\n";
    return 2;
  }
  std::cerr << "Замечаний: " << findings << ", проверено папок: " << folders << "\n";
  return findings > 0 ? 1 : 0;
}

}  // namespace skimlet::cli
