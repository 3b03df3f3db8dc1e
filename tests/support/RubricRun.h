// A run that is not started, for calling its commands directly: channel "Лента" with
// rubric "Мир" in a fresh data directory, the run executing step 3 in the rubric.
#pragma once

#include <memory>
#include <string>

#include "engine/DownLoad.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/TestSupport.h"

namespace skimlet::test {

struct RubricRun {
  TempDir dir;
  ChannelTree tree{dir.path()};
  RecordingHost host;
  NodePtr channel, rubric;
  std::unique_ptr<TDownload> run;

  RubricRun();
  RunBuffers& B() { return run->MutableBuffers(); }
  std::string& Html() { return run->MutableBuffers().HTML; }
  std::string Folder() { return tree.FolderPath(rubric); }
  std::string Last() { return host.Log().empty() ? "" : host.Log().back(); }
  std::size_t Lines() { return host.Log().size(); }
};

}  // namespace skimlet::test
