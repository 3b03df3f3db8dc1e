// Helpers shared by the core's tests.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace skimlet::test {

// A fresh directory under the system's temp directory, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }  // ends in '/'
  std::string operator/(std::string_view name) const { return path_ + std::string(name); }

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);            // whole file, empty when missing
void WriteFile(const std::string& path, std::string_view data);  // creates parent directories
std::string Cp(std::string_view utf8);                    // a UTF-8 literal as Windows-1251

}  // namespace skimlet::test

namespace skimlet::test {

struct CommandResult {
  int exitCode = -1;
  std::string out;  // standard output (standard error too when mergeErr)
};
// Runs a shell command line and collects its output.
CommandResult RunCommand(const std::string& commandLine, bool mergeErr = false);
// Quotes a text for the shell.
std::string ShellQuote(std::string_view s);

// What a real feed parser (Debian's python3-feedparser, through tests/support/parse_feed.py)
// reads in an Atom file: "key value" lines ("bozo 0", "feed.title ...", "entry", "title ...").
std::vector<std::string> ParseFeed(const std::string& path);
// The values of `key` in such lines, in order.
std::vector<std::string> FeedValues(const std::vector<std::string>& lines, std::string_view key);

}  // namespace skimlet::test

#include <vector>

#include "store/MacroFile.h"

namespace skimlet::test {

// An active macro step.
TTmpOneMacroComand MacroStep(const char* command, std::string p1 = "", std::string p2 = "", std::string p3 = "",
                             std::string p4 = "");
// Writes a folder's macro file (creating the folder) and its check mark. False on failure.
bool WriteMacro(const std::string& folder, const std::vector<TTmpOneMacroComand>& steps, bool checked = true);

}  // namespace skimlet::test
