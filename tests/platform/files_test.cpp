#include "platform/Files.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
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
  EXPECT_EQ(error, "Не удалось записать файл " + path + " (Permission denied)");
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
  EXPECT_EQ(error, "Не удалось прочитать файл " + (dir / "b") + " (No such file or directory)");
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

TEST(PrivateFiles, WhatTheProgramCreatesIsTheUsersAlone) {
  TempDir dir;
  const mode_t old = umask(022);
  ASSERT_TRUE(MakeDirs(dir / "Accounts/Site/News"));
  ASSERT_TRUE(WriteFileAtomic(dir / "Accounts/folders.txt", "x"));
  ASSERT_TRUE(AppendToFile(dir / "Accounts/appended", "x"));
  ASSERT_TRUE(WriteFileAtomic(dir / "Accounts/news.html", "x", nullptr, /*readOnly=*/true));
  ASSERT_TRUE(WriteFileAtomic(dir / "export.skc", "x", nullptr, false, true, 0644));  // meant for others
  umask(old);
  for (const char* folder : {"Accounts", "Accounts/Site", "Accounts/Site/News"}) EXPECT_EQ(Mode(dir / folder), 0700u) << folder;
  EXPECT_EQ(Mode(dir / "Accounts/folders.txt"), 0600u);
  EXPECT_EQ(Mode(dir / "Accounts/appended"), 0600u);
  EXPECT_EQ(Mode(dir / "Accounts/news.html"), 0400u);
  EXPECT_EQ(Mode(dir / "export.skc"), 0644u);
}

TEST(FileLock, OneHolderAtATimeAcrossProcessesAndReaders) {
  TempDir dir;
  const std::string path = dir / ".lock";
  FileLock mine;
  ASSERT_EQ(mine.Lock(path, true, false, true), FileLock::Result::kLocked);
  EXPECT_EQ(Mode(path), 0600u);
  FileLock other;  // another open file, in this process: the lock holds against it too
  EXPECT_EQ(other.Lock(path, true, false, true), FileLock::Result::kBusy);
  EXPECT_EQ(other.Lock(path, false, false, true), FileLock::Result::kBusy);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    mine.Unlock();  // the child's copy would keep the lock for it
    FileLock child;
    _exit(child.Lock(path, true, false, true) == FileLock::Result::kBusy ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  mine.Unlock();
  EXPECT_EQ(other.Lock(path, false, false, true), FileLock::Result::kLocked);  // readers share
  FileLock reader;
  EXPECT_EQ(reader.Lock(path, false, false, true), FileLock::Result::kLocked);
  EXPECT_EQ(mine.Lock(path, true, false, true), FileLock::Result::kBusy);
  EXPECT_EQ(FileLock().Lock(dir / "missing", false, true, false), FileLock::Result::kFailed);
  EXPECT_FALSE(FileExists(dir / "missing"));
}

TEST(FileLock, AFileReplacedWhileWaitingIsOpenedAgain) {
  TempDir dir;
  const std::string path = dir / "history.txt";
  test::WriteFile(path, "old\r\n");
  FileLock holder;
  ASSERT_EQ(holder.Lock(path, true, true, false), FileLock::Result::kLocked);
  std::thread waiter([&] {
    FileLock lock;
    ASSERT_EQ(lock.Lock(path, true, true, false), FileLock::Result::kLocked);
    ASSERT_TRUE(WriteAllFd(lock.Fd(), "appended\r\n"));
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_TRUE(WriteFileAtomic(path, "new\r\n"));  // renamed over the path while locked
  holder.Unlock();
  waiter.join();
  EXPECT_EQ(ReadFile(path), "new\r\nappended\r\n");
}

TEST(ReadFileHead, StopsAfterTheMarkerOrTheLimit) {
  TempDir dir;
  const std::string path = dir / "news.html";
  std::string body = std::string(8190, 'h') + "-->" + std::string(50000, 'b');  // the marker straddles two reads
  test::WriteFile(path, body);
  std::string head;
  ASSERT_TRUE(ReadFileHead(path, "-->", 1 << 20, head));
  EXPECT_LT(head.size(), body.size());
  EXPECT_EQ(head.substr(0, 8193), body.substr(0, 8193));
  ASSERT_TRUE(ReadFileHead(path, "missing", 1000, head));
  EXPECT_EQ(head, body.substr(0, 1000));
  ASSERT_TRUE(ReadFileHead(path, "missing", 1 << 20, head));
  EXPECT_EQ(head, body);
  EXPECT_FALSE(ReadFileHead(dir / "none", "-->", 100, head));
}

}  // namespace
}  // namespace skimlet
