#include "store/ChannelFolders.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

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
