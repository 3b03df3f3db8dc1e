// skimlet-cli feed: the Atom feed of a channel or rubric, for a feed reader.
#include <charconv>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <iostream>

#include "cli/Commands.h"
#include "platform/Files.h"
#include "store/Feed.h"

namespace skimlet::cli {

int FeedCommand(const Context& ctx, const std::vector<std::string>& args) {
  std::string folder, output;
  int limit = kDefaultFeedLimit;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if ((a == "-o" || a == "--output" || a == "--limit") && i + 1 >= args.size()) {
      std::cerr << "skimlet-cli feed: после " << a << " нужно значение\n";
      return 2;
    }
    if (a == "-o" || a == "--output") {
      output = args[++i];
    } else if (a == "--limit") {
      const std::string& n = args[++i];
      auto [ptr, ec] = std::from_chars(n.data(), n.data() + n.size(), limit);
      if (ec != std::errc() || ptr != n.data() + n.size() || limit < 1) {
        std::cerr << "skimlet-cli feed: --limit — это целое число от 1, а не «" << n << "»\n";
        return 2;
      }
    } else if (a.rfind("-", 0) == 0 || !folder.empty()) {
      std::cerr << "skimlet-cli feed: лишний аргумент «" << a << "»\n";
      return 2;
    } else {
      folder = a;
    }
  }
  while (!folder.empty() && folder.back() == '/') folder.pop_back();
  if (folder.empty()) {
    std::cerr << "skimlet-cli feed: назовите КАНАЛ или КАНАЛ/РУБРИКУ\n";
    return 2;
  }
  ChannelTree tree(ctx.dataDir);
  tree.BuildChannelTree(tree.AccountsDir(), nullptr, false);
  NodePtr node = tree.NodeByRelativePath(folder);
  if (!node) {
    std::cerr << "skimlet-cli feed: в " << tree.AccountsDir() << " нет канала или рубрики «" << folder << "»\n";
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
  std::cerr << "Лента записана в " << output << ", новостей: " << feed.entries << "\n";
  return 0;
}

}  // namespace skimlet::cli
