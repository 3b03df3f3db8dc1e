#include "platform/DataModes.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Files.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

TEST(DataDirPrivate, OldModesGoToTheOwnerOnceOnlyForTheProgramsOwnFiles) {
  test::TempDir dir;
  struct Entry {
    std::string path;
    mode_t before, after;
  } entries[] = {{"Accounts/", 0755, 0700},        {"Accounts/Site/", 0775, 0700},
                 {"Accounts/Site/a.html", 0644, 0600}, {"Accounts/Site/unread.html", 0444, 0400},
                 {"history/", 0755, 0700},         {"history/HTMLhistory.Items.txt", 0644, 0600},
                 {"cookies.txt", 0640, 0600},      {"other.txt", 0644, 0644}};
  for (const Entry& e : entries) e.path.ends_with('/') ? (void)MakeDirs(dir / e.path) : test::WriteFile(dir / e.path, "x");
  for (auto it = std::rbegin(entries); it != std::rend(entries); ++it) ::chmod((dir / it->path).c_str(), it->before);
  ::symlink("/etc/passwd", (dir / "Accounts/link").c_str());
  EXPECT_EQ(MakeDataDirPrivate(dir.path()), 7);
  struct stat st {};
  for (const Entry& e : entries) EXPECT_TRUE(::lstat((dir / e.path).c_str(), &st) == 0 && (st.st_mode & 07777) == e.after) << e.path;
  ::chmod((dir / "cookies.txt").c_str(), 0644);
  EXPECT_EQ(MakeDataDirPrivate(dir.path()), -1);  // once: the marker is there
}

}  // namespace
}  // namespace skimlet
