// The attachment queue at its limit of 5000 waiting entries (what one timer tick costs), and
// attachment discovery on an ordinary and on a picture-heavy article.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "attachments/DownLoadAttachment.h"
#include "page/Discovery.h"

namespace skimlet {
namespace {

// LEDCount 0: nothing ever starts, so the queue stays as the benchmark filled it.
class IdleHost : public AttachmentHost {
 public:
  void LampChanged(int, const LampState&) override {}
  void QueueOverflow(const std::string&) override {}
  RunSettings Settings() override {
    RunSettings s;
    s.ledCount = 0;
    return s;
  }
};

struct ScratchDir {
  std::string path;
  ScratchDir() {
    char name[] = "/tmp/skimlet-att-bench-XXXXXX";
    path = std::string(mkdtemp(name)) + "/";
  }
  ~ScratchDir() { std::filesystem::remove_all(path); }
};

std::string Article(int first, int count) {
  std::string text;
  for (int i = first; i < first + count; ++i) {
    std::string n = std::to_string(i);
    text += "<!-- SkimletAttLocal:" + std::string(15 - n.size(), '0') + n +
            ".png SkimletAttURL:http://pictures.example.ru/2024/05/photo" + n + ".png -->\n\r";
  }
  return text + std::string(kDataEndMarker) + "<p>news</p>";
}

struct FullQueue {
  ScratchDir dir;
  IdleHost host;
  AttachmentQueue queue{host, dir.path};
  std::string att = dir.path + "Accounts/Channel/Attachment/";
  FullQueue() { queue.EnqueueAttachments(Article(0, kMaxQueued), att, false); }
};

// Filling the queue from empty to 5000, pair by pair, with the duplicate test on each.
void BM_EnqueueUpTo5000(benchmark::State& state) {
  ScratchDir dir;
  IdleHost host;
  AttachmentQueue queue(host, dir.path);
  const std::string att = dir.path + "Attachment/";
  const std::string text = Article(0, kMaxQueued);
  for (auto _ : state) {
    queue.EnqueueAttachments(text, att, false);
    state.PauseTiming();
    if (queue.Waiting() != kMaxQueued) state.SkipWithError("queue not full");
    queue.AbortAllAttachments();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kMaxQueued);
}
BENCHMARK(BM_EnqueueUpTo5000)->Unit(benchmark::kMillisecond);

// An article of 20 pictures that all wait already, against 5000 waiting entries.
void BM_EnqueueDuplicatesAt5000(benchmark::State& state) {
  FullQueue f;
  const std::string text = Article(100, 20);
  for (auto _ : state) f.queue.EnqueueAttachments(text, f.att, false);
  if (f.queue.Waiting() != kMaxQueued) state.SkipWithError("queue changed");
  state.SetItemsProcessed(state.iterations() * 20);
}
BENCHMARK(BM_EnqueueDuplicatesAt5000)->Unit(benchmark::kMicrosecond);

// The timer's pump with 5000 waiting and no slot allowed to start.
void BM_PumpAt5000(benchmark::State& state) {
  FullQueue f;
  for (auto _ : state) f.queue.Pump();
}
BENCHMARK(BM_PumpAt5000)->Unit(benchmark::kMicrosecond);

// The rebuild of the queue list and caption with 5000 entries (target: under 5 ms).
void BM_DisplayRebuildAt5000(benchmark::State& state) {
  FullQueue f;
  for (auto _ : state) {
    QueueDisplay d = f.queue.Display();
    benchmark::DoNotOptimize(d);
  }
}
BENCHMARK(BM_DisplayRebuildAt5000)->Unit(benchmark::kMillisecond);

// A whole timer tick after a change: arrival flag, pump, display.
void BM_TimerTickAt5000(benchmark::State& state) {
  FullQueue f;
  for (auto _ : state) {
    state.PauseTiming();
    f.queue.AbortAllAttachments();  // a change, then 5000 again
    f.queue.EnqueueAttachments(Article(0, kMaxQueued), f.att, false);
    state.ResumeTiming();
    f.queue.TakeAttachmentArrived();
    f.queue.Pump();
    QueueDisplay d;
    if (!f.queue.TakeDisplay(d)) state.SkipWithError("no change seen");
    benchmark::DoNotOptimize(d);
  }
}
BENCHMARK(BM_TimerTickAt5000)->Unit(benchmark::kMillisecond);

std::string Page(int pictures, int paragraphs) {
  std::string page = "<html><head><link rel=\"stylesheet\" href=\"http://site.ru/style.css\"></head><body>";
  const std::string para =
      "<p>The city council discussed the budget for the next year; the deputies proposed more for roads.</p>";
  for (int i = 0; i < paragraphs; ++i) {
    page += para;
    if (i < pictures) page += "<img src=\"http://site.ru/img/" + std::to_string(i) + ".jpg\" alt=\"\">";
  }
  for (int i = paragraphs; i < pictures; ++i) page += "<img src=\"http://site.ru/img/" + std::to_string(i) + ".jpg\">";
  return page + "<script src=\"http://ads.ru/x.js\"></script></body></html>";
}

// MarkAttachments and LocalizeAttachments, as FindAttachment runs them.
void BM_DiscoverAndLocalize(benchmark::State& state) {
  const std::string page = Page(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  std::mt19937 rng(1);
  for (auto _ : state) {
    std::string html = page;
    MarkAttachments(html, rng, "/nonexistent/Attachment/");
    LocalizeAttachments(html);
    benchmark::DoNotOptimize(html);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(page.size()));
}
BENCHMARK(BM_DiscoverAndLocalize)->Args({5, 400})->Args({1500, 200})->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace skimlet
