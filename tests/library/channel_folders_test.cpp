#include "store/ChannelFolders.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>

#include "platform/Files.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

using test::Cp;
using test::TempDir;
using test::WriteFile;

// Accounts/A/{B,C} and Accounts/D, with some noise that must never become a node.
struct Fixture {
  TempDir dir;
  ChannelTree tree{dir.path()};
  Fixture() {
    for (const char* d : {"A/B", "A/C/deep", "A/Attachment", "A/.hidden", "D", "D/Attachment"})
      MakeDirs(dir / (std::string("Accounts/") + d));
    WriteFile(dir / "Accounts/A/file.html", "x");
    tree.BuildChannelTree(tree.AccountsDir(), nullptr, false);
  }
  std::string Path(const char* rel) { return dir / (std::string("Accounts/") + rel); }
  NodePtr Node(int i) { return tree.NodeAt(i); }
};

std::vector<std::string> Captions(const ChannelTree& tree) {
  std::vector<std::string> out;
  for (const NodePtr& n : tree.InTreeOrder()) out.push_back(std::string(tree.Level(n), '-') + tree.Caption(n));
  return out;
}

TEST(ChannelTreeBuild, TwoLevelsInTreeOrderWithoutAttachmentOrDotNames) {
  Fixture f;
  EXPECT_EQ(Captions(f.tree), (std::vector<std::string>{"A", "-B", "-C", "D"}));
  EXPECT_EQ(f.tree.FolderPath(f.Node(2)), f.Path("A/C/"));
  EXPECT_EQ(ChannelTree::RootChannel(f.Node(2)), f.Node(0));
  EXPECT_EQ(f.tree.NextInTreeOrder(f.Node(2)), f.Node(3));
  EXPECT_EQ(f.tree.NextInTreeOrder(f.Node(3)), nullptr);
  EXPECT_EQ(f.tree.AbsoluteIndex(f.Node(3)), 3);
  EXPECT_EQ(f.tree.NodeAt(4), nullptr);
  EXPECT_EQ(f.tree.Outline(), "A\r\n\tB\r\n\tC\r\nD\r\n");
}

TEST(ChannelTreeBuild, CyrillicNamesAreUtf8OnDiskAndWindows1251InCaptions) {
  TempDir dir;
  MakeDirs(dir / "Accounts/Лента/Новости");
  ChannelTree tree(dir.path());
  tree.BuildChannelTree(tree.AccountsDir(), nullptr, false);
  ASSERT_EQ(tree.InTreeOrder().size(), 2u);
  NodePtr rubric = tree.NodeAt(1);
  EXPECT_EQ(tree.Caption(rubric), Cp("Новости"));
  EXPECT_EQ(tree.FolderPath(rubric), dir / "Accounts/Лента/Новости/");
  EXPECT_EQ(tree.FolderPathText(rubric), Cp(dir / "Accounts/Лента/Новости/"));
}

TEST(FolderMarks, CheckMarkLivesInTheHiddenAttributeFileNotInPermissions) {
  Fixture f;
  NodePtr b = f.Node(1);
  EXPECT_FALSE(f.tree.IsChecked(b));
  f.tree.WriteFolderCheck(b, true);
  EXPECT_TRUE(f.tree.IsChecked(b));
  EXPECT_EQ(f.tree.ImageIndex(b), kImageChecked);
  struct stat st {};
  ASSERT_EQ(stat(f.Path("A/B").c_str(), &st), 0);
  EXPECT_NE(st.st_mode & S_IWUSR, 0u);  // a checked folder still receives news
  // A new tree reads the mark back from disk.
  ChannelTree again(f.dir.path());
  again.BuildChannelTree(again.AccountsDir(), nullptr, false);
  EXPECT_TRUE(again.IsChecked(again.NodeAt(1)));
  f.tree.WriteFolderCheck(b, false);
  EXPECT_EQ(f.tree.ImageIndex(b), kImageUnchecked);
  EXPECT_EQ(ReadFolderAttributes(f.Path("A/B")), 0u);
}

TEST(FolderMarks, UnreadNewsMakeFolderAndChannelBoldUntilRescanned) {
  Fixture f;
  NodePtr a = f.Node(0), b = f.Node(1), c = f.Node(2);
  std::string news = f.Path("A/B/Story.html");
  WriteFile(news, "x");
  SetFileReadOnly(news, true);
  WriteFile(f.Path("A/C/Read.html"), "x");
  f.tree.ScanAllFoldersUnread();
  EXPECT_TRUE(f.tree.IsBold(a));
  EXPECT_TRUE(f.tree.IsBold(b));
  EXPECT_FALSE(f.tree.IsBold(c));
  EXPECT_EQ(ReadFolderAttributes(f.Path("A/B")) & kAttrArchive, 0u);
  EXPECT_NE(ReadFolderAttributes(f.Path("A/C")) & kAttrArchive, 0u);

  SetFileReadOnly(news, false);  // read
  f.tree.ScanFolderUnread(b);
  EXPECT_FALSE(f.tree.IsBold(b));
  EXPECT_FALSE(f.tree.IsBold(a));  // the channel folder itself holds nothing unread

  // A channel holding unread news itself stays bold after a rubric loses its mark.
  WriteFile(f.Path("A/Own.htm"), "x");
  SetFileReadOnly(f.Path("A/Own.htm"), true);
  f.tree.ScanFolderUnread(a);
  SetFileReadOnly(news, true);
  f.tree.ScanFolderUnread(b);
  SetFileReadOnly(news, false);
  f.tree.ScanFolderUnread(b);
  EXPECT_TRUE(f.tree.IsBold(a));
}

TEST(FolderMarks, WriteFolderCheckClearsTheArchiveBitSoTheChannelStaysBold) {
  Fixture f;
  NodePtr a = f.Node(0), b = f.Node(1);
  f.tree.ScanAllFoldersUnread();  // nothing unread: archive set everywhere
  ASSERT_NE(ReadFolderAttributes(f.Path("A")) & kAttrArchive, 0u);
  f.tree.WriteFolderCheck(a, true);
  EXPECT_EQ(ReadFolderAttributes(f.Path("A")), kAttrReadOnly);
  f.tree.MarkNodeUnread(b, true);
  f.tree.MarkNodeUnread(b, false);
  EXPECT_FALSE(f.tree.IsBold(b));
  EXPECT_TRUE(f.tree.IsBold(a));  // archive clear: A counts as holding unread news
}

TEST(FolderNodes, AddAndRemoveKeepIdentityAndOrder) {
  Fixture f;
  NodePtr a = f.Node(0);
  MakeDirs(f.Path("A/E"));
  NodePtr e = f.tree.AddFolderNode("E", a, true);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(Captions(f.tree), (std::vector<std::string>{"A", "-B", "-C", "-E", "D"}));
  EXPECT_TRUE(f.tree.IsChecked(e));
  EXPECT_EQ(f.tree.AddFolderNode("missing", a, true), nullptr);
  EXPECT_EQ(f.tree.AddFolderNode("..", a, true), nullptr);

  NodePtr c = f.Node(2);
  f.tree.RemoveNode(c);
  EXPECT_EQ(Captions(f.tree), (std::vector<std::string>{"A", "-B", "-E", "D"}));
  // A run holding the removed node can still use it.
  EXPECT_EQ(f.tree.Caption(c), "C");
  EXPECT_EQ(f.tree.FolderPath(c), f.Path("A/C/"));
}

// Another process changes Accounts/; the listings of the changed directories tell which
// folders are new channels or rubrics and which nodes are gone, and the new nodes take
// their place in the tree's order.
TEST(FolderNodes, DiffWithDiskFindsNewAndGoneFoldersWhereTheyChanged) {
  const std::string macro = "Skimlet-macros.ini";
  struct Case {
    const char* name;
    std::function<void(Fixture&)> change;
    std::vector<std::string> changed;  // below Accounts/
    std::vector<std::string> added, removed, held, waiting, after;
  };
  const std::vector<Case> cases = {
      {"a channel with rubrics; one rubric has no macro yet",
       [&](Fixture& f) {
         WriteFile(f.Path("Bee/") + macro, "0");
         WriteFile(f.Path("Bee/R/") + macro, "0");
         MakeDirs(f.Path("Bee/S"));
       },
       {""}, {"Bee", "Bee/R"}, {}, {}, {"Bee/S/"}, {"A", "-B", "-C", "Bee", "-R", "D"}},
      {"no macro, a dot-name, Attachment: no channels",
       [&](Fixture& f) {
         MakeDirs(f.Path("E"));
         WriteFile(f.Path(".part/") + macro, "0");
         WriteFile(f.Path("Attachment/") + macro, "0");
       },
       {""}, {}, {}, {}, {"E/"}, {"A", "-B", "-C", "D"}},
      {"the macro arrives in a waiting folder", [&](Fixture& f) { WriteFile(f.Path("0/") + macro, "0"); },
       {"0/"}, {"0"}, {}, {}, {}, {"0", "A", "-B", "-C", "D"}},
      {"a channel gone, seen from its own directory",
       [&](Fixture& f) { std::filesystem::remove_all(f.Path("D")); }, {"D/"}, {}, {"D"}, {}, {}, {"A", "-B", "-C"}},
      {"a rubric renamed: gone plus new",
       [&](Fixture& f) {
         std::filesystem::rename(f.Path("A/C"), f.Path("A/AC"));
         WriteFile(f.Path("A/AC/") + macro, "0");
       },
       {"A/"}, {"A/AC"}, {"A/C"}, {}, {}, {"A", "-AC", "-B", "D"}},
      {"a channel a run is downloading stays",
       [&](Fixture& f) {
         f.tree.SetImageIndex(f.Node(1), kImageDownloading);
         std::filesystem::remove_all(f.Path("A"));
       },
       {""}, {}, {}, {"A"}, {}, {"A", "-B", "-C", "D"}},
      {"a new rubric is not looked for when only a rubric changed, nor outside Accounts/",
       [&](Fixture& f) {
         WriteFile(f.Path("A/N/") + macro, "0");
         WriteFile(f.Path("A/B/news.html"), "x");
       },
       {"A/B/", "../elsewhere/"}, {}, {}, {}, {}, {"A", "-B", "-C", "D"}},
      {"a rubric being made is looked for in its channel", [&](Fixture& f) { WriteFile(f.Path("A/N/") + macro, "0"); },
       {"A/N/"}, {"A/N"}, {}, {}, {}, {"A", "-B", "-C", "-N", "D"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    c.change(f);
    std::vector<std::string> changed;
    for (const std::string& rel : c.changed) changed.push_back(f.tree.AccountsDir() + rel);
    FolderDiff diff = f.tree.DiffWithDisk(changed);
    auto relative = [&](const std::vector<NodePtr>& nodes) {
      std::vector<std::string> out;
      for (const NodePtr& node : nodes) out.push_back(f.tree.RelativePath(node));
      return out;
    };
    std::vector<std::string> waiting;
    for (const std::string& path : diff.waiting) waiting.push_back(path.substr(f.tree.AccountsDir().size()));
    EXPECT_EQ(diff.added, c.added);
    EXPECT_EQ(relative(diff.removed), c.removed);
    EXPECT_EQ(relative(diff.held), c.held);
    EXPECT_EQ(waiting, c.waiting);
    for (const NodePtr& node : diff.removed) f.tree.RemoveNode(node);
    for (const std::string& rel : diff.added) {
      std::size_t slash = rel.find('/');
      NodePtr parent = slash == std::string::npos ? nullptr : f.tree.NodeByRelativePath(rel.substr(0, slash));
      EXPECT_NE(f.tree.InsertFolderNode(rel.substr(slash == std::string::npos ? 0 : slash + 1), parent), nullptr);
    }
    EXPECT_EQ(Captions(f.tree), c.after);
    FolderDiff again = f.tree.DiffWithDisk(changed);  // the tree now matches the disk there
    EXPECT_TRUE(again.added.empty() && again.removed.empty());
  }
}

TEST(FolderNames, UnsafeNamesAreRefused) {
  for (const char* bad : {"", ".", "..", "a/b", "a\\b", "tab\there"}) EXPECT_FALSE(IsSafeFolderName(bad)) << bad;
  EXPECT_TRUE(IsSafeFolderName(Cp("Новости дня")));
  EXPECT_TRUE(IsSafeFolderName("..."));
  EXPECT_FALSE(IsSafeFolderName(std::string(128, '\xC0')));  // 256 bytes as UTF-8
}

TEST(FolderNames, NewsFilesAreStarDotHtStar) {
  for (const char* good : {"a.html", "a.htm", "a.HTML", "x.y.ht"}) EXPECT_TRUE(IsNewsFileName(good)) << good;
  for (const char* bad : {".a.html", "a.txt", "html", "a.h"}) EXPECT_FALSE(IsNewsFileName(bad)) << bad;
}

}  // namespace
}  // namespace skimlet
