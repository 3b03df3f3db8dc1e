#include "tests/support/RubricRun.h"

#include "platform/Files.h"

namespace skimlet::test {

RubricRun::RubricRun() {
  MakeDirs(dir / "Accounts/Лента/Мир");
  channel = tree.AddFolderNode("Лента", nullptr, true);
  rubric = tree.AddFolderNode("Мир", channel, true);
  run = std::make_unique<TDownload>(tree, host);
  run->SetChannel(channel);
  run->SetCurrentFolder(rubric);
  run->SetExecutingStep(3);
  run->SetHttpTimeouts(5000, 5000);
}

}  // namespace skimlet::test
