#include "store/History.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>
#include <string>
#include <vector>

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
  ASSERT_TRUE(h.SaveHistory(dir.path(), 10));
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
  ASSERT_TRUE(untouched.SaveHistory(dir.path(), 100));
  EXPECT_EQ(ReadFile(HistoryFilePath(dir.path())).size(), 3 * Line(1).size() + 4);

  h.Clear();
  ASSERT_TRUE(h.SaveHistory(dir.path(), 100));
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
  ASSERT_TRUE(AppendHistoryLine(dir.path(), Line(9)));
  ASSERT_TRUE(h.SaveHistory(dir.path(), 100));
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


// Several processes share one history file: lines are only ever added by appends, and a
// rewrite starts from what the file holds, so nobody's lines are lost or doubled.

std::vector<std::string> FileLines(const std::string& dataDir) {
  std::vector<std::string> lines;
  std::string text = ReadFile(HistoryFilePath(dataDir));
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t end = text.find("\r\n", pos);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 2;
  }
  return lines;
}

std::string ProcessLine(int process, int i) { return Line(process * 1000 + i); }

// In a child: appends its lines; every fifth time it loads the history, removes its own
// previous line and rewrites the file while the others go on appending.
[[noreturn]] void AppendAndRewrite(const std::string& dataDir, int process, int lines) {
  int failures = 0;
  for (int i = 0; i < lines; ++i) {
    if (!AppendHistoryLine(dataDir, ProcessLine(process, i))) ++failures;
    if (i % 5 == 4) {
      DownloadHistory h;
      h.LoadHistory(dataDir);
      const std::string previous = ProcessLine(process, i - 1);
      h.RemoveIf([&](const std::string& l) { return l == previous; });
      if (!h.SaveHistory(dataDir, 1000000)) ++failures;
    }
  }
  _exit(failures == 0 ? 0 : 1);
}

TEST(HistoryAcrossProcesses, AppendsAndRewritesAtOnceLoseAndDoubleNothing) {
  TempDir dir;
  constexpr int kProcesses = 4, kLines = 150;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) AppendAndRewrite(dir.path(), p, kLines);
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  std::multiset<std::string> expected;
  for (int p = 0; p < kProcesses; ++p)
    for (int i = 0; i < kLines; ++i)
      if (i % 5 != 3) expected.insert(ProcessLine(p, i));  // each process removed these
  std::vector<std::string> lines = FileLines(dir.path());
  EXPECT_EQ(std::multiset<std::string>(lines.begin(), lines.end()), expected);
  // Each process's own lines stay in the order it wrote them.
  for (int p = 0; p < kProcesses; ++p) {
    int last = -1;
    for (const std::string& l : lines) {
      int n = std::stoi(l.substr(l.rfind('=') + 1));
      if (n / 1000 != p) continue;
      EXPECT_GT(n % 1000, last);
      last = n % 1000;
    }
  }
}

TEST(HistoryAcrossProcesses, AnotherProcessesSaveDoesNotBringBackWhatWasDeleted) {
  TempDir dir;
  for (int i = 1; i <= 5; ++i) ASSERT_TRUE(AppendHistoryLine(dir.path(), Line(i)));
  DownloadHistory window, other;  // two processes that both loaded lines 1 to 5
  window.LoadHistory(dir.path());
  other.LoadHistory(dir.path());
  window.RemoveIf([](const std::string& l) { return l == Line(3); });
  ASSERT_TRUE(AppendHistoryLine(dir.path(), Line(6)));  // saved meanwhile by a third
  EXPECT_EQ(window.SnapshotText(), Line(1) + "\r\n" + Line(2) + "\r\n" + Line(4) + "\r\n" + Line(5) + "\r\n" +
                                       Line(6) + "\r\n");
  ASSERT_TRUE(window.SaveHistory(dir.path(), 100));
  EXPECT_EQ(FileLines(dir.path()), (std::vector<std::string>{Line(1), Line(2), Line(4), Line(5), Line(6)}));
  EXPECT_EQ(window.Count(), 5u);  // the list now shows the third process's line too

  other.Add(Line(7), 100);
  ASSERT_TRUE(AppendHistoryLine(dir.path(), Line(7)));
  ASSERT_TRUE(other.SaveHistory(dir.path(), 100));  // it still holds line 3 in its memory
  EXPECT_EQ(FileLines(dir.path()), (std::vector<std::string>{Line(1), Line(2), Line(4), Line(5), Line(6), Line(7)}));
}

TEST(HistoryAcrossProcesses, ClearedStaysClearedAndKeepsWhatOthersSavedSince) {
  TempDir dir;
  for (int i = 1; i <= 3; ++i) ASSERT_TRUE(AppendHistoryLine(dir.path(), Line(i)));
  DownloadHistory window;
  window.LoadHistory(dir.path());
  ASSERT_TRUE(AppendHistoryLine(dir.path(), Line(4)));  // another process, unseen by the window
  window.Add(Line(5), 2);                               // the window's own run; the list keeps 2
  ASSERT_TRUE(AppendHistoryLine(dir.path(), Line(5)));
  window.Add(Line(6), 2);
  ASSERT_TRUE(AppendHistoryLine(dir.path(), Line(6)));
  window.Clear();
  EXPECT_EQ(window.Count(), 0u);
  ASSERT_TRUE(AppendHistoryLine(dir.path(), Line(7)));  // another process, after the clear
  // A run started now does not skip what was cleared.
  EXPECT_EQ(window.SnapshotText(), Line(4) + "\r\n" + Line(7) + "\r\n");
  ASSERT_TRUE(window.SaveHistory(dir.path(), 100));
  EXPECT_EQ(FileLines(dir.path()), (std::vector<std::string>{Line(4), Line(7)}));

  // A save with nothing removed and nothing to trim leaves the file as it is.
  struct stat before {}, after {};
  ASSERT_EQ(stat(HistoryFilePath(dir.path()).c_str(), &before), 0);
  ASSERT_TRUE(window.SaveHistory(dir.path(), 100));
  ASSERT_EQ(stat(HistoryFilePath(dir.path()).c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);
  // Trimming keeps the newest lines, whoever saved them.
  ASSERT_TRUE(AppendHistoryLine(dir.path(), Line(8)));
  ASSERT_TRUE(window.SaveHistory(dir.path(), 2));
  EXPECT_EQ(FileLines(dir.path()), (std::vector<std::string>{Line(7), Line(8)}));
}

TEST(HistoryFile, ATornLastLineIsEndedBeforeTheNextAppend) {
  TempDir dir;
  WriteFile(HistoryFilePath(dir.path()), Line(1) + "\r\n01.01.2026 10:00:00  NewsURL=http://x/?i");
  ASSERT_TRUE(AppendHistoryLine(dir.path(), Line(2)));
  EXPECT_EQ(FileLines(dir.path()),
            (std::vector<std::string>{Line(1), "01.01.2026 10:00:00  NewsURL=http://x/?i", Line(2)}));
  HistorySnapshot snapshot(DownloadHistory().SnapshotText() + ReadFile(HistoryFilePath(dir.path())));
  EXPECT_TRUE(snapshot.Contains("http://x/?id=2"));
  DownloadHistory loaded;
  loaded.LoadHistory(dir.path());
  EXPECT_EQ(loaded.Count(), 3u);
  EXPECT_EQ(loaded.LastLine(), Line(2));
}

}  // namespace
}  // namespace skimlet
