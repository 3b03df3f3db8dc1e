// The once-per-data-directory pass that takes old files to the owner alone: 100,000 news
// in 1,000 rubrics, written world-readable as older versions did. Target: under 2 s.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/DataModes.h"

namespace skimlet {
namespace {

constexpr int kRubrics = 1000;
constexpr int kNewsPerRubric = 100;

// The tree, made once and removed at exit; every pass starts from world-readable modes and
// no marker.
struct Tree {
  std::string dir;
  Tree() {
    char pattern[] = "/tmp/skimlet-privacy-XXXXXX";
    dir = std::string(::mkdtemp(pattern)) + "/";
    for (int r = 0; r < kRubrics; ++r) {
      const std::string rubric = dir + "Accounts/Channel " + std::to_string(r / 10) + "/Rubric " + std::to_string(r) + "/";
      std::filesystem::create_directories(rubric);
      for (int n = 0; n < kNewsPerRubric; ++n) {
        int fd = ::open((rubric + "News " + std::to_string(n) + ".html").c_str(), O_WRONLY | O_CREAT, 0644);
        if (fd >= 0) ::close(fd);
      }
    }
  }
  ~Tree() { std::filesystem::remove_all(dir); }
};

const std::string& OldTree() {
  static const Tree tree;
  return tree.dir;
}

void MakeOld(const std::string& dir) {
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir))
    ::chmod(e.path().c_str(), e.is_directory() ? 0755 : 0644);
  std::remove((dir + kPrivateModesMarker).c_str());
}

void BM_MakeDataDirPrivate100kNews(benchmark::State& state) {
  const std::string& dir = OldTree();
  long changed = 0;
  for (auto _ : state) {
    state.PauseTiming();
    MakeOld(dir);
    state.ResumeTiming();
    changed = MakeDataDirPrivate(dir);
  }
  state.counters["changed"] = static_cast<double>(changed);
  if (MakeDataDirPrivate(dir) != -1) state.SkipWithError("the pass ran twice");
}
BENCHMARK(BM_MakeDataDirPrivate100kNews)->Unit(benchmark::kMillisecond)->Iterations(3);

// Every later start: the marker is there.
void BM_MakeDataDirPrivateAlreadyDone(benchmark::State& state) {
  const std::string& dir = OldTree();
  MakeDataDirPrivate(dir);
  for (auto _ : state) benchmark::DoNotOptimize(MakeDataDirPrivate(dir));
}
BENCHMARK(BM_MakeDataDirPrivateAlreadyDone)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace skimlet
