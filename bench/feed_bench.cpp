// Atom feeds: a feed of 1,000 saved news (target: under 200 ms), and the feed a run rewrites
// when it ends (the newest 50 of a channel holding 1,000).
#include <benchmark/benchmark.h>

#include <ctime>
#include <string>

#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "store/Feed.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

constexpr int kNews = 1000;

// One channel with two rubrics and 1,000 news of about 20 KB, each with three pictures (two
// fetched). Made once, removed at exit.
const test::TempDir& Library() {
  static const test::TempDir dir;
  static const bool made = [] {
    std::string paragraph = W("<p>Городская дума утвердила бюджет на следующий год. Расходы на транспорт "
                              "и образование выросли, на благоустройство парков — остались прежними.</p>\r\n");
    std::string body;
    while (body.size() < 20000) body += paragraph;
    std::time_t start = std::time(nullptr) - kNews * 60;
    for (int i = 0; i < kNews; ++i) {
      std::string folder = dir / (i % 2 ? "Accounts/Лента/Мир/" : "Accounts/Лента/Спорт/");
      std::string n = std::to_string(i);
      std::string block;
      for (int p = 0; p < 3; ++p) {
        std::string local = std::to_string(100000000000000LL + i * 3 + p) + ".png";
        block += "<!-- SkimletAttLocal:" + local + " SkimletAttURL:http://news.example/img/" + n + "-" +
                 std::to_string(p) + ".png -->\r\n";
        if (p < 2) WriteFileAtomic(folder + "Attachment/" + local, "png", nullptr, false, false);
      }
      std::time_t when = start + i * 60;
      std::string text = "<!-- The file created from Skimlet. See https://skimlet.example/\r\nSkimletNAME:" +
                         W("Новость номер ") + n + "\r\nSkimletURL:http://news.example/news/" + n +
                         ".html\r\nSkimletNode:" + W("Лента") + "\r\nSkimletDate:" + ShortDate(when) +
                         "\r\nSkimletTime:" + LongTime(when) + "\r\n-->\r\n" + block +
                         "<!-- Skimlet DataEnd -->\r\n<html><head><title>x</title></head><body><img SRC=\"Attachment/" +
                         std::to_string(100000000000000LL + i * 3) + ".png\">" + body + "</body></html>";
      MakeDirs(folder);
      WriteFileAtomic(folder + W("Новость номер ") + n + ".html", text, nullptr, true, false);
    }
    return true;
  }();
  (void)made;
  return dir;
}

struct Tree {
  ChannelTree tree{Library().path()};
  NodePtr channel;
  Tree() {
    tree.BuildChannelTree(tree.AccountsDir(), nullptr, false);
    channel = tree.Channels().at(0);
  }
};

void BM_FeedOf1000News(benchmark::State& state) {
  Tree t;
  std::string out = Library() / "all.atom";
  std::size_t bytes = 0;
  for (auto _ : state) {
    Feed feed = BuildFeed(t.tree, t.channel, kNews, std::time(nullptr));
    if (feed.entries != kNews || !WriteFileAtomic(out, feed.xml, nullptr, false, false)) state.SkipWithError("feed");
    bytes = feed.xml.size();
  }
  state.counters["feed_MB"] = static_cast<double>(bytes) / 1e6;
}
BENCHMARK(BM_FeedOf1000News)->Unit(benchmark::kMillisecond);

void BM_RunEndFeedOfAChannelOf1000News(benchmark::State& state) {
  Tree t;
  for (auto _ : state)
    if (!WriteChannelFeed(t.tree, t.channel, nullptr, nullptr)) state.SkipWithError("feed");
}
BENCHMARK(BM_RunEndFeedOfAChannelOf1000News)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace skimlet
