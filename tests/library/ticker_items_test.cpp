// The ticker's list of unread news and the arithmetic of its ribbon.
#include "library/TickerItems.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include "platform/Files.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

using test::Cp;
using test::TempDir;

std::vector<std::string> Paths(const TickerItems& items) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < items.Count(); ++i) out.push_back(items.At(i).path);
  return out;
}

TEST(TickerList, UniqueByExactPathInOrderOfArrival) {
  TickerItems items;
  EXPECT_TRUE(items.Add(nullptr, "a", "/x/a.html"));
  EXPECT_TRUE(items.Add(nullptr, "b", "/x/b.html"));
  EXPECT_FALSE(items.Add(nullptr, "a again", "/x/a.html"));
  EXPECT_TRUE(items.Add(nullptr, "A", "/x/A.html"));  // case counts
  EXPECT_EQ(Paths(items), (std::vector<std::string>{"/x/a.html", "/x/b.html", "/x/A.html"}));
  EXPECT_EQ(items.At(0).name, "a");
}

TEST(TickerList, RemovalKeepsTheOthersInOrderAndFreesThePath) {
  TickerItems items;
  for (const char* p : {"/1", "/2", "/3", "/4"}) items.Add(nullptr, p, p);
  EXPECT_TRUE(items.Remove("/2"));
  EXPECT_FALSE(items.Remove("/2"));
  EXPECT_EQ(Paths(items), (std::vector<std::string>{"/1", "/3", "/4"}));
  // Positions after the removed one still resolve: removing and re-adding works anywhere.
  EXPECT_TRUE(items.Remove("/4"));
  EXPECT_TRUE(items.Add(nullptr, "2", "/2"));
  EXPECT_TRUE(items.Remove("/3"));
  EXPECT_EQ(Paths(items), (std::vector<std::string>{"/1", "/2"}));
}

TEST(TickerList, AFolderSyncedToItsUnreadNewsKeepsOtherFoldersAndOrder) {
  TickerItems items;
  for (const char* p : {"/x/a.html", "/y/b.html", "/x/c.html", "/x/sub/d.html"}) items.Add(nullptr, p, p);
  EXPECT_TRUE(items.SyncFolder(nullptr, "/x/", {"c.html", "e.htm"}));
  EXPECT_EQ(Paths(items), (std::vector<std::string>{"/y/b.html", "/x/c.html", "/x/sub/d.html", "/x/e.htm"}));
  EXPECT_EQ(items.At(3).name, "e");
  EXPECT_FALSE(items.SyncFolder(nullptr, "/x/", {"c.html", "e.htm"}));
  EXPECT_TRUE(items.Remove("/x/sub/d.html"));  // positions still resolve after a sync
  EXPECT_TRUE(items.Remove("/x/e.htm"));
}

TEST(TickerList, HoldsAtMostTenThousand) {
  TickerItems items;
  for (std::size_t i = 0; i < kTickerMaxItems; ++i) ASSERT_TRUE(items.Add(nullptr, "n", "/" + std::to_string(i)));
  EXPECT_FALSE(items.Add(nullptr, "n", "/one-more"));
  EXPECT_EQ(items.Count(), 10000u);
  items.Remove("/0");
  EXPECT_TRUE(items.Add(nullptr, "n", "/one-more"));
  EXPECT_EQ(items.At(9999).path, "/one-more");
}

TEST(TickerList, ARenamedNewsKeepsItsPlaceUnderItsNewName) {
  TickerItems items;
  items.Add(nullptr, "a", "/a.html");
  items.Add(nullptr, "b", "/b.html");
  EXPECT_TRUE(items.Rename("/a.html", "/a.htm", "a"));
  EXPECT_TRUE(items.Rename("/b.html", "/c.html", "c"));
  EXPECT_EQ(Paths(items), (std::vector<std::string>{"/a.htm", "/c.html"}));
  EXPECT_EQ(items.At(1).name, "c");
  EXPECT_FALSE(items.Add(nullptr, "c", "/c.html"));
  EXPECT_TRUE(items.Add(nullptr, "b", "/b.html"));
  // Renamed onto a listed path: one entry stays.
  EXPECT_TRUE(items.Rename("/b.html", "/c.html", "c"));
  EXPECT_EQ(Paths(items), (std::vector<std::string>{"/a.htm", "/c.html"}));
  EXPECT_FALSE(items.Rename("/none", "/x", "x"));
}

TEST(TickerList, BareNamesOfOrdinaryAndFavouriteFiles) {
  EXPECT_EQ(TickerNameOf("Новость.html"), "Новость");
  EXPECT_EQ(TickerNameOf("Новость.htm"), "Новость");
  EXPECT_EQ(TickerNameOf("page.shtml"), "page.shtml");
  EXPECT_EQ(TickerNameOf("page.htmx"), "page");
  EXPECT_EQ(TickerNameOf("no extension"), "no extension");
}

struct Folders {
  TempDir dir;
  ChannelTree tree{dir.path()};
  void News(const std::string& rel, bool unread, long mtime) {
    std::string path = dir / ("Accounts/" + rel);
    test::WriteFile(path, "x");
    utimbuf t{mtime, mtime};
    ::utime(path.c_str(), &t);
    SetFileReadOnly(path, unread);
  }
  void Build() {
    tree.BuildChannelTree(tree.AccountsDir(), nullptr, false);
    tree.ScanAllFoldersUnread();
  }
};

TEST(TickerRebuild, UnreadNewsOfUnreadFoldersInTreeOrderOldestFirst) {
  Folders f;
  f.News("Site/late.html", true, 2000);
  f.News("Site/early.htm", true, 1000);
  f.News("Site/read.html", false, 500);
  f.News("Site/.hidden.html", true, 500);
  f.News("Site/Рубрика/новость.html", true, 10);
  MakeDirs(f.dir / "Accounts/Quiet");
  f.News("Zed/z.html", true, 1);
  f.Build();
  std::vector<TickerEntry> all = CollectUnreadNews(f.tree);
  ASSERT_EQ(all.size(), 4u);
  EXPECT_EQ(all[0].name, "early");
  EXPECT_EQ(all[1].name, "late");
  EXPECT_EQ(all[2].name, Cp("новость"));
  EXPECT_EQ(all[2].path, f.dir / "Accounts/Site/Рубрика/новость.html");
  EXPECT_EQ(f.tree.Caption(all[2].node), Cp("Рубрика"));
  EXPECT_EQ(all[3].path, f.dir / "Accounts/Zed/z.html");
  EXPECT_EQ(CollectUnreadNews(f.tree, 3).size(), 3u);
}

TEST(TickerRebuild, AFolderMarkedUnreadButHoldingNoUnreadNewsGivesNothing) {
  Folders f;
  f.News("Site/read.html", false, 1);
  f.tree.BuildChannelTree(f.tree.AccountsDir(), nullptr, false);
  f.tree.MarkNodeUnread(f.tree.NodeAt(0), true);
  EXPECT_TRUE(CollectUnreadNews(f.tree).empty());
}

TEST(TickerRibbon, SpeedsAndTheRestartAfterTheWholeRibbon) {
  EXPECT_EQ(ribbon::Step(0), 3);  // 60 pixels a second at 20 ticks
  EXPECT_EQ(ribbon::Step(1), 1);
  EXPECT_EQ(ribbon::Step(2), 0);  // stands still
  // 2 entries in a 300-pixel window: the ribbon is 2 * 220 + 300 long.
  EXPECT_EQ(ribbon::Advance(739, 1, 300, 2), 740);
  EXPECT_EQ(ribbon::Advance(740, 1, 300, 2), 0);
  EXPECT_EQ(ribbon::Advance(10, 0, 300, 2), 10);
  EXPECT_EQ(ribbon::Advance(300, 3, 300, 0), 0);
}

TEST(TickerRibbon, OnlyTheCellsInTheWindowAreVisited) {
  // Offset 220 in a 600-pixel window: the first cell starts at 380.
  ribbon::Range r = ribbon::Visible(220, 600, 10000);
  EXPECT_EQ(r.first, 0u);
  EXPECT_EQ(r.last, 2u);  // cells at 380 and 600 (its line at 600 - 220 < 600 is drawn)
  // Deep into a long ribbon only a handful are visible.
  r = ribbon::Visible(220 * 5000, 600, 10000);
  EXPECT_LE(r.last - r.first, 600u / 220 + 3);
  for (std::size_t i = r.first; i < r.last; ++i) {
    long long x = ribbon::CellLeft(220 * 5000, 600, i);
    EXPECT_TRUE(x + 220 > 0 && x - 220 < 600) << i;
  }
  EXPECT_LE(ribbon::CellLeft(220 * 5000, 600, r.first - 1) + 220, 0);
  EXPECT_GE(ribbon::CellLeft(220 * 5000, 600, r.last) - 220, 600);
  r = ribbon::Visible(0, 600, 3);  // only the first cell, still behind the right edge
  EXPECT_EQ(r.first, 0u);
  EXPECT_EQ(r.last, 1u);
  r = ribbon::Visible(100, 600, 0);
  EXPECT_EQ(r.first, r.last);
}

TEST(TickerRibbon, WhichEntryAPointIsOn) {
  // Offset 700 in a 600-pixel window: cell 0 spans -100..120, cell 1 120..340.
  EXPECT_EQ(ribbon::EntryAt(10, 700, 600, 3), 0);
  EXPECT_EQ(ribbon::EntryAt(121, 700, 600, 3), 1);
  EXPECT_EQ(ribbon::EntryAt(120, 700, 600, 3), -1);  // on the line between
  EXPECT_EQ(ribbon::EntryAt(590, 700, 600, 3), -1);  // past the last entry
  EXPECT_EQ(ribbon::EntryAt(10, 0, 600, 3), -1);     // before the first
}

TEST(TickerRibbon, DraggingPastTheStartJumpsToTheEnd) {
  EXPECT_EQ(ribbon::Dragged(100, 50, 600, 4), 150);
  EXPECT_EQ(ribbon::Dragged(100, -40, 600, 4), 60);
  EXPECT_EQ(ribbon::Dragged(100, -100, 600, 4), 4 * 220 + 600 - 3);
}

}  // namespace
}  // namespace skimlet
