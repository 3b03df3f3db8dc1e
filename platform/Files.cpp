#include "platform/Files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <random>
#include <system_error>

namespace skimlet {

namespace {

bool Fail(std::string* error, std::string_view what, const std::string& path, int err) {
  if (error) *error = FileErrorText(what, path, err);
  return false;
}

}  // namespace

std::string FileErrorText(std::string_view what, const std::string& path, int err) {
  return std::string(what) + " " + path + " (" + std::generic_category().message(err) + ")";
}

bool WriteAllFd(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

namespace {

std::string ParentDir(const std::string& path) {
  auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// A fresh name for a temporary file. The leading dot keeps it out of every folder and news
// listing if a crash leaves it behind.
std::string TempName(const std::string& dir) {
  static std::atomic<std::uint64_t> counter{0};
  thread_local std::mt19937_64 rng{std::random_device{}()};
  std::uint64_t v = rng() ^ (counter.fetch_add(1) * 0x9E3779B97F4A7C15ull);
  static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string name = ".skimlet-tmp-";
  for (int i = 0; i < 10; ++i, v /= 36) name += kDigits[v % 36];
  return JoinPath(dir, name);
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string& out, std::string* error) {
  out.clear();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Fail(error, kCannotRead, path, errno);
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    return Fail(error, kCannotRead, path, EISDIR);
  }
  if (st.st_size > 0) out.reserve(static_cast<std::size_t>(st.st_size));
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      ::close(fd);
      out.clear();
      return Fail(error, kCannotRead, path, err);
    }
    if (n == 0) break;
    out.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return true;
}

bool WriteFileAtomic(const std::string& path, std::string_view data, std::string* error,
                     bool readOnly, bool durable, unsigned mode) {
  const std::string dir = ParentDir(path);
  std::string temp;
  int fd = -1;
  // The kernel applies the umask to the mode, so no thread has to read or change the umask.
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = TempName(dir);
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, static_cast<mode_t>(mode));
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return Fail(error, kCannotWrite, path, errno);

  int err = 0;
  if (!WriteAllFd(fd, data) || (durable && ::fsync(fd) != 0)) err = errno;
  if (!err && readOnly) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || ::fchmod(fd, st.st_mode & 07555) != 0) err = errno;
  }
  if (::close(fd) != 0 && !err) err = errno;
  // rename() needs only the directory to be writable, so a read-only old file is replaced too.
  if (!err && ::rename(temp.c_str(), path.c_str()) != 0) err = errno;
  if (err) {
    ::unlink(temp.c_str());
    return Fail(error, kCannotWrite, path, err);
  }
  return true;
}

bool AppendToFile(const std::string& path, std::string_view data, std::string* error) {
  int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return Fail(error, kCannotWrite, path, errno);
  // One write() for everything: with O_APPEND the kernel places it as a whole. The loop
  // only continues a short write.
  bool ok = WriteAllFd(fd, data);
  int err = ok ? 0 : errno;
  if (::close(fd) != 0 && ok) ok = false, err = errno;
  return ok || Fail(error, kCannotWrite, path, err);
}

bool FileExists(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return false;  // one call for the usual answers
  if (!S_ISLNK(st.st_mode)) return !S_ISDIR(st.st_mode);
  // A symbolic link occupies the name, dangling or not, unless it leads to a directory.
  return ::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode);
}

bool DirExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ReadFileHead(const std::string& path, std::string_view marker, std::size_t maxBytes, std::string& out) {
  out.clear();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buf[8192];
  bool ok = true;
  while (out.size() < maxBytes) {
    ssize_t n = ::read(fd, buf, std::min(sizeof buf, maxBytes - out.size()));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    // The marker may straddle two reads: look from just before the new bytes.
    std::size_t from = out.size() >= marker.size() ? out.size() - marker.size() + 1 : 0;
    out.append(buf, static_cast<std::size_t>(n));
    if (!marker.empty() && out.find(marker, from) != std::string::npos) break;
  }
  ::close(fd);
  if (!ok) out.clear();
  return ok;
}

bool ReadWholeFd(int fd, std::string& out) {
  out.clear();
  char buf[65536];
  for (off_t offset = 0;;) {
    ssize_t n = ::pread(fd, buf, sizeof buf, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      out.clear();
      return false;
    }
    if (n == 0) return true;
    out.append(buf, static_cast<std::size_t>(n));
    offset += n;
  }
}

FileLock::Result FileLock::Lock(const std::string& path, bool exclusive, bool wait, bool create,
                                std::string* error) {
  Unlock();
  for (;;) {
    int flags = O_CLOEXEC | (create ? O_CREAT : 0);
    int fd = ::open(path.c_str(), O_RDWR | O_APPEND | flags, 0600);
    if (fd < 0 && (errno == EACCES || errno == EROFS) && !exclusive) fd = ::open(path.c_str(), O_RDONLY | flags, 0600);
    if (fd < 0) {
      Fail(error, "Не удалось открыть файл", path, errno);
      return Result::kFailed;
    }
    int rc;
    do {
      rc = ::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | (wait ? 0 : LOCK_NB));
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
      int err = errno;
      ::close(fd);
      if (err == EWOULDBLOCK) return Result::kBusy;
      Fail(error, "Не удалось заблокировать файл", path, err);
      return Result::kFailed;
    }
    // Whoever held the lock may have renamed a new file over the path: that one counts.
    struct stat held {}, named {};
    if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_ino == named.st_ino &&
        held.st_dev == named.st_dev) {
      fd_ = fd;
      return Result::kLocked;
    }
    ::close(fd);
  }
}

void FileLock::Unlock() {
  if (fd_ < 0) return;
  ::close(fd_);  // closing the last descriptor of the open file releases the lock
  fd_ = -1;
}

bool MakeDirs(const std::string& path, std::string* error, unsigned mode) {
  if (path.empty()) return Fail(error, "Не удалось создать папку", path, ENOENT);
  if (DirExists(path)) return true;
  std::size_t pos = 0;
  while (pos != std::string::npos) {
    pos = path.find('/', pos + 1);
    std::string part = path.substr(0, pos);
    if (part.empty() || part.back() == '/') continue;  // "//" in the path
    if (::mkdir(part.c_str(), static_cast<mode_t>(mode)) == 0) continue;
    int err = errno;
    if (err == EEXIST && DirExists(part)) continue;
    if (err == EEXIST) err = ENOTDIR;
    return Fail(error, "Не удалось создать папку", part, err);
  }
  return true;
}

bool IsFileReadOnly(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && (st.st_mode & 0222) == 0;
}

bool SetFileReadOnly(const std::string& path, bool readOnly) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  mode_t mode = st.st_mode & 07777;
  mode = readOnly ? (mode & ~mode_t{0222}) : (mode | S_IWUSR);
  return mode == (st.st_mode & 07777) || ::chmod(path.c_str(), mode) == 0;
}

int RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  int err = errno;
  if (err != EINVAL && err != ENOSYS && err != ENOTSUP) return err;
  // The file system has no such rename: a hard link cannot replace anything either.
  struct stat st {};
  if (::lstat(to.c_str(), &st) == 0) return EEXIST;
  if (::link(from.c_str(), to.c_str()) == 0) return ::unlink(from.c_str()) == 0 ? 0 : errno;
  err = errno;
  if (err == EEXIST) return err;
  // Nor hard links (FAT, some network file systems): the check above is the best there is.
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

std::uint32_t ReadFolderAttributes(const std::string& dir) {
  std::string text;
  if (!ReadWholeFile(JoinPath(dir, kFolderAttributeFile), text)) return 0;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.pop_back();
  std::uint32_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return 0;
  return value;
}

bool WriteFolderAttributes(const std::string& dir, std::uint32_t attributes) {
  const std::string file = JoinPath(dir, kFolderAttributeFile);
  if (attributes == 0) return ::unlink(file.c_str()) == 0 || errno == ENOENT;
  return WriteFileAtomic(file, std::to_string(attributes) + "\n", nullptr, false, /*durable=*/false);
}

std::string JoinPath(std::string_view dir, std::string_view name) {
  std::string out(dir);
  if (!out.empty() && out.back() != '/') out += '/';
  out += name;
  return out;
}

}  // namespace skimlet
