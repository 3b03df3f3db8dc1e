// Atom 1.0 feeds of saved news: the newest news of a channel (with its rubrics) or of one
// rubric, so that a feed reader reads what Skimlet collected.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

#include "store/ChannelFolders.h"
#include "store/NewsFolder.h"

namespace skimlet {

inline constexpr int kDefaultFeedLimit = 50;

struct Feed {
  std::string xml;  // the Atom document, UTF-8
  int entries = 0;
};

// The newest `limit` news of `folder`, newest first; a news saved again from the same
// address appears once. `now` is the feed's time when it holds no news; `selfUrl` (may be
// empty) is the feed's own address.
Feed BuildFeed(const ChannelTree& tree, const NodePtr& folder, int limit, std::time_t now,
               const std::string& selfUrl = {});

// feeds/<channel>.atom in the data directory.
std::string FeedFilePath(const ChannelTree& tree, const NodePtr& channel);

// Rewrites the channel's feed file through a temporary file. False with a message on failure.
bool WriteChannelFeed(const ChannelTree& tree, const NodePtr& channel, std::string* path, std::string* error);

// A local path (UTF-8, absolute) as a file: URL ("file://localhost/...").
std::string FileUrl(std::string_view path);

}  // namespace skimlet
