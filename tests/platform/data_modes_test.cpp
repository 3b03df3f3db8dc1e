#include "platform/DataModes.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Files.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST(DataDirPrivate, OldModesAreTakenToTheOwnerOnceAndOnlyForTheProgramsOwnFiles) {
  test::TempDir dir;
  const std::string data = dir.path();
  struct Entry {
    std::string path;
    mode_t before, after;
  } entries[] = {
      {"Accounts/", 0755, 0700},
      {"Accounts/Site/", 0775, 0700},
      {"Accounts/Site/read.html", 0644, 0600},
      {"Accounts/Site/unread.html", 0444, 0400},  // the unread mark stays
      {"Accounts/Site/Attachment/", 0755, 0700},
      {"Accounts/Site/Attachment/000000000000001.gif", 0664, 0600},
      {"history/", 0755, 0700},
      {"history/HTMLhistory.Items.txt", 0644, 0600},
      {"cookies.txt", 0640, 0600},
      {"other.txt", 0644, 0644},  // not the program's
      {"Other/", 0755, 0755},
  };
  for (const Entry& e : entries) {
    if (e.path.ends_with('/')) MakeDirs(data + e.path);
    else test::WriteFile(data + e.path, "x");
  }
  for (auto it = std::rbegin(entries); it != std::rend(entries); ++it) ::chmod((data + it->path).c_str(), it->before);
  ::symlink("/etc/passwd", (data + "Accounts/link").c_str());
  EXPECT_EQ(MakeDataDirPrivate(data), 9);
  for (const Entry& e : entries) EXPECT_EQ(ModeOf(data + e.path), e.after) << e.path;
  EXPECT_TRUE(FileExists(data + kPrivateModesMarker));
  ::chmod((data + "cookies.txt").c_str(), 0644);
  EXPECT_EQ(MakeDataDirPrivate(data), -1);  // once
  EXPECT_EQ(ModeOf(data + "cookies.txt"), 0644u);
  EXPECT_EQ(MakeDataDirPrivate(data + "missing/"), -1);
  EXPECT_FALSE(FileExists(data + "missing/" + kPrivateModesMarker));
}

}  // namespace
}  // namespace skimlet
