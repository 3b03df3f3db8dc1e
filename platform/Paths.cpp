#include "platform/Paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "platform/Files.h"

namespace skimlet {

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

std::string HomeDir() {
  std::string home = Env("HOME");
  if (!home.empty()) return home;
  std::vector<char> buf(16384);
  struct passwd pw {};
  struct passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && pw.pw_dir)
    return pw.pw_dir;
  return "/";
}

std::string WithSlash(std::string dir) {
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

}  // namespace

std::string ResolveDataDir(const std::string& homeOption) {
  std::string dir = homeOption;
  if (dir.empty()) dir = Env("SKIMLET_HOME");
  if (dir.empty()) {
    // The XDG rules ignore a relative XDG_DATA_HOME.
    std::string xdg = Env("XDG_DATA_HOME");
    dir = (!xdg.empty() && xdg.front() == '/') ? JoinPath(xdg, "Skimlet")
                                               : JoinPath(HomeDir(), ".local/share/Skimlet");
  }
  std::error_code ec;
  std::filesystem::path abs = std::filesystem::absolute(dir, ec);
  if (!ec) dir = abs.lexically_normal().string();
  return WithSlash(dir);
}

std::string ResourceDir(const std::string& dataDir, const std::string& programDir) {
  std::string data = WithSlash(dataDir);
  if (DirExists(data + "Actions")) return data;
  if (!programDir.empty()) {
    std::string installed = (std::filesystem::path(programDir) / "../share/skimlet").lexically_normal().string();
    if (DirExists(JoinPath(installed, "Actions"))) return WithSlash(installed);
  }
  if (DirExists(SKIMLET_SOURCE_RESOURCES)) return WithSlash(SKIMLET_SOURCE_RESOURCES);
  return WithSlash(SKIMLET_INSTALL_RESOURCES);
}

std::string ResourceDir(const std::string& dataDir) { return ResourceDir(dataDir, ProgramDir()); }

std::string ProgramDir() {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec || exe.empty()) return {};
  return WithSlash(exe.parent_path().string());
}

}  // namespace skimlet
