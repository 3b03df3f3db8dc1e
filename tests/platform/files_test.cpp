#include "platform/Files.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

using test::ReadFile;
using test::TempDir;

std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
        names.push_back(e->d_name);
    closedir(d);
  }
  return names;
}

mode_t Mode(const std::string& path) {
  struct stat st {};
  stat(path.c_str(), &st);
  return st.st_mode & 07777;
}

TEST(WriteFileAtomic, WritesTheWholeDataAndLeavesNoTemporaryFile) {
  TempDir dir;
  std::string data(1 << 20, 'x');
  data[5] = '\0';
  std::string error;
  ASSERT_TRUE(WriteFileAtomic(dir / "news.html", data, &error)) << error;
  EXPECT_EQ(ReadFile(dir / "news.html"), data);
  EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"news.html"});
  EXPECT_FALSE(IsFileReadOnly(dir / "news.html"));
}

TEST(WriteFileAtomic, ReplacesAReadOnlyTargetAndCanLeaveItReadOnly) {
  TempDir dir;
  const std::string path = dir / "Skimlet-macros.ini";
  ASSERT_TRUE(WriteFileAtomic(path, "old", nullptr, true));
  EXPECT_TRUE(IsFileReadOnly(path));
  ASSERT_TRUE(WriteFileAtomic(path, "new", nullptr, true));
  EXPECT_EQ(ReadFile(path), "new");
  EXPECT_EQ(Mode(path) & 0222, 0u);
  EXPECT_NE(Mode(path) & 0400, 0u);
  EXPECT_EQ(Entries(dir.path()).size(), 1u);
}

TEST(WriteFileAtomic, KeepsTheOldFileWhenTheFolderIsNotWritable) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  TempDir dir;
  const std::string path = dir / "news.html";
  test::WriteFile(path, "old");
  ASSERT_EQ(chmod(dir.path().c_str(), 0555), 0);
  std::string error;
  EXPECT_FALSE(WriteFileAtomic(path, "new", &error));
  chmod(dir.path().c_str(), 0755);
  EXPECT_EQ(error, "Cannot write " + path + ": Permission denied");
  EXPECT_EQ(ReadFile(path), "old");
  EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"news.html"});
}

TEST(ReadWholeFile, ReadsBytesAndReportsMissingFiles) {
  TempDir dir;
  test::WriteFile(dir / "a", std::string("a\0\xFF\r\n", 5));
  std::string out, error;
  ASSERT_TRUE(ReadWholeFile(dir / "a", out));
  EXPECT_EQ(out, std::string("a\0\xFF\r\n", 5));
  EXPECT_FALSE(ReadWholeFile(dir / "b", out, &error));
  EXPECT_EQ(error, "Cannot read " + (dir / "b") + ": No such file or directory");
}

TEST(ReadOnlyFlag, RoundTrip) {
  TempDir dir;
  const std::string path = dir / "n.html";
  test::WriteFile(path, "x");
  chmod(path.c_str(), 0664);
  ASSERT_TRUE(SetFileReadOnly(path, true));
  EXPECT_TRUE(IsFileReadOnly(path));
  EXPECT_EQ(Mode(path), 0444u);
  ASSERT_TRUE(SetFileReadOnly(path, false));
  EXPECT_FALSE(IsFileReadOnly(path));
  EXPECT_EQ(Mode(path), 0644u);
  chmod(path.c_str(), 0020);  // any write bit means "read"
  EXPECT_FALSE(IsFileReadOnly(path));
  EXPECT_FALSE(IsFileReadOnly(dir / "missing"));
  EXPECT_FALSE(SetFileReadOnly(dir / "missing", true));
}

TEST(FolderAttributes, RoundTripAndMissingOrGarbledFile) {
  TempDir dir;
  const std::string file = dir / kFolderAttributeFile;
  EXPECT_EQ(ReadFolderAttributes(dir.path()), 0u);
  ASSERT_TRUE(WriteFolderAttributes(dir.path(), kAttrReadOnly | kAttrArchive));
  EXPECT_EQ(ReadFolderAttributes(dir.path()), 0x21u);
  EXPECT_EQ(ReadFile(file).substr(0, 2), "33");
  EXPECT_EQ(Mode(dir.path()) & 0200, 0200u);  // the folder itself stays writable
  ASSERT_TRUE(WriteFolderAttributes(dir.path(), 0));
  EXPECT_FALSE(FileExists(file));
  EXPECT_EQ(ReadFolderAttributes(dir.path()), 0u);
  EXPECT_TRUE(WriteFolderAttributes(dir.path(), 0));
  for (const char* garbled : {"abc", "12x", "", "-1", "99999999999"}) {
    test::WriteFile(file, garbled);
    EXPECT_EQ(ReadFolderAttributes(dir.path()), 0u) << garbled;
  }
  test::WriteFile(file, "1\r\n");
  EXPECT_EQ(ReadFolderAttributes(dir.path()), 1u);
}

TEST(AppendToFile, ConcurrentLinesNeverInterleave) {
  TempDir dir;
  const std::string path = dir / "HTMLhistory.Items.txt";
  constexpr int kThreads = 8, kLines = 500;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < kLines; ++i)
        AppendToFile(path, std::to_string(t) + " " + std::to_string(i) + " " +
                               std::string(300, char('a' + t)) + "\r\n");
    });
  for (auto& th : threads) th.join();

  std::string text = ReadFile(path);
  std::map<int, int> next;  // per thread, the line number expected next
  std::size_t pos = 0, lines = 0;
  while (pos < text.size()) {
    std::size_t end = text.find("\r\n", pos);
    ASSERT_NE(end, std::string::npos);
    std::string line = text.substr(pos, end - pos);
    pos = end + 2;
    ++lines;
    int t = line[0] - '0';
    ASSERT_TRUE(t >= 0 && t < kThreads) << line;
    std::string expected =
        std::to_string(t) + " " + std::to_string(next[t]++) + " " + std::string(300, char('a' + t));
    ASSERT_EQ(line, expected);
  }
  EXPECT_EQ(lines, std::size_t{kThreads * kLines});
}

TEST(MakeDirs, CreatesEveryParentAndRefusesAFileInTheWay) {
  TempDir dir;
  EXPECT_TRUE(MakeDirs(dir / "Accounts/Сайт/Новости/"));
  EXPECT_TRUE(DirExists(dir / "Accounts/Сайт/Новости"));
  EXPECT_TRUE(MakeDirs(dir / "Accounts//Сайт"));
  test::WriteFile(dir / "file", "x");
  EXPECT_TRUE(FileExists(dir / "file"));
  EXPECT_FALSE(DirExists(dir / "file"));
  EXPECT_FALSE(FileExists(dir / "Accounts"));
  std::string error;
  EXPECT_FALSE(MakeDirs(dir / "file/sub", &error));
  EXPECT_NE(error.find(dir / "file"), std::string::npos);
  EXPECT_EQ(JoinPath("/a/", "b"), "/a/b");
  EXPECT_EQ(JoinPath("/a", "b"), "/a/b");
}

}  // namespace
}  // namespace skimlet
