// skimlet-cli: the headless Skimlet. Lists the channel folders, reads and writes settings,
// and runs downloads.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "platform/DataModes.h"
#include "platform/Paths.h"

namespace {

const char* kUsage =
    "usage: skimlet-cli [--home DIR] COMMAND [ARGS]\n"
    "\n"
    "commands:\n"
    "  list                               the channel folders with their marks and news counts\n"
    "  settings [SECTION/KEY[=VALUE] ...] show or change settings (all of them without arguments)\n"
    "  download [CHANNEL ...] [--log raw|pretty] [--dry-run]\n"
    "                                     download the named channels (all without names);\n"
    "                                     --dry-run: fetch and work as usual, write nothing,\n"
    "                                     list what would be saved and how each folder ended\n"
    "  pictures [CHANNEL[/RUBRIC]]        fetch the missing pictures of saved news\n"
    "  export CHANNEL FILE [--yes]        save the channel's macros to a .skc file\n"
    "  import FILE [--yes]                add or restore a channel from a .skc file\n"
    "                                     (--yes: overwrite an existing file or channel)\n"
    "  check [CHANNEL]                    look for faults in the folders' macros (all channels\n"
    "                                     without a name): unknown commands, shifted steps,\n"
    "                                     jumps to missing steps, loops that never end;\n"
    "                                     exit status 1 when something is found, else 0\n"
    "  feed CHANNEL[/RUBRIC] [-o FILE] [--limit N]\n"
    "                                     the Atom feed of the newest N (50) saved news\n"
    "  paths                              where the data, settings, feeds and resources are\n"
    "\n"
    "--home DIR   the data directory (default $SKIMLET_HOME, else $XDG_DATA_HOME/Skimlet)\n"
    "\n"
    "exit status: 0 done; 1 a command failed; 2 bad arguments;\n"
    "  download and pictures: 3 some pages or pictures could not be fetched (the last line\n"
    "  says how many), 4 a channel's index page could not be fetched (download)\n";

}  // namespace

int main(int argc, char** argv) {
  std::string home;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--home") {
      if (i + 1 >= argc) {
        std::cerr << "skimlet-cli: --home needs a directory\n";
        return 2;
      }
      home = argv[++i];
    } else if (a.rfind("--home=", 0) == 0) {
      home = a.substr(7);
    } else if (a == "-h" || a == "--help" || a == "help") {
      std::cout << kUsage;
      return 0;
    } else {
      args.push_back(a);
    }
  }
  if (args.empty()) {
    std::cerr << kUsage;
    return 2;
  }
  skimlet::cli::Context ctx;
  ctx.dataDir = skimlet::ResolveDataDir(home);
  skimlet::MakeDataDirPrivate(ctx.dataDir);  // once: files of older versions were world-readable
  std::string command = args.front();
  args.erase(args.begin());
  if (command == "list") return skimlet::cli::ListCommand(ctx, args);
  if (command == "settings") return skimlet::cli::SettingsCommand(ctx, args);
  if (command == "download") return skimlet::cli::DownloadCommand(ctx, args);
  if (command == "pictures") return skimlet::cli::PicturesCommand(ctx, args);
  if (command == "export") return skimlet::cli::ExportCommand(ctx, args);
  if (command == "import") return skimlet::cli::ImportCommand(ctx, args);
  if (command == "check") return skimlet::cli::CheckCommand(ctx, args);
  if (command == "feed") return skimlet::cli::FeedCommand(ctx, args);
  if (command == "paths") return skimlet::cli::PathsCommand(ctx, args);
  std::cerr << "skimlet-cli: unknown command '" << command << "'\n\n" << kUsage;
  return 2;
}
