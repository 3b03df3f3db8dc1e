#include <iostream>

#include "cli/Commands.h"

namespace skimlet::cli {

int DownloadCommand(const Context&, const std::vector<std::string>&) {
  std::cerr << "skimlet-cli download: not available in this build\n";
  return 2;
}

}  // namespace skimlet::cli
