#include "engine/History.h"

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

std::string Line(int i) { return "01.01.2026 10:00:00  NewsURL=http://x/?id=" + std::to_string(i) + "  News " + std::to_string(i); }

TEST(HistorySnapshot, LookupIsExactNotASubstringTest) {
  HistorySnapshot snap(Line(12) + "\r\n" + Line(7) + "\r\n");
  EXPECT_TRUE(snap.Contains("http://x/?id=12"));
  EXPECT_TRUE(snap.Contains("http://x/?id=7"));
  EXPECT_FALSE(snap.Contains("http://x/?id=1"));  // a prefix of ?id=12
  EXPECT_FALSE(snap.Contains("x/?id=12"));        // a suffix
  EXPECT_FALSE(snap.Contains(""));
  // Lines the run saves itself are appended without a separator and still found.
  snap.Append(Line(3));
  snap.Append(Line(4));
  EXPECT_TRUE(snap.Contains("http://x/?id=3"));
  EXPECT_TRUE(snap.Contains("http://x/?id=4"));
  EXPECT_EQ(snap.Text(), Line(12) + "\r\n" + Line(7) + "\r\n" + Line(3) + Line(4));
}

TEST(HistorySnapshot, UrlWithDoubleBlanksAndOtherLineEndsAreFound) {
  HistorySnapshot snap("d t  NewsURL=http://a/b  c  Name\rd t  NewsURL=http://z/  N\n");
  EXPECT_TRUE(snap.Contains("http://a/b  c"));
  EXPECT_TRUE(snap.Contains("http://a/b"));  // the line also holds "NewsURL=http://a/b  "
  EXPECT_TRUE(snap.Contains("http://z/"));
}

TEST(DownloadHistory, TrimsToTheLimitAndTheFileKeepsEveryAppendUntilSaved) {
  TempDir dir;
  DownloadHistory h;
  for (int i = 0; i < 10; ++i) {
    h.Add(Line(i), 10);
    ASSERT_TRUE(AppendHistoryLine(dir.path(), Line(i)));
  }
  h.Add(Line(10), 10);
  ASSERT_TRUE(AppendHistoryLine(dir.path(), Line(10)));
  ASSERT_EQ(h.Count(), 10u);
  EXPECT_EQ(h.Lines().front(), Line(1));
  EXPECT_EQ(h.LastLine(), Line(10));
  std::string file = ReadFile(HistoryFilePath(dir.path()));
  EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 11);
  ASSERT_TRUE(h.SaveHistory(dir.path()));
  file = ReadFile(HistoryFilePath(dir.path()));
  EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 10);
  EXPECT_EQ(file.substr(0, Line(1).size() + 2), Line(1) + "\r\n");

  DownloadHistory loaded;
  loaded.LoadHistory(dir.path());
  EXPECT_EQ(loaded.Lines(), h.Lines());
  EXPECT_EQ(loaded.SnapshotText(), file);
}

TEST(DownloadHistory, EmptyListLeavesTheFileButAClearedListEmptiesIt) {
  TempDir dir;
  WriteFile(HistoryFilePath(dir.path()), Line(1) + "\r\n" + Line(2) + "\n" + Line(3) + "\r");
  DownloadHistory h;
  h.LoadHistory(dir.path());
  ASSERT_EQ(h.Count(), 3u);
  EXPECT_EQ(h.Lines().back(), Line(3));

  DownloadHistory untouched;  // never loaded, empty: the file stays
  ASSERT_TRUE(untouched.SaveHistory(dir.path()));
  EXPECT_EQ(ReadFile(HistoryFilePath(dir.path())).size(), 3 * Line(1).size() + 4);

  h.Clear();
  ASSERT_TRUE(h.SaveHistory(dir.path()));
  EXPECT_EQ(ReadFile(HistoryFilePath(dir.path())), "");
  DownloadHistory again;
  again.LoadHistory(dir.path());
  EXPECT_EQ(again.Count(), 0u);

  // Clearing and then saving one news: the file holds that one line.
  h.LoadHistory(dir.path());
  WriteFile(HistoryFilePath(dir.path()), Line(1) + "\r\n");
  h.LoadHistory(dir.path());
  h.Clear();
  h.Add(Line(9), 100);
  ASSERT_TRUE(h.SaveHistory(dir.path()));
  EXPECT_EQ(ReadFile(HistoryFilePath(dir.path())), Line(9) + "\r\n");
}

TEST(DownloadHistory, MissingOrUnreadableFileGivesAnEmptyList) {
  TempDir dir;
  DownloadHistory h;
  h.LoadHistory(dir / "nowhere/");
  EXPECT_EQ(h.Count(), 0u);
  WriteFile(dir / "history/HTMLhistory.Items.txt/inner", "x");  // a directory where the file should be
  h.LoadHistory(dir.path());
  EXPECT_EQ(h.Count(), 0u);
  EXPECT_FALSE(AppendHistoryLine(dir.path(), "line"));
}

TEST(DownloadHistory, RemoveIfPrunesChosenEntries) {
  DownloadHistory h;
  for (int i = 0; i < 5; ++i) h.Add(Line(i), 100);
  h.RemoveIf([](const std::string& l) { return l.find("id=3") != std::string::npos; });
  EXPECT_EQ(h.Count(), 4u);
  EXPECT_EQ(h.SnapshotText().find("id=3"), std::string::npos);
}

TEST(HistoryLine, HasTheStoredShape) {
  std::string line = MakeHistoryLine(0, "http://a/", "Name");
  EXPECT_NE(line.find("  NewsURL=http://a/  Name"), std::string::npos);
  EXPECT_EQ(line.substr(line.size() - 25), "  NewsURL=http://a/  Name");
}

}  // namespace
}  // namespace skimlet
