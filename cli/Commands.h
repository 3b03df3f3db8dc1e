#pragma once

#include <string>
#include <vector>

namespace skimlet::cli {

struct Context {
  std::string dataDir;  // ends in '/'
};

int ListCommand(const Context& ctx, const std::vector<std::string>& args);
int SettingsCommand(const Context& ctx, const std::vector<std::string>& args);
int DownloadCommand(const Context& ctx, const std::vector<std::string>& args);
int PicturesCommand(const Context& ctx, const std::vector<std::string>& args);
int ExportCommand(const Context& ctx, const std::vector<std::string>& args);
int ImportCommand(const Context& ctx, const std::vector<std::string>& args);
int CheckCommand(const Context& ctx, const std::vector<std::string>& args);
int FeedCommand(const Context& ctx, const std::vector<std::string>& args);
int NewChannelCommand(const Context& ctx, const std::vector<std::string>& args);
int PathsCommand(const Context& ctx, const std::vector<std::string>& args);

}  // namespace skimlet::cli
