#include "library/NewsListing.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <condition_variable>
#include <mutex>

#include "platform/Files.h"
#include "store/ChannelFolders.h"
#include "store/NewsFolder.h"
#include "store/NewsMarks.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

using test::Cp;
using test::TempDir;
using test::WriteFile;

void SetTime(const std::string& path, long seconds) {
  struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

void News(const std::string& path, long seconds, bool unread = false, const std::string& text = "<p>x</p>") {
  WriteFile(path, text);
  SetTime(path, seconds);
  if (unread) SetFileReadOnly(path, true);
}

std::vector<std::string> Names(const NewsFolderListing& listing) {
  std::vector<std::string> out;
  for (const NewsFileEntry& e : listing.entries) out.push_back(e.name);
  return out;
}

TEST(NewsFolderListing, NewestFirstWithNamesAndMarksFromTheDisk) {
  TempDir dir;
  News(dir / "a.html", 100, /*unread=*/true);
  News(dir / "b.htm", 300);
  News(dir / "c.html", 200);
  News(dir / "odd.htmlx", 50);
  News(dir / "Заметка.html", 250);
  News(dir / "t.htm.html", 10);  // a title that itself ended in ".htm"
  News(dir / ".hidden.html", 400);
  News(dir / "notes.txt", 500);
  MakeDirs(dir / "folder.html");
  NewsFolderListing listing = ReadFolderNews(dir.path());
  ASSERT_TRUE(listing.complete);
  EXPECT_EQ(Names(listing), (std::vector<std::string>{"b", Cp("Заметка"), "c", "a", "odd.htmlx", "t.htm"}));
  EXPECT_TRUE(listing.anyUnread);
  const auto& e = listing.entries;
  EXPECT_TRUE(e[0].favourite && !e[0].unread);
  EXPECT_EQ(e[1].fileName, "Заметка.html");
  EXPECT_TRUE(e[3].unread && !e[3].favourite);
  EXPECT_FALSE(e[4].favourite);
  EXPECT_FALSE(HasNewsExtension(e[4].fileName));  // listed, but no news to open behind it
  EXPECT_EQ(e[0].modified, 300LL * 1000000000);

  SetFileReadOnly(dir / "a.html", false);
  EXPECT_FALSE(ReadFolderNews(dir.path()).anyUnread);
  EXPECT_TRUE(ReadFolderNews(dir / "missing/").entries.empty());
}

TEST(NewsFolderListing, EqualTimesComeInReverseEnumerationOrder) {
  std::vector<NewsFileEntry> entries;
  for (auto [name, t] : {std::pair{"e0", 5}, {"e1", 7}, {"e2", 5}, {"e3", 9}, {"e4", 5}})
    entries.push_back({name, name, false, false, t});
  SortNewsNewestFirst(entries);
  std::vector<std::string> order;
  for (const auto& e : entries) order.push_back(e.name);
  EXPECT_EQ(order, (std::vector<std::string>{"e3", "e1", "e4", "e2", "e0"}));
}

TEST(NewsFolderListing, ACancelledReadSaysSoAndTheReaderDeliversOnlyTheLatest) {
  TempDir dir;
  for (int i = 0; i < 50; ++i) News(dir / ("A/n" + std::to_string(i) + ".html"), 100 + i);
  News(dir / "B/only.html", 100);
  std::atomic<bool> cancel{true};
  EXPECT_FALSE(ReadFolderNews(dir / "A/", &cancel).complete);

  std::mutex m;
  std::condition_variable cv;
  std::vector<std::pair<std::uint64_t, std::string>> delivered;
  NewsFolderReader reader([&](std::uint64_t ticket, NewsFolderListing listing) {
    std::lock_guard lock(m);
    delivered.emplace_back(ticket, listing.dir);
    cv.notify_all();
  });
  reader.Read(dir / "A/");
  std::uint64_t last = reader.Read(dir / "B/");
  std::unique_lock lock(m);
  ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(5), [&] { return !delivered.empty() && delivered.back().first == last; }));
  EXPECT_EQ(delivered.back().second, dir / "B/");
  for (const auto& [ticket, d] : delivered) EXPECT_TRUE(ticket == last || d == dir / "A/");
}

TEST(NewsInfoPanel, HeaderValuesSizeAndAttachmentCounts) {
  TempDir dir;
  std::string text =
      "<!-- The file created from Skimlet. See x\r\nSkimletNAME:First\r\nSkimletURL:http://site/a.html\r\n"
      "SkimletNode:Site\r\nSkimletNAME:Second\r\nSkimletDate:01.02.2026\r\nSkimletTime:10:20:30\r\n-->\r\n"
      "<!-- SkimletAttLocal:111111111111111.jpg SkimletAttURL:http://site/1.jpg -->\r\n"
      "<!-- SkimletAttLocal:222222222222222.png SkimletAttURL:http://site/2.png -->\r\n"
      "<!-- SkimletAttLocal:333333333333333.css SkimletAttURL:http://site/3.css -->\r\n"
      "<!-- Skimlet DataEnd -->\r\n"
      // The page's own lines can pose as neither the name nor the address.
      "SkimletNAME:Page\r\nSkimletURL:http://elsewhere/\r\n" +
      std::string(3000, 'x');
  WriteFile(dir / "n.html", text);
  WriteFile(dir / "Attachment/222222222222222.png", "png");
  NewsInfo info = ReadNewsInfo(dir / "n.html");
  EXPECT_TRUE(info.exists);
  EXPECT_EQ(info.name, "Second");  // the later header line wins
  EXPECT_EQ(info.url, "http://site/a.html");
  EXPECT_EQ(info.date, "01.02.2026");
  EXPECT_EQ(info.time, "10:20:30");
  EXPECT_EQ(info.sizeBytes, static_cast<std::int64_t>(text.size()));
  EXPECT_EQ(info.attachments, 3);
  EXPECT_EQ(info.received, 1);
  EXPECT_EQ(info.missing, 2);

  WriteFile(dir / "plain.html", "<html>no header</html>");
  info = ReadNewsInfo(dir / "plain.html");
  EXPECT_TRUE(info.url.empty() && info.name.empty());
  EXPECT_FALSE(info.date.empty());  // the file's own date
  EXPECT_FALSE(ReadNewsInfo(dir / "gone.html").exists);
}

TEST(NewsInfoPanel, ReadNewsUrlTakesTheFirstLineWithAValue) {
  TempDir dir;
  WriteFile(dir / "a.html", "x\r\nSkimletURL:\r\nSkimletURL:http://one/\r\nSkimletURL:http://two/\r\n");
  EXPECT_EQ(ReadNewsURL(dir / "a.html"), "http://one/");
  WriteFile(dir / "cr.html", "x\rSkimletURL:http://cr/\rbody");
  EXPECT_EQ(ReadNewsURL(dir / "cr.html"), "http://cr/");
  WriteFile(dir / "none.html", "<html>SkimletURL:http://not-at-line-start/</html>");
  EXPECT_EQ(ReadNewsURL(dir / "none.html"), "");
  WriteFile(dir / "body.html", "x\r\nSkimletNAME:a\r\n-->\r\nSkimletURL:http://from-the-page/\r\n");
  EXPECT_EQ(ReadNewsURL(dir / "body.html"), "");
  EXPECT_EQ(ReadNewsURL(dir / "missing.html"), "");
}

// A channel's trial run names the folder that saved an address already.
TEST(SavedNewsIndex, NamesTheFolderWhoseNewsHeaderHoldsTheAddress) {
  TempDir dir;
  auto saved = [&](const std::string& file, const std::string& url, const std::string& body = "<p>x</p>") {
    WriteFile(dir / ("Accounts/" + file), "<!-- The file created from Skimlet.\r\nSkimletNAME:n\r\nSkimletURL:" + url +
                                              "\r\n-->\r\n" + body);
  };
  saved("Вести/a.html", "http://s/1");
  saved("Вести/Спорт/b.htm", "http://s/2", "SkimletURL:http://s/in-the-body\r\n");
  saved("Вести/Спорт/Attachment/c.html", "http://s/picture-folder");
  saved("Другой/Новости/d.html", "http://s/1");  // the first folder in tree order is named
  saved("Другой/Новости/e.html", "http://s/3");
  saved("Другой/Новости/.hidden.html", "http://s/hidden");
  WriteFile(dir / "Accounts/Другой/Новости/plain.html", "<html>SkimletURL:http://s/plain</html>");
  ChannelTree tree(dir.path());
  tree.BuildChannelTree(tree.AccountsDir(), nullptr, false);
  SavedNewsIndex index;
  index.Build(tree);
  EXPECT_EQ(index.Size(), 3u);
  const struct {
    const char* url;
    const char* folder;
  } cases[] = {
      {"http://s/1", "Вести"},           {"http://s/2", "Вести/Спорт"},    {"http://s/3", "Другой/Новости"},
      {"http://s/in-the-body", ""},      {"http://s/picture-folder", ""},  {"http://s/hidden", ""},
      {"http://s/plain", ""},            {"http://s/", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(index.FolderOf(c.url), Cp(c.folder)) << c.url;
}

TEST(NewsRename, KeepsTheEndingAndTheReadMark) {
  TempDir dir;
  News(dir / "old.html", 100, /*unread=*/true, "one");
  News(dir / "fav.htm", 100, false, "two");
  NewsRenameResult r = RenameNewsFile(dir / "old.html", "  Новое имя ");
  EXPECT_EQ(r.problem, "");
  EXPECT_EQ(r.newPath, dir / "Новое имя.html");
  EXPECT_EQ(test::ReadFile(r.newPath), "one");
  EXPECT_TRUE(IsFileReadOnly(r.newPath));
  EXPECT_FALSE(FileExists(dir / "old.html"));
  r = RenameNewsFile(dir / "fav.htm", "star");
  EXPECT_EQ(r.newPath, dir / "star.htm");
  // The same name again changes nothing and is no fault.
  r = RenameNewsFile(dir / "star.htm", "star");
  EXPECT_EQ(r.problem, "");
  EXPECT_EQ(r.newPath, dir / "star.htm");
}

TEST(NewsRename, RefusedNamesChangeNothing) {
  TempDir dir;
  News(dir / "a.html", 100, false, "a");
  News(dir / "b.html", 100, false, "b");
  News(dir / "c.htm", 100, false, "c");
  const std::string cases[] = {"", "   ", "x/y", std::string("nul\0x", 5), "tab\there", "bell\x07", ".hidden",
                               std::string(251, 'n'), "смайл 😀", "b", "c"};
  for (const std::string& name : cases) {
    NewsRenameResult r = RenameNewsFile(dir / "a.html", name);
    EXPECT_NE(r.problem, "") << name;
    EXPECT_EQ(r.newPath, dir / "a.html") << name;
  }
  EXPECT_EQ(RenameNewsFile(dir / "a.html", "b").problem, NewsNameTakenText());
  EXPECT_EQ(RenameNewsFile(dir / "a.html", "c").problem, NewsNameTakenText());  // a favourite of that name
  EXPECT_EQ(test::ReadFile(dir / "a.html"), "a");
  EXPECT_EQ(test::ReadFile(dir / "b.html"), "b");
  EXPECT_EQ(test::ReadFile(dir / "c.htm"), "c");
  // 250 bytes plus ".html" is the longest name that fits.
  EXPECT_EQ(RenameNewsFile(dir / "a.html", std::string(250, 'n')).problem, "");
  EXPECT_EQ(NewsNameProblem(std::string(125, '\xd0') , ".html").empty(), false);  // not UTF-8 text
}

TEST(NewsFavourite, RenamesBothWaysAndNeverOverAnotherNews) {
  TempDir dir;
  News(dir / "n.html", 100, /*unread=*/true, "news");
  NewsRenameResult r = SetNewsFavourite(dir / "n.html", true);
  EXPECT_EQ(r.problem, "");
  EXPECT_EQ(r.newPath, dir / "n.htm");
  EXPECT_TRUE(IsFileReadOnly(dir / "n.htm"));  // still unread
  EXPECT_EQ(SetNewsFavourite(dir / "n.htm", true).newPath, dir / "n.htm");  // already one
  r = SetNewsFavourite(dir / "n.htm", false);
  EXPECT_EQ(r.newPath, dir / "n.html");

  News(dir / "n.htm", 100, false, "other");
  r = SetNewsFavourite(dir / "n.html", true);
  EXPECT_EQ(r.problem, NewsNameTakenText());
  EXPECT_EQ(r.newPath, dir / "n.html");
  EXPECT_EQ(test::ReadFile(dir / "n.html"), "news");
  EXPECT_EQ(test::ReadFile(dir / "n.htm"), "other");
  EXPECT_EQ(SetNewsFavourite(dir / "n.htm", false).problem, NewsNameTakenText());
}

TEST(NewsHistory, ALineHoldsAnAddressOnlyWhenItIsFollowedByTwoBlanks) {
  const std::string line = "01.02.2026 10:00:00  NewsURL=http://site/a.html  Title";
  EXPECT_TRUE(HistoryLineHoldsUrl(line, "http://site/a.html"));
  EXPECT_FALSE(HistoryLineHoldsUrl(line, "http://site/a"));
  EXPECT_FALSE(HistoryLineHoldsUrl("x  NewsURL=http://site/a.html2  T", "http://site/a.html"));
  EXPECT_FALSE(HistoryLineHoldsUrl("x  NewsURL=http://site/a.html T", "http://site/a.html"));
}

}  // namespace
}  // namespace skimlet

namespace skimlet {
namespace {

// A news whose head lists these pictures, as SaveNews writes it.
void NewsWithPictures(const std::string& path, std::initializer_list<const char*> locals, bool inTheBody = false) {
  std::string block;
  for (const char* local : locals)
    block += std::string("<!-- SkimletAttLocal:") + local + " SkimletAttURL:http://x/" + local + " -->\r\n";
  std::string head = "<!-- The file created from Skimlet.\r\nSkimletNAME:n\r\nSkimletURL:http://x/n\r\n-->\r\n";
  WriteFile(path, inTheBody ? head + "<!-- Skimlet DataEnd -->\r\n<p>" + block
                            : head + block + "<!-- Skimlet DataEnd -->\r\n<p>text</p>");
}

TEST(NewsPictures, OnlyThePicturesNoOtherNewsListsGoWithTheNews) {
  TempDir dir;
  const std::string folder = dir / "f/", att = folder + "Attachment/";
  MakeDirs(att);
  for (const char* p : {"111111111111111.jpg", "222222222222222.jpg", "333333333333333.jpg", "444444444444444.jpg"})
    WriteFile(att + p, "img");
  NewsWithPictures(folder + "a.html", {"111111111111111.jpg", "222222222222222.jpg", "555555555555555.jpg"});
  NewsWithPictures(folder + "b.htm", {"333333333333333.jpg"});
  NewsWithPictures(folder + "c.html", {"222222222222222.jpg"});  // shares one with a
  NewsWithPictures(folder + "d.html", {"444444444444444.jpg"}, /*inTheBody=*/true);  // a page's text, not a block
  // 555… never arrived; 222… stays for c.
  EXPECT_EQ(AttachmentsOnlyTheyList({folder + "a.html"}), std::vector<std::string>{att + "111111111111111.jpg"});
  EXPECT_EQ(AttachmentsOnlyTheyList({folder + "a.html", folder + "c.html"}),
            (std::vector<std::string>{att + "111111111111111.jpg", att + "222222222222222.jpg"}));
  EXPECT_EQ(AttachmentsOnlyTheyList({folder + "b.htm"}), std::vector<std::string>{att + "333333333333333.jpg"});
  EXPECT_TRUE(AttachmentsOnlyTheyList({folder + "d.html"}).empty());
}

}  // namespace
}  // namespace skimlet
