#include "authoring/MacroPreview.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <tuple>

#include "engine/RunHost.h"
#include "page/NewsCleanup.h"
#include "platform/Text.h"

namespace skimlet {

namespace {

constexpr std::size_t kContext = 160;     // bytes shown on each side of a match
constexpr std::size_t kMatchShown = 600;  // a longer match is shown by its two ends
constexpr std::size_t kAnchor = 12;       // ChangedPlaces: the text that must agree again
constexpr std::size_t kWindow = 64 * 1024;

// Keeps a scratch run away from the window: it logs into `lines` while `capture` is set,
// and everything else it reports goes nowhere.
class QuietHost : public QuietRunHost {
 public:
  using QuietRunHost::QuietRunHost;
  bool capture = false;
  std::vector<std::string> lines;

  bool IsShownChannel(const NodePtr&) override { return capture; }
  void LogAdded(TDownload&, const std::string& line) override { lines.push_back(line); }
};

std::string Quoted(const std::string& text) { return W("«") + text + W("»"); }

std::string SizeText(std::size_t bytes) {
  char buf[32];
  if (bytes >= 1024 * 1024)
    std::snprintf(buf, sizeof buf, "%.1f ", static_cast<double>(bytes) / (1024.0 * 1024.0));
  else if (bytes >= 1024)
    std::snprintf(buf, sizeof buf, "%zu ", bytes / 1024);
  else
    std::snprintf(buf, sizeof buf, "%zu ", bytes);
  return buf + W(bytes >= 1024 * 1024 ? "МБ" : bytes >= 1024 ? "КБ" : "байт");
}

// The macro as a run walks it: active steps, by command.
class Flow {
 public:
  explicit Flow(const MacroTable& table) : table_(table), count_(std::clamp<std::int32_t>(table.count, 0, kMacroSlots)) {}

  std::int32_t Count() const { return count_; }
  const TTmpOneMacroComand& Step(std::int32_t i) const { return table_.steps[i]; }
  bool Is(std::int32_t i, const char* command) const {
    return i >= 0 && i < count_ && table_.steps[i].Active && table_.steps[i].Command == command;
  }
  // The nearest such step before k; -1 when none.
  std::int32_t Before(std::int32_t k, const char* command) const {
    for (std::int32_t i = std::min(k, count_) - 1; i >= 0; --i)
      if (Is(i, command)) return i;
    return -1;
  }
  // The nearest such step after k; the step count when none.
  std::int32_t After(std::int32_t k, const char* command) const {
    for (std::int32_t i = k + 1; i < count_; ++i)
      if (Is(i, command)) return i;
    return count_;
  }
  // The active steps of a command strictly between two steps.
  std::vector<const TTmpOneMacroComand*> Between(std::int32_t from, std::int32_t to, const char* command) const {
    std::vector<const TTmpOneMacroComand*> steps;
    for (std::int32_t i = std::max(from + 1, 0); i < std::min(to, count_); ++i)
      if (Is(i, command)) steps.push_back(&table_.steps[i]);
    return steps;
  }

 private:
  const MacroTable& table_;
  std::int32_t count_;
};

// A run of our own for the commands the preview borrows. Its channel stays empty, so it never
// shows a state or changes a tree icon.
class Scratch {
 public:
  Scratch(ChannelTree& tree, const PreviewInput& in) : run_(tree, host_) {
    run_.MutableBuffers().StartURL = in.pages.indexURL;
    run_.SetExecutingStep(in.step);
  }

  TDownload& Run() { return run_; }
  RunBuffers& Buffers() { return run_.MutableBuffers(); }

  // The commands' log lines from now on.
  void Capture() {
    host_.lines.clear();
    host_.capture = true;
  }
  std::vector<std::string> TakeLog() {
    host_.capture = false;
    return std::move(host_.lines);
  }

  std::string EditUrl(std::string url, const std::vector<const TTmpOneMacroComand*>& edits) {
    Buffers().NewsURL = std::move(url);
    for (const TTmpOneMacroComand* s : edits) run_.EditUrlNews(s->P1, s->P2, s->P3, s->P4);
    return std::move(Buffers().NewsURL);  // the next use sets it afresh
  }
  std::string EditIndex(std::string page, const std::vector<const TTmpOneMacroComand*>& edits) {
    Buffers().IndexHTML = std::move(page);
    for (const TTmpOneMacroComand* s : edits) run_.EditIndexHTML(s->P1, s->P2);
    return std::move(Buffers().IndexHTML);
  }
  std::string EditHtml(std::string html, const std::vector<const TTmpOneMacroComand*>& edits) {
    Buffers().HTML = std::move(html);
    for (const TTmpOneMacroComand* s : edits) run_.EditHTMLNews(s->P1, s->P2, s->P3, s->P4);
    return Buffers().HTML;
  }

 private:
  QuietHost host_;
  TDownload run_;
};

// The EditIndexHTML steps a run makes before step k on the page it last loaded into IndexHTML.
std::vector<const TTmpOneMacroComand*> IndexEdits(const Flow& flow, std::int32_t k) {
  const std::int32_t load = std::max(flow.Before(k, "GetStart"), flow.Before(k, "GetNextIndex"));
  return flow.Between(load, k, "EditIndexHTML");
}

// IndexHTML when step k begins: the fetched index page through those steps. Null without a page.
std::shared_ptr<const std::string> IndexAt(Scratch& scratch, const Flow& flow, std::int32_t k, const PreviewInput& in) {
  const auto edits = IndexEdits(flow, k);
  if (!in.pages.index || edits.empty()) return in.pages.index;
  return std::make_shared<const std::string>(scratch.EditIndex(*in.pages.index, edits));
}

struct LinkScan {
  std::vector<PreviewLink> links;
  std::size_t pageLinks = 0;
  std::size_t loadedBefore = 0;
  int next = -1;  // index into links
};

// The links FindUrlNews step f would look at. Each matching link is taken through the
// EditUrlNews steps between f and the next GetNews, as GetNews would test it.
LinkScan ScanLinks(Scratch& scratch, const Flow& flow, std::int32_t f, const PreviewInput& in, bool untilNext) {
  LinkScan scan;
  const std::shared_ptr<const std::string> index = IndexAt(scratch, flow, f, in);
  if (!index) return scan;
  const TTmpOneMacroComand& find = flow.Step(f);
  const auto edits = flow.Between(f, flow.After(f, "GetNews"), "EditUrlNews");
  const bool history = in.checkHistory && in.history;
  PreviewCache* cache = in.cache;
  if (cache) {
    std::string key = in.pages.indexURL + '\n' + std::to_string(reinterpret_cast<std::uintptr_t>(in.history)) + ':' +
                      std::to_string(in.historyVersion) + (history ? "+" : "-");
    for (const TTmpOneMacroComand* s : edits)
      for (const std::string* p : {&s->P1, &s->P2, &s->P3, &s->P4}) key += '\0' + *p;
    // The links' places are those of the page as EditIndexHTML left it.
    for (const TTmpOneMacroComand* s : IndexEdits(flow, f)) key += "\x01" + s->P1 + '\0' + s->P2;
    if (cache->page != in.pages.index || cache->key != key) {
      cache->page = in.pages.index;
      cache->key = std::move(key);
      cache->byPlace.clear();
    }
  }
  LinkFinder pattern(find.P1);
  ForEachIndexLink(*index, [&](std::string_view link) {
    const std::size_t place = scan.pageLinks++;
    if (find.P1.empty() || !pattern.FoundIn(link)) return true;
    PreviewLink l;
    l.link = std::string(link);
    if (cache && place < cache->byPlace.size() && cache->byPlace[place]) {
      std::tie(l.url, l.loadedBefore) = *cache->byPlace[place];
    } else {
      l.url = edits.empty() ? l.link : scratch.EditUrl(l.link, edits);
      l.loadedBefore = history && in.history->Contains(l.url);
      if (cache) {
        if (cache->byPlace.size() <= place) cache->byPlace.resize(place + 1);
        cache->byPlace[place].emplace(l.url, l.loadedBefore);
      }
    }
    if (l.loadedBefore) ++scan.loadedBefore;
    if (!l.loadedBefore && scan.next < 0) {
      l.next = true;
      scan.next = static_cast<int>(scan.links.size());
    }
    scan.links.push_back(std::move(l));
    return !(untilNext && scan.next >= 0);
  });
  return scan;
}

// NewsURL when step k begins: the next link of the nearest FindUrlNews before it, through the
// EditUrlNews steps between; without such a step, the URL of the last fetched news page.
std::string NewsUrlAt(Scratch& scratch, const Flow& flow, std::int32_t k, const PreviewInput& in) {
  std::int32_t f = flow.Before(k, "FindUrlNews");
  if (f < 0 || !in.pages.index) return in.pages.newsURL;
  LinkScan scan = ScanLinks(scratch, flow, f, in, true);
  if (scan.next < 0) return std::string();
  return scratch.EditUrl(scan.links[scan.next].link, flow.Between(f, k, "EditUrlNews"));
}

// The HTML buffer when step k begins: the fetched news page through the EditHTMLNews steps
// since the last GetNews.
std::string HtmlAt(Scratch& scratch, const Flow& flow, std::int32_t k, const PreviewInput& in) {
  if (!in.pages.news) return std::string();
  auto edits = flow.Between(flow.Before(k, "GetNews"), k, "EditHTMLNews");
  if (edits.empty()) return *in.pages.news;
  return scratch.EditHtml(*in.pages.news, edits);
}

void SetExcerpt(StepPreview& p, std::string_view text, const std::optional<TextSpan>& span) {
  if (!span) return;
  const std::size_t begin = span->start, end = span->start + span->length;
  const std::size_t from = begin > kContext ? begin - kContext : 0;
  const std::size_t to = std::min(text.size(), end + kContext);
  p.excerpt = std::string(text.substr(from, begin - from));
  if (span->length <= kMatchShown) {
    p.excerpt += text.substr(begin, span->length);
  } else {
    p.excerpt += text.substr(begin, kMatchShown / 2);
    p.excerpt += W(" … ");
    p.excerpt += text.substr(end - kMatchShown / 2, kMatchShown / 2);
  }
  p.match = TextSpan{begin - from, p.excerpt.size() - (begin - from)};
  p.excerpt += text.substr(end, to - end);
}

std::string IndexSource(const PreviewInput& in) {
  return W("Стартовая страница (IndexHTML): ") + in.pages.indexURL + ", " + SizeText(in.pages.index->size());
}

std::string NewsSource(const PreviewInput& in, const std::string& newsUrl) {
  std::string s = W("Страница новости (HTML-буфер): ") + in.pages.newsURL + ", " + SizeText(in.pages.news->size());
  if (!newsUrl.empty() && newsUrl != in.pages.newsURL)
    s += W(". Это последняя загруженная новость; следующей будет ") + newsUrl;
  return s;
}

const std::string& NoIndexPage() {
  static const std::string text = W(
      "Стартовой страницы нет: канал ещё не загружался. Запустите загрузку (F8 — по шагам) или нажмите "
      "«Загрузить страницу».");
  return text;
}

const std::string& NoNewsPage() {
  static const std::string text = W(
      "Страницы новости нет: загрузка ещё не дошла до GetNews. Запустите загрузку (F8 — по шагам) или нажмите "
      "«Загрузить страницу».");
  return text;
}

void PreviewGetStart(StepPreview& p, const TTmpOneMacroComand& s, const PreviewInput& in) {
  if (!in.pages.index) {
    p.summary = NoIndexPage();
    return;
  }
  const std::string& page = *in.pages.index;
  p.kind = StepPreview::Kind::kFind;
  p.source = IndexSource(in);
  if (in.pages.indexURL != s.P1)
    p.source += W(". Страница получена не с адреса этого шага — загрузите её заново кнопкой «Загрузить страницу»");
  std::optional<TextSpan> span = FindFragmentSpan(page, s.P2);
  SetExcerpt(p, page, span);
  p.positive = span && page.size() >= 10;
  if (p.positive)
    p.summary = W("Фрагмент ") + Quoted(s.P2) + W(" на странице есть: загрузка пойдёт дальше.");
  else if (s.P2.empty())
    p.summary = W("Фрагмент не задан, а пустой фрагмент не находится никогда: загрузка канала здесь закончится.");
  else
    p.summary = W("Фрагмента ") + Quoted(s.P2) + W(" на странице нет: загрузка канала здесь закончится.");
}

void PreviewGetNews(StepPreview& p, Scratch& scratch, const Flow& flow, std::int32_t k, const PreviewInput& in) {
  const TTmpOneMacroComand& s = flow.Step(k);
  std::string url = NewsUrlAt(scratch, flow, k, in);
  if (in.checkHistory && in.history && !url.empty() && in.history->Contains(url)) {
    p.summary = W("Адрес ") + url + W(" уже есть в истории загрузок: страница не будет загружена, переход к шагу №") +
                s.P4 + ".";
    return;
  }
  if (!in.pages.news) {
    p.summary = NoNewsPage();
    return;
  }
  p.kind = StepPreview::Kind::kFind;
  p.source = NewsSource(in, url);
  std::optional<TextSpan> span = FindFragmentSpan(*in.pages.news, s.P1);
  SetExcerpt(p, *in.pages.news, span);
  p.positive = span.has_value();
  p.summary = p.positive ? W("Фрагмент ") + Quoted(s.P1) + W(" есть: страница будет принята.")
                         : W("Фрагмента ") + Quoted(s.P1) + W(" нет: страница не будет принята, переход к шагу №") +
                               s.P4 + ".";
}

void PreviewGotoMacro(StepPreview& p, Scratch& scratch, const Flow& flow, std::int32_t k, const PreviewInput& in) {
  const TTmpOneMacroComand& s = flow.Step(k);
  std::string text;
  if (s.P3 == "StandartParameter=0") {
    text = NewsUrlAt(scratch, flow, k, in);
    p.source = W("Адрес новости (NewsURL): ") + text;
  } else if (s.P3 == "StandartParameter=1") {
    if (!in.pages.news && s.P2 != "StandartParameter=0") {
      p.summary = NoNewsPage();
      return;
    }
    text = HtmlAt(scratch, flow, k, in);
    if (in.pages.news) p.source = NewsSource(in, std::string());
  } else if (s.P3 == "StandartParameter=2") {
    if (!in.pages.index && s.P2 != "StandartParameter=0") {
      p.summary = NoIndexPage();
      return;
    }
    if (in.pages.index) {
      text = *IndexAt(scratch, flow, k, in);
      p.source = IndexSource(in);
    }
  }
  RunBuffers& b = scratch.Buffers();
  b.NewsURL = s.P3 == "StandartParameter=0" ? text : std::string();
  b.HTML = s.P3 == "StandartParameter=1" ? text : std::string();
  b.IndexHTML = s.P3 == "StandartParameter=2" ? text : std::string();
  scratch.Run().SetStepIndex(k + 1);
  scratch.Capture();
  scratch.Run().GotoMacro(s.P1, s.P2, s.P3, s.P4);
  p.log = scratch.TakeLog();
  const bool jumps = !p.log.empty();  // GotoMacro writes its log exactly when it jumps
  p.kind = StepPreview::Kind::kFind;
  std::optional<TextSpan> span = FindFragmentSpan(text, s.P4);
  SetExcerpt(p, text, span);
  p.positive = jumps;
  if (!jumps) {
    p.summary = W("Перехода не будет: выполнится следующий шаг.");
  } else {
    std::int32_t target = scratch.Run().StepIndex();
    p.summary = W("Переход к шагу №") + s.P1 + ".";
    std::int32_t parsed = 0;
    if (!ParseStepNumber(s.P1, parsed))
      p.summary += W(" Это не номер шага: папка на этом закончится.");
    else if (target < kEndFolder)
      p.summary += W(" Номер меньше -1: загрузка канала закончится после этой папки.");
    else if (target == kEndFolder || target >= flow.Count())
      p.summary += W(" Такого шага нет: папка на этом закончится.");
  }
}

void PreviewFindUrlNews(StepPreview& p, Scratch& scratch, const Flow& flow, std::int32_t k, const PreviewInput& in) {
  const TTmpOneMacroComand& s = flow.Step(k);
  if (!in.pages.index) {
    p.summary = NoIndexPage();
    return;
  }
  p.kind = StepPreview::Kind::kLinks;
  p.source = IndexSource(in);
  LinkScan scan = ScanLinks(scratch, flow, k, in, false);
  p.pageLinks = scan.pageLinks;
  p.links = std::move(scan.links);
  const std::string counts = W("Ссылок на странице: ") + std::to_string(p.pageLinks) + W(", подходят: ") +
                             std::to_string(p.links.size()) + W(", из них уже загружены: ") +
                             std::to_string(scan.loadedBefore) + ". ";
  if (s.P1.empty()) {
    p.summary = W("Фрагмент не задан: команда не возьмёт ни одной ссылки.");
  } else if (p.links.empty()) {
    p.summary = counts + W("Ни одна ссылка не подходит: переход к шагу №") + s.P2 + ".";
  } else if (scan.next < 0) {
    p.summary = counts + W("Новых новостей нет: все подходящие ссылки уже загружены.");
  } else {
    p.positive = true;
    p.summary = counts + W("Следующая новость: ") + p.links[scan.next].url;
  }
}

void PreviewEdit(StepPreview& p, std::string before, std::string after, std::vector<std::string> log) {
  p.kind = StepPreview::Kind::kEdit;
  p.changes = ChangedPlaces(before, after, kMaxPreviewChanges, &p.moreChanges);
  p.positive = !p.changes.empty();
  p.before = std::move(before);
  p.after = std::move(after);
  p.log = std::move(log);
}

void PreviewEditUrlNews(StepPreview& p, Scratch& scratch, const Flow& flow, std::int32_t k, const PreviewInput& in) {
  const TTmpOneMacroComand& s = flow.Step(k);
  std::string before = NewsUrlAt(scratch, flow, k, in);
  p.source = W("Адрес новости (NewsURL)");
  if (in.pages.index) p.source += W(", взятый со стартовой страницы ") + in.pages.indexURL;
  if (before.empty()) {
    p.summary = in.pages.index || in.pages.news ? W("Адреса новости нет: подходящая ссылка не найдена.") : NoIndexPage();
    return;
  }
  scratch.Capture();
  std::string after = scratch.EditUrl(before, {&s});
  std::vector<std::string> log = scratch.TakeLog();
  if (after.empty())
    p.summary = W("Адрес станет пустым: стартовой страницы нет, относительный адрес не сделать полным.");
  else if (after == before)
    p.summary = W("Адрес не изменится: ") + after;
  else
    p.summary = W("Адрес новости станет: ") + after;
  PreviewEdit(p, std::move(before), std::move(after), std::move(log));
}

void PreviewEditHTMLNews(StepPreview& p, Scratch& scratch, const Flow& flow, std::int32_t k, const PreviewInput& in) {
  const TTmpOneMacroComand& s = flow.Step(k);
  if (!in.pages.news) {
    p.summary = NoNewsPage();
    return;
  }
  p.source = NewsSource(in, std::string());
  std::string before = HtmlAt(scratch, flow, k, in);
  scratch.Capture();
  std::string after = scratch.EditHtml(before, {&s});
  std::vector<std::string> log = scratch.TakeLog();
  const std::size_t beforeSize = before.size(), afterSize = after.size();
  PreviewEdit(p, std::move(before), std::move(after), std::move(log));
  p.summary = p.changes.empty() ? W("Страница не изменится.")
                                : W("Изменённых мест: ") + std::to_string(p.changes.size()) +
                                      (p.moreChanges ? W(" и больше (показаны первые)") : std::string()) +
                                      W("; размер страницы: ") + SizeText(beforeSize) + " -> " + SizeText(afterSize) +
                                      ".";
}

void PreviewGetNextIndex(StepPreview& p, Scratch& scratch, const Flow& flow, std::int32_t k, const PreviewInput& in) {
  const TTmpOneMacroComand& s = flow.Step(k);
  if (!in.pages.index) {
    p.summary = NoIndexPage();
    return;
  }
  const std::shared_ptr<const std::string> page = IndexAt(scratch, flow, k, in);
  p.kind = StepPreview::Kind::kFind;
  p.source = IndexSource(in);
  std::optional<TextSpan> span = FindFragmentSpan(*page, s.P1);
  SetExcerpt(p, *page, span);
  const bool forward = NextIndexForward(s.P3);
  std::string link;
  if (forward) {
    UrlResolver resolver = scratch.Run().IndexResolver();
    link = NextIndexLink(*page, s.P1, true, resolver);
  } else {
    link = NextIndexLink(*page, s.P1);
  }
  const std::string url = link.empty() || link[0] == '#' ? std::string() : scratch.Run().ResolveURL(link);
  p.positive = !url.empty() && url != scratch.Run().ResolveURL("");
  if (p.positive)
    p.summary = W("Следующая страница списка: ") + url;
  else if (!span && !(forward && s.P1.empty()))
    p.summary = W("Фрагмента ") + Quoted(s.P1) + W(" на странице нет: следующей страницы нет, переход к шагу №") + s.P4 +
                ".";
  else if (forward)
    p.summary = W("Ссылки вперёд (rel=\"next\", «Следующая», », номер страницы на единицу больше) ") +
                (s.P1.empty() ? std::string() : W("после фрагмента ") + Quoted(s.P1) + " ") +
                W("нет: переход к шагу №") + s.P4 + ".";
  else
    p.summary = W("После фрагмента ") + Quoted(s.P1) + W(" нет ссылки на другую страницу: переход к шагу №") + s.P4 + ".";
}

std::size_t LinkCount(std::string_view page) {
  std::size_t n = 0;
  ForEachIndexLink(page, [&](std::string_view) { return ++n, true; });
  return n;
}

void PreviewEditIndexHTML(StepPreview& p, Scratch& scratch, const Flow& flow, std::int32_t k, const PreviewInput& in) {
  const TTmpOneMacroComand& s = flow.Step(k);
  if (!in.pages.index) {
    p.summary = NoIndexPage();
    return;
  }
  p.source = IndexSource(in);
  std::string before = *IndexAt(scratch, flow, k, in);
  scratch.Capture();
  std::string after = scratch.EditIndex(before, {&s});
  std::vector<std::string> log = scratch.TakeLog();
  const std::size_t linksBefore = LinkCount(before), linksAfter = LinkCount(after);
  PreviewEdit(p, std::move(before), std::move(after), std::move(log));
  p.summary = p.changes.empty() ? W("Страница не изменится.")
                                : W("Изменённых мест: ") + std::to_string(p.changes.size()) +
                                      (p.moreChanges ? W(" и больше (показаны первые)") : std::string()) +
                                      W("; ссылок на странице: ") + std::to_string(linksBefore) + " -> " +
                                      std::to_string(linksAfter) + ".";
}

void PreviewFindNameNews(StepPreview& p, Scratch& scratch, const Flow& flow, std::int32_t k, const PreviewInput& in) {
  const TTmpOneMacroComand& s = flow.Step(k);
  if (!in.pages.news) {
    p.summary = NoNewsPage();
    return;
  }
  p.kind = StepPreview::Kind::kName;
  p.source = NewsSource(in, std::string());
  std::string html = HtmlAt(scratch, flow, k, in);
  p.title = NewsTitleBetween(html, s.P1, s.P2);
  if (p.title.empty()) {
    p.summary = W("Меток ") + Quoted(s.P1) + W(" и ") + Quoted(s.P2) +
                W(" с названием между ними на странице нет: новость получит имя по умолчанию — канал, папка, дата и "
                  "время.");
    return;
  }
  scratch.Run().SetCurrentFolder(in.folder);
  scratch.Buffers().HTML = std::move(html);
  scratch.Buffers().NewsURL = in.pages.newsURL;
  scratch.Capture();
  scratch.Run().FindNameNews(s.P1, s.P2);
  p.log = scratch.TakeLog();
  p.name = scratch.Buffers().NewsName;
  p.positive = true;
  p.summary = W("Имя новости: ") + p.name + W(", файл ") + Quoted(p.name + ".html");
  if (p.name != p.title)
    p.summary += W(". Загрузка изменила название, чтобы из него вышло имя файла, которого в папке ещё нет.");
}

}  // namespace

StepPreview PreviewStep(ChannelTree& tree, const PreviewInput& in) {
  StepPreview p;
  if (!in.table || in.step < 0 || in.step >= std::min(in.table->count, kMacroSlots)) return p;
  Flow flow(*in.table);
  const TTmpOneMacroComand& s = flow.Step(in.step);
  Scratch scratch(tree, in);
  const std::string& c = s.Command;
  if (c == "GetStart") PreviewGetStart(p, s, in);
  else if (c == "FindUrlNews") PreviewFindUrlNews(p, scratch, flow, in.step, in);
  else if (c == "EditUrlNews") PreviewEditUrlNews(p, scratch, flow, in.step, in);
  else if (c == "GetNews") PreviewGetNews(p, scratch, flow, in.step, in);
  else if (c == "EditHTMLNews") PreviewEditHTMLNews(p, scratch, flow, in.step, in);
  else if (c == "FindNameNews") PreviewFindNameNews(p, scratch, flow, in.step, in);
  else if (c == "GotoMacro") PreviewGotoMacro(p, scratch, flow, in.step, in);
  else if (c == "GetNextIndex") PreviewGetNextIndex(p, scratch, flow, in.step, in);
  else if (c == "EditIndexHTML") PreviewEditIndexHTML(p, scratch, flow, in.step, in);
  else {
    p.kind = StepPreview::Kind::kNote;
    if (c == "FindAttachment")
      p.summary = W("Рисунки и стили видны в очереди вложений на вкладке «Ход загрузки» после пошаговой загрузки.");
    else if (c == "SaveNews")
      p.summary = W("Сохраняет страницу из HTML-буфера в файл новости этой папки.");
    else if (c == "NotOperation")
      p.summary = W("Пустой шаг: ничего не делает.");
    else
      p.summary = W("Команды ") + Quoted(c) + W(" загрузка не знает: шаг ничего не сделает.");
  }
  if (!s.Active) p.summary = W("Шаг выключен: загрузка его пропустит. ") + p.summary;
  return p;
}

std::vector<TextChange> ChangedPlaces(std::string_view b, std::string_view a, std::size_t maxChanges, bool* more) {
  std::vector<TextChange> out;
  if (more) *more = false;
  const std::size_t n = b.size(), m = a.size();
  std::size_t i = 0, j = 0;
  for (;;) {
    while (i < n && j < m && b[i] == a[j]) ++i, ++j;
    if (i == n && j == m) break;
    if (out.size() == maxChanges) {
      if (more) *more = true;
      break;
    }
    // Where the texts agree again: a piece of one text found in the other, looked for ever
    // further behind the difference; the ends of both texts when there is none.
    std::size_t i2 = n, j2 = m, best = std::string_view::npos;
    for (std::size_t s = 0;; s = s == 0 ? 1 : s * 2) {
      bool tried = false;
      if (i + s + kAnchor <= n) {
        tried = true;
        std::size_t hit = a.substr(j, std::min(kWindow, m - j)).find(b.substr(i + s, kAnchor));
        if (hit != std::string_view::npos && s + hit < best) best = s + hit, i2 = i + s, j2 = j + hit;
      }
      if (j + s + kAnchor <= m) {
        tried = true;
        std::size_t hit = b.substr(i, std::min(kWindow, n - i)).find(a.substr(j + s, kAnchor));
        if (hit != std::string_view::npos && s + hit < best) best = s + hit, i2 = i + hit, j2 = j + s;
      }
      if (best != std::string_view::npos || !tried || s > kWindow) break;
    }
    // The agreeing piece may begin inside text both share: the place ends where they last differ.
    while (i2 > i && j2 > j && b[i2 - 1] == a[j2 - 1]) --i2, --j2;
    out.push_back({i, i2 - i, j, j2 - j});
    i = i2;
    j = j2;
  }
  return out;
}

std::string FirstStartURL(const MacroTable& table) {
  Flow flow(table);
  std::int32_t g = flow.After(-1, "GetStart");
  return flow.Is(g, "GetStart") ? flow.Step(g).P1 : std::string();
}

PreviewPageRequest PageForStep(ChannelTree& tree, const PreviewInput& in) {
  PreviewPageRequest request;
  if (!in.table || in.step < 0 || in.step >= std::min(in.table->count, kMacroSlots)) return request;
  Flow flow(*in.table);
  const TTmpOneMacroComand& s = flow.Step(in.step);
  if (s.Command == "GetStart") {
    request.url = s.P1;
    return request;
  }
  const bool newsPage = s.Command == "GetNews" || s.Command == "EditHTMLNews" || s.Command == "FindNameNews" ||
                        (s.Command == "GotoMacro" && s.P3 == "StandartParameter=1");
  if (newsPage) {
    Scratch scratch(tree, in);
    request.url = NewsUrlAt(scratch, flow, in.step, in);
    request.indexPage = false;
    if (!request.url.empty()) return request;
  }
  std::int32_t g = flow.Before(in.step, "GetStart");
  request.url = g >= 0 ? flow.Step(g).P1 : in.channelStartURL;
  request.indexPage = true;
  return request;
}

class PreviewFetch::Host : public QuietHost {
 public:
  using QuietHost::QuietHost;
};

PreviewFetch::PreviewFetch(const std::string& dataDir, const RunSettings& settings)
    : tree_(dataDir), host_(std::make_unique<Host>(settings)), run_(std::make_unique<TDownload>(tree_, *host_)) {}

PreviewFetch::~PreviewFetch() = default;

void PreviewFetch::Stop() { run_->StopRun(); }

PreviewFetch::Result PreviewFetch::Fetch(const std::string& url, bool indexPage) {
  Result result;
  host_->capture = true;
  if (url.empty()) {
    result.error = W("Адрес не задан.");
    return result;
  }
  if (indexPage && !run_->OpenStartPage(url)) {
    result.error = W("Нет ответа от ") + url;
    return result;
  }
  result.page = run_->FetchPage(url);
  result.ok = !result.page.empty();
  if (result.ok) result.address = run_->PageBase(url, result.page);
  if (!result.ok) {
    // The fetcher has said why in its log line, if it knows.
    result.error = W("Страница не получена: ") + url;
    for (const std::string& line : host_->lines) result.error += "\r" + line.substr(line.find(' ') + 1);
  }
  return result;
}

}  // namespace skimlet
