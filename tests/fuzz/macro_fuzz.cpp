// libFuzzer target: any Skimlet-macros.ini is read without a crash, the step a run reads agrees
// with the whole-file read, and formatting what was read is stable.
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/Files.h"
#include "store/MacroFile.h"

namespace {

namespace fs = std::filesystem;
using namespace skimlet;

struct Folder {
  std::string dir;
  Folder() {
    std::string base = fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path().string();
    std::string templ = base + "/macro-fuzz-XXXXXX";
    if (!mkdtemp(templ.data())) abort();
    dir = templ + "/";
  }
  ~Folder() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  std::string File() const { return dir + kMacroFileName; }
  void Write(std::string_view bytes) const {
    std::ofstream out(File(), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
};

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "macro_fuzz: %s\n", what);
    abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Folder folder;
  static MacroTable table;
  folder.Write(std::string_view(reinterpret_cast<const char*>(data), size));

  MacroReadResult r = ReadMacroFile(folder.File(), table);
  Check(r.exists, "the file was not found");
  Check(table.count >= 0 && table.count <= kMacroSlots, "count outside the table");
  Check(r.count == table.count, "result and table disagree");

  for (std::int32_t k : {-1, 0, table.count / 2, table.count - 1, table.count, kMacroSlots}) {
    TTmpOneMacroComand step = ReadMacroStep(folder.dir, k);
    if (k >= 0 && k < table.count)
      Check(step == table.steps[k], "ReadMacroStep disagrees with ReadMacroFile");
    else
      Check(step == TTmpOneMacroComand{}, "a step outside the macro");
  }

  std::string once = FormatMacroFile(table);
  folder.Write(once);
  static MacroTable again;
  ReadMacroFile(folder.File(), again);
  Check(FormatMacroFile(again) == once, "formatting is not stable");
  return 0;
}
