// A run that saved news rewrites its channel's Atom feed (when the settings ask for it).
#include <exception>

#include "engine/DownLoad.h"
#include "platform/Text.h"
#include "store/Feed.h"

namespace skimlet {

void TDownload::WriteFeed(const NodePtr& channel) {
  std::string path, error;
  bool written = false;
  try {
    written = WriteChannelFeed(tree_, channel, &path, &error);
  } catch (const std::exception& e) {  // the run has ended: it must still end properly
    error = e.what();
  }
  if (written)
    AddRunLog(W("Записана Atom-лента канала: ") + CaptionFromDisk(path), kBlack);
  else
    AddRunLog(W("Atom-лента канала не записана: ") + Utf8ToWin1251(error), kRed);
}

}  // namespace skimlet
