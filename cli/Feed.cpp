// skimlet-cli feed: the Atom feed of a channel or rubric, for a feed reader.
#include <charconv>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <iostream>

#include "cli/Commands.h"
#include "library/Feed.h"
#include "platform/Files.h"

namespace skimlet::cli {

int FeedCommand(const Context& ctx, const std::vector<std::string>& args) {
  std::string folder, output;
  int limit = kDefaultFeedLimit;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if ((a == "-o" || a == "--output" || a == "--limit") && i + 1 >= args.size()) {
      std::cerr << "skimlet-cli feed: " << a << " needs a value\n";
      return 2;
    }
    if (a == "-o" || a == "--output") {
      output = args[++i];
    } else if (a == "--limit") {
      const std::string& n = args[++i];
      auto [ptr, ec] = std::from_chars(n.data(), n.data() + n.size(), limit);
      if (ec != std::errc() || ptr != n.data() + n.size() || limit < 1) {
        std::cerr << "skimlet-cli feed: --limit takes a whole number from 1, not '" << n << "'\n";
        return 2;
      }
    } else if (a.rfind("-", 0) == 0 || !folder.empty()) {
      std::cerr << "skimlet-cli feed: unexpected argument '" << a << "'\n";
      return 2;
    } else {
      folder = a;
    }
  }
  while (!folder.empty() && folder.back() == '/') folder.pop_back();
  if (folder.empty()) {
    std::cerr << "skimlet-cli feed: name a CHANNEL or CHANNEL/RUBRIC\n";
    return 2;
  }
  ChannelTree tree(ctx.dataDir);
  tree.BuildChannelTree(tree.AccountsDir(), nullptr, false);
  NodePtr node = tree.NodeByRelativePath(folder);
  if (!node) {
    std::cerr << "skimlet-cli feed: no channel or rubric named '" << folder << "' in " << tree.AccountsDir() << "\n";
    return 2;
  }
  if (output.empty()) {
    Feed feed = BuildFeed(tree, node, limit, std::time(nullptr));
    std::fwrite(feed.xml.data(), 1, feed.xml.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  std::error_code ec;
  std::string absolute = std::filesystem::absolute(output, ec).lexically_normal().string();
  if (ec) absolute = output;
  Feed feed = BuildFeed(tree, node, limit, std::time(nullptr), FileUrl(absolute));
  std::string error;
  if (!WriteFileAtomic(output, feed.xml, &error, /*readOnly=*/false, /*durable=*/false)) {
    std::cerr << "skimlet-cli feed: " << error << "\n";
    return 1;
  }
  std::cerr << feed.entries << " news written to " << output << "\n";
  return 0;
}

}  // namespace skimlet::cli
