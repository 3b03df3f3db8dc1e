#include "library/UnreadCounts.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <future>

#include "platform/Files.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

using test::TempDir;
using test::WriteFile;

// News, unread and read, among files and folders that are never news.
struct Folders {
  TempDir dir;
  std::string a = dir / "a/", b = dir / "b/";
  Folders() {
    MakeDirs(a + "Attachment");
    MakeDirs(a + "dir.html");  // a directory is never a news
    MakeDirs(b);
    for (const char* name : {"u1.html", "u2.htm", "r.html", ".hidden.html", "note.txt"}) WriteFile(a + name, "x");
    for (const char* name : {"u1.html", "u2.htm", ".hidden.html", "note.txt"}) SetFileReadOnly(a + name, true);
    WriteFile(b + "r.html", "x");
  }
};

TEST(UnreadCounts, CountsNewsAndUnreadThenMarksAFolderReadInOnePass) {
  Folders f;
  FolderCount a = CountFolderNews(f.a);
  EXPECT_TRUE(a.exists);
  EXPECT_EQ(a.news, 3);
  EXPECT_EQ(a.unread, 2);
  std::sort(a.unreadFiles.begin(), a.unreadFiles.end());
  EXPECT_EQ(a.unreadFiles, (std::vector<std::string>{"u1.html", "u2.htm"}));
  EXPECT_FALSE(CountFolderNews(f.dir / "none/").exists);

  std::vector<std::string> marked;
  EXPECT_EQ(MarkFoldersRead({f.a, f.b, f.dir / "none/"}, &marked), 2);
  std::sort(marked.begin(), marked.end());
  EXPECT_EQ(marked, (std::vector<std::string>{f.a + "u1.html", f.a + "u2.htm"}));
  EXPECT_EQ(CountFolderNews(f.a).unread, 0);
  EXPECT_TRUE(IsFileReadOnly(f.a + ".hidden.html"));  // not a news: left alone
  EXPECT_TRUE(IsFileReadOnly(f.a + "note.txt"));
}

TEST(UnreadCounts, TheCounterAnswersOffTheCallersThread) {
  Folders f;
  std::promise<std::vector<FolderCount>> result;
  std::thread::id counted;
  UnreadCounter counter([&](std::vector<FolderCount> counts) {
    counted = std::this_thread::get_id();
    result.set_value(std::move(counts));
  });
  counter.Count({f.b, f.a, f.a});
  auto done = result.get_future();
  ASSERT_EQ(done.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  std::vector<FolderCount> counts = done.get();
  ASSERT_EQ(counts.size(), 2u);  // each folder once
  EXPECT_NE(counted, std::this_thread::get_id());
  for (const FolderCount& c : counts) EXPECT_EQ(c.unread, c.folder == f.a ? 2 : 0);
}

}  // namespace
}  // namespace skimlet
