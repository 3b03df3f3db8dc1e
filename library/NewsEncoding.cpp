#include "library/NewsEncoding.h"

#include <sys/stat.h>

#include <cerrno>

#include "platform/Files.h"
#include "platform/Text.h"

namespace skimlet {

bool RecodeNewsFile(const std::string& path, Recoding direction, std::string* error) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (error) *error = FileErrorText(kCannotRead, path, errno);
    return false;
  }
  std::string text;
  if (!ReadWholeFile(path, text, error)) return false;
  const unsigned mode = st.st_mode & 0777;
  return WriteFileAtomic(path, direction == Recoding::kKoiToWin ? ConvertKoiToWin(text) : ConvertWinToKoi(text), error, (mode & 0222) == 0, true, mode);
}

}  // namespace skimlet
