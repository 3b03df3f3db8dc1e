// libFuzzer target: any .skc text is read without a crash, what was read formats and reads back
// the same, and an import of it writes nothing outside the data directory's Accounts/.
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "authoring/ChannelFile.h"
#include "platform/Files.h"

namespace {

namespace fs = std::filesystem;
using namespace skimlet;

// <root>/a/b/home is the data directory; a write that climbs out of Accounts/ lands in root.
struct Sandbox {
  std::string root;
  std::string home;
  Sandbox() {
    const char* shm = "/dev/shm";  // no fsync cost for the many small macro writes
    std::string base = fs::is_directory(shm) ? shm : fs::temp_directory_path().string();
    std::string templ = base + "/skc-fuzz-XXXXXX";
    if (!mkdtemp(templ.data())) abort();
    root = templ;
    home = root + "/a/b/home/";
  }
  ~Sandbox() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
};

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "skc_fuzz: %s\n", what);
    abort();
  }
}

std::string Sanitised(std::string s) {
  for (char& c : s)
    if (static_cast<unsigned char>(c) < 32) c = ' ';
  return s;
}

void CheckReadBack(const ChannelFileContent& content) {
  ChannelFileContent again = ParseChannelFile(FormatChannelFile(content.blocks));
  Check(again.hasHeader && again.errors.empty(), "a formatted file does not read back");
  Check(again.blocks.size() == content.blocks.size(), "block count changed on the way back");
  for (std::size_t b = 0; b < content.blocks.size(); ++b) {
    const ChannelBlock& x = content.blocks[b];
    const ChannelBlock& y = again.blocks[b];
    Check(x.name == y.name && x.steps.size() == y.steps.size(), "a block changed on the way back");
    for (std::size_t i = 0; i < x.steps.size(); ++i) {
      TTmpOneMacroComand s = x.steps[i];
      s.Description = Sanitised(s.Description);
      Check(s == y.steps[i], "a step changed on the way back");
    }
  }
}

void CheckOnlyAccounts(const Sandbox& box) {
  std::error_code ec;
  const std::string accounts = box.home + "Accounts";
  for (auto it = fs::recursive_directory_iterator(box.root, ec); !ec && it != fs::end(it); it.increment(ec)) {
    std::string p = it->path().string();
    bool inside = p.compare(0, accounts.size() + 1, accounts + "/") == 0 || p == accounts;
    bool ancestor = p == box.root + "/a" || p == box.root + "/a/b" || p == box.root + "/a/b/home";
    if (!inside && !ancestor) {
      std::fprintf(stderr, "skc_fuzz: written outside Accounts/: %s\n", p.c_str());
      abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Sandbox box;
  std::string_view text(reinterpret_cast<const char*>(data), size);

  ChannelFileContent content = ParseChannelFile(text);
  Check(!content.hasHeader || !content.errors.empty() || !content.blocks.empty(),
        "an empty import without error");
  for (const ChannelBlock& b : content.blocks)
    Check(b.steps.size() <= kMacroSlots, "a block beyond 1001 steps");
  if (content.hasHeader && content.errors.empty()) CheckReadBack(content);

  // A channel that already exists, so that both the new and the overwrite path are taken.
  std::error_code ec;
  fs::remove_all(box.home + "Accounts", ec);
  MakeDirs(box.home + "Accounts/Site");
  ChannelTree tree(box.home);
  tree.BuildChannelTree(tree.AccountsDir(), nullptr, false);
  ChannelImportResult r = ImportChannelText(tree, text, [](const std::string&) { return true; });
  Check(r.status != ChannelImportResult::Status::kImported || r.written.size() == content.blocks.size(),
        "an import left blocks out");
  CheckOnlyAccounts(box);
  return 0;
}
