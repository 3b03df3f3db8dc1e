#include "tests/support/TestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/Text.h"

namespace fs = std::filesystem;

namespace skimlet::test {

TempDir::TempDir() {
  std::string templ = (fs::temp_directory_path() / "skimlet-test-XXXXXX").string();
  if (!mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
  path_ = templ + "/";
}

TempDir::~TempDir() {
  std::error_code ec;
  // Read-only files and folders must not keep the tree alive.
  for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::end(it); it.increment(ec))
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, std::string_view data) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

std::string Cp(std::string_view utf8) { return Utf8ToWin1251(utf8); }

}  // namespace skimlet::test

#include <sys/wait.h>

#include <cstdio>

namespace skimlet::test {

CommandResult RunCommand(const std::string& commandLine, bool mergeErr) {
  CommandResult r;
  std::string cmd = commandLine + (mergeErr ? " 2>&1" : "");
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  int status = pclose(p);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

std::vector<std::string> ParseFeed(const std::string& path) {
  CommandResult r = RunCommand("/usr/bin/python3 " + ShellQuote(SKIMLET_FEED_PARSER) + " " + ShellQuote(path), true);
  std::vector<std::string> lines;
  if (r.exitCode != 0) {
    lines.push_back("parser failed " + r.out);
    return lines;
  }
  for (std::size_t pos = 0; pos < r.out.size();) {
    std::size_t eol = r.out.find('\n', pos);
    if (eol == std::string::npos) eol = r.out.size();
    lines.push_back(r.out.substr(pos, eol - pos));
    pos = eol + 1;
  }
  return lines;
}

std::vector<std::string> FeedValues(const std::vector<std::string>& lines, std::string_view key) {
  std::vector<std::string> values;
  std::string prefix = std::string(key) + " ";
  for (const std::string& line : lines) {
    if (line.rfind(prefix, 0) == 0) values.push_back(line.substr(prefix.size()));
    else if (line == key) values.emplace_back();
  }
  return values;
}

std::string ShellQuote(std::string_view s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'') q += "'\\''";
    else q += c;
  }
  return q + "'";
}

}  // namespace skimlet::test

#include "platform/Files.h"

namespace skimlet::test {

TTmpOneMacroComand MacroStep(const char* command, std::string p1, std::string p2, std::string p3, std::string p4) {
  return {command, std::move(p1), std::move(p2), std::move(p3), std::move(p4), "", true};
}

bool WriteMacro(const std::string& folder, const std::vector<TTmpOneMacroComand>& steps, bool checked) {
  FolderMacro m;
  for (std::size_t i = 0; i < steps.size() && i < static_cast<std::size_t>(kMacroSlots); ++i) m.Table().steps[i] = steps[i];
  m.Table().count = static_cast<std::int32_t>(std::min<std::size_t>(steps.size(), kMacroSlots));
  return m.WriteFolderMacroFile(folder) && WriteFolderAttributes(folder, checked ? kAttrReadOnly : 0);
}

}  // namespace skimlet::test
