// GetStart, FindUrlNews, EditUrlNews, GetNews and the URL resolution they share.
#include <algorithm>
#include <cstring>

#include "engine/DownLoad.h"

#include "page/Pagination.h"
#include "fetch/Transfer.h"
#include "page/Html.h"
#include "page/Tools.h"
#include "platform/Text.h"

namespace skimlet {

namespace {

constexpr int kMaxLinks = 10000;
constexpr int kMaxEdits = 999;
constexpr std::int32_t kDefaultNextPages = 5;

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (UpperWin1251(static_cast<unsigned char>(s[i])) != static_cast<unsigned char>(prefix[i])) return false;
  return true;
}

// The first "HREF=" in any case that starts at or after `from`, without an upper-case copy
// of the page (only "=" upper-cases to "=").
std::size_t FindHref(std::string_view page, std::size_t from) {
  for (std::size_t eq = from + 4; eq < page.size(); ++eq) {
    const void* hit = std::memchr(page.data() + eq, '=', page.size() - eq);
    if (hit == nullptr) break;
    eq = static_cast<std::size_t>(static_cast<const char*>(hit) - page.data());
    if (StartsWithNoCase(page.substr(eq - 4), "HREF")) return eq - 4;
  }
  return std::string_view::npos;
}

}  // namespace

void ForEachIndexLink(std::string_view page, const std::function<bool(std::string_view link)>& visit) {
  int links = 0;
  for (std::size_t from = 0; links < kMaxLinks; ++links) {
    std::size_t h = FindHref(page, from);
    if (h == std::string_view::npos) break;
    TextSpan value = AttributeValueAt(page, h + 5, "\"' >");
    from = value.start;
    if (!visit(page.substr(value.start, value.length))) break;
  }
}

std::string TDownload::ResolveURL(const std::string& link) const {
  if (buf_.StartURL.empty()) return std::string();
  // The link as the page wrote it: "&amp;" means "&".
  const std::string address = AttributeUrl(link);
  // One resolver per base: it keeps what libcurl made of the page's directory, and a macro
  // preview resolves thousands of links against the same page.
  const std::string& base = IndexBase();
  if (!indexResolver_ || indexResolverFor_ != base) {
    indexResolver_ = std::make_unique<UrlResolver>(base);
    indexResolverFor_ = base;
  }
  UrlResolver& resolver = *indexResolver_;
  if (resolver.HasBase()) return resolver.Resolve(address);
  // A StartURL that is no address: only absolute links keep a meaning.
  return IsHttpUrl(address) ? address : std::string();
}

const std::string& TDownload::IndexBase() const {
  return !indexBase_.empty() && indexBaseFor_ == buf_.StartURL ? indexBase_ : buf_.StartURL;
}

UrlResolver TDownload::IndexResolver() const {
  if (buf_.StartURL.empty()) return UrlResolver();
  return UrlResolver(IndexBase());
}

UrlResolver TDownload::PageResolver() const {
  if (!pageBase_.empty()) return UrlResolver(pageBase_);
  return IndexResolver();
}

std::string TDownload::PageBase(const std::string& requested, const std::string& page) const {
  std::string address = CleanUrl(requested);
  if (!HasScheme(address)) address = "http://" + address;
  // After a redirect the page's links are relative to where it ended up; otherwise the
  // address keeps the form it was asked for.
  if (!lastFetchUrl_.empty() && UrlResolver(UrlForTransfer(address)).Resolve("") != WithoutFragment(lastFetchUrl_))
    address = lastFetchUrl_;
  std::string href = BaseHref(page);
  if (!href.empty()) {
    std::string base = UrlResolver(address).Resolve(href);
    if (IsHttpUrl(base)) address = base;
  }
  return address;
}

TDownload::IndexLoad TDownload::LoadIndex(const std::string& address, const std::string& command) {
  {
    std::lock_guard lock(mutex_);
    buf_.IndexHTML.clear();
    buf_.StartURL = address;
  }
  indexBase_.clear();
  indexBaseFor_.clear();
  AddRunLog(Prefix() + ">>" + command + W(". Подключение к ") + address, kDarkRed);
  const std::string url = CleanUrl(address);  // a TAB or line break is no part of an address
  if (!OpenStartPage(url)) return IndexLoad::kNoAnswer;
  AddRunLog(Prefix() + ">>" + command + W(". Получен ответ от ") + address + W(". Идет загрузка в IndexHTML-буфер"),
            kDarkRed);
  std::string page = FetchPage(url);
  if (!fetchError_.empty()) {
    std::lock_guard lock(mutex_);
    buf_.StartURL.clear();
    return IndexLoad::kNoPage;
  }
  if (!page.empty()) {
    indexBase_ = PageBase(url, page);
    indexBaseFor_ = address;
  }
  KeepFetched(true, address, page);
  std::lock_guard lock(mutex_);
  buf_.IndexHTML = std::move(page);
  return IndexLoad::kLoaded;
}

void TDownload::GetStart(const std::string& p1, const std::string& p2, const std::string& p3) {
  nextPages_ = 0;
  listPagesRead_.clear();
  const IndexLoad loaded = LoadIndex(p1, "GetStart");
  if (loaded != IndexLoad::kLoaded) {
    AddRunLog(Prefix() + W(">>GetStart. Остановка загрузки. ") +
                  W(loaded == IndexLoad::kNoAnswer ? "Нет ответа: " : "Страница не получена: ") + fetchError_,
              kRed);
    folderEnd_ = W("стартовая страница ") + p1 + W(" не получена: ") + fetchError_;
    indexFailed_ = indexFailed_ || !finished_;
    stepIndex_ = kEndRun;
    return;
  }
  if (ContainsFragment(buf_.IndexHTML, p2) && buf_.IndexHTML.size() >= 10) {
    NoteListPageRead(CleanUrl(p1));
    AddRunLog(Prefix() + ">> GetStart(" + p1 + W(") - ГОТОВО"), kDarkRed);
  } else {
    AddRunLog(Prefix() + W(">>GetStart. Нет фрагмента ") + p2 + W(". Переход к шагу №") + p3, kRed);
    Jump(p3);
    std::lock_guard lock(mutex_);
    buf_.StartURL.clear();
  }
  if (buf_.StartURL.empty()) stepIndex_ = kEndRun;
}

std::string NextIndexLink(std::string_view page, std::string_view fragment) {
  std::optional<TextSpan> match = FindFragmentSpan(page, fragment);
  if (!match) return std::string();
  const std::size_t matchEnd = match->start + match->length;
  std::string link;
  ForEachIndexLink(page, [&](std::string_view value) {
    const std::size_t start = static_cast<std::size_t>(value.data() - page.data()), end = start + value.size();
    // The address the fragment begins in, the link of the tag it stands in behind the address
    // (`<a href="/2" rel="next">`), or the first link behind the fragment that reaches past its
    // end (the fragment may stop inside the tag, or inside the address).
    const bool inAddress = start <= match->start && match->start < end;
    const bool sameTag = end <= match->start &&
                         page.substr(end, match->start - end).find_first_of("<>") == std::string_view::npos;
    const bool behind = start >= match->start && end >= matchEnd;
    if (!inAddress && !sameTag && !behind) return true;
    link = std::string(value);
    return false;
  });
  return link;
}

std::string NextIndexLink(std::string_view page, std::string_view fragment, bool forward, UrlResolver& resolver) {
  if (!forward) return NextIndexLink(page, fragment);
  std::size_t from = 0;
  if (!fragment.empty()) {
    std::optional<TextSpan> match = FindFragmentSpan(page, fragment);
    if (!match) return std::string();
    // A fragment inside a tag (rel="next") counts from that tag.
    const std::size_t lt = page.rfind('<', match->start);
    from = lt != std::string_view::npos && page.find('>', lt) >= match->start ? lt : match->start;
  }
  return FindForwardLink(page, resolver, from).href;
}

bool NextIndexForward(const std::string& p3) { return p3 == "StandartParameter=1"; }

void TDownload::NoteListPageRead(const std::string& address) {
  listPagesRead_.insert(WithoutFragment(address));
  listPagesRead_.insert(WithoutFragment(ResolveURL("")));
}

void TDownload::GetNextIndex(const std::string& p1, const std::string& p2, const std::string& p3,
                             const std::string& p4) {
  std::int32_t most = kDefaultNextPages;
  if (!ParseStepNumber(p2, most)) most = kDefaultNextPages;
  if (nextPages_ >= most) {
    AddRunLog(Prefix() + W(">>GetNextIndex. Пройдено страниц списка: ") + std::to_string(nextPages_) +
                  W(" из ") + std::to_string(std::max(most, 0)) + W(". Переход к шагу №") + p4,
              kBlue);
    Jump(p4);
    return;
  }
  std::string link;
  if (NextIndexForward(p3)) {
    UrlResolver resolver = IndexResolver();
    link = NextIndexLink(buf_.IndexHTML, p1, true, resolver);
  } else {
    link = NextIndexLink(buf_.IndexHTML, p1);
  }
  // A taken link ("#"), an anchor or the page itself: the list has no further page.
  const std::string url = link.empty() || link[0] == '#' ? std::string() : WithoutFragment(ResolveURL(link));
  if (url.empty() || url == WithoutFragment(ResolveURL(""))) {
    AddRunLog(Prefix() + W(">>GetNextIndex. Ссылки на следующую страницу ") +
                  (p1.empty() ? std::string() : W("после ") + p1 + " ") + W("нет. Переход к шагу №") +
                  p4,
              kBlue);
    Jump(p4);
    return;
  }
  // A pager that leads back (page 2's first link is page 1) would read the same pages again.
  if (listPagesRead_.count(url) > 0) {
    AddRunLog(Prefix() + W(">>GetNextIndex. ") + url + W(" - страница списка уже пройдена. Переход к шагу №") + p4,
              kRed);
    Jump(p4);
    return;
  }
  ++nextPages_;
  const IndexLoad loaded = LoadIndex(url, "GetNextIndex");
  if (loaded != IndexLoad::kLoaded) {
    // The site answered the first page: a missing later page ends this list only.
    AddRunLog(Prefix() + W(">>GetNextIndex. Следующая страница не получена: ") + fetchError_ +
                  W(". Папка завершена."),
              kRed);
    folderEnd_ = W("следующая страница ") + url + W(" не получена: ") + fetchError_;
    stepIndex_ = kEndFolder;
    return;
  }
  NoteListPageRead(url);
  AddRunLog(Prefix() + ">> GetNextIndex(" + url + W(") - ГОТОВО, страница ") + std::to_string(nextPages_ + 1), kDarkRed);
}

void TDownload::EditIndexHTML(const std::string& p1, const std::string& p2) {
  std::string page = buf_.IndexHTML;
  const std::size_t before = page.size();
  // A fragment from the start of the page matches once: a second match would start there again.
  const bool found = FindFragment(page, p1, p2, !p1.empty() && p1[0] == '*' ? 1 : kMaxEdits, false);
  {
    std::lock_guard lock(mutex_);
    buf_.IndexHTML = std::move(page);
  }
  if (found)
    AddRunLog(Prefix() + ">> EditIndexHTML(" + p1 + " --> " + p2 + W(") - ГОТОВО. Размер IndexHTML: ") +
                  std::to_string(before) + " -> " + std::to_string(buf_.IndexHTML.size()),
              kOlive);
  else
    AddRunLog(Prefix() + W(">> EditIndexHTML. Фрагмента ") + p1 + W(" в IndexHTML нет, список не изменён."), kOlive);
}

void TDownload::FindUrlNews(const std::string& p1, const std::string& p2) {
  int maxDownloads = host_.Settings().maxDownloads;
  if (savedCount_ >= maxDownloads) {
    AddRunLog(Prefix() + W(">> Достигнут максимум загрузок за сессию."), kRed);
    AddRunLog(Prefix() + W(">> Для докачки оставшихся новостей повторите закачку."), kRed);
    AddRunLog(Prefix() + W(">> Число допустимых закачек изменяется в настройках"), kRed);
    finished_ = true;
    return;
  }
  {
    std::lock_guard lock(mutex_);
    buf_.NewsURL.clear();
  }
  LinkFinder pattern(p1);  // a Cyrillic fragment also finds percent-encoded Cyrillic links
  std::string found;
  std::size_t foundAt = 0;
  bool any = false, matched = false;
  ForEachIndexLink(buf_.IndexHTML, [&](std::string_view link) {
    any = true;
    if (p1.empty() || !pattern.FoundIn(link)) return true;
    found = std::string(link);
    foundAt = static_cast<std::size_t>(link.data() - buf_.IndexHTML.data());
    matched = true;
    return false;  // we stop at the first that matches
  });
  if (!any || p1.empty()) return;
  {
    std::lock_guard lock(mutex_);
    buf_.NewsURL = found;
  }
  ShowRunState();
  if (matched) {
    {
      std::lock_guard lock(mutex_);
      // Marked where it was found: the same text elsewhere in the page is not the link.
      buf_.IndexHTML.replace(foundAt, found.size(), "#");
    }
    // Taking a link is progress: the index holds finitely many, and only a fetch refills it.
    // A long run of links already saved then never passes for a loop.
    if (found != "#") stepsWithoutProgress_ = 0;
    AddRunLog(Prefix() + ">> FindUrlNews(" + p1 + ") - OK. URL=" + found, kDarkRed);
    PlanLookAhead(p1);
  } else {
    AddRunLog(Prefix() + W(">>FindUrlNews. В IndexHTML НЕ НАЙДЕНО новых ссылок, содержащих ") + p1 +
                  W("    Переход к шагу №") + p2,
              kBlue);
    Jump(p2);
  }
}

std::string TDownload::EditedUrl(std::string url, const std::string& p1, const std::string& p2,
                                 const std::string& p3, const std::string& p4) const {
  bool replaced = FindFragment(url, p1, p2, 1, false);
  if ((replaced || !p3.empty() || !p4.empty()) && !url.empty()) url = p3 + url + p4;
  if (url.empty()) return url;
  // One news is one address: "x.html#a" and "x.html" are the same page.
  return WithoutFragment(ResolveURL(url));
}

void TDownload::EditUrlNews(const std::string& p1, const std::string& p2, const std::string& p3,
                            const std::string& p4) {
  std::string before = buf_.NewsURL;
  std::string url = EditedUrl(before, p1, p2, p3, p4);
  if (url.empty()) {
    std::lock_guard lock(mutex_);
    buf_.NewsURL = url;
    return;
  }
  {
    std::lock_guard lock(mutex_);
    buf_.NewsURL = url;
  }
  ShowRunState();
  if (url != before) {
    AddRunLog(Prefix() + ">> EditUrlNews([" + p1 + "-->" + p2 + "] Begin=" + p3 + " End=" + p4, kOlive);
    AddRunLog(Prefix() + W(">> ГОТОВО. Полученный Url=") + url, kOlive);
  }
}

void TDownload::GetNews(const std::string& p1, const std::string& p4) {
  {
    std::lock_guard lock(mutex_);
    buf_.HTML.clear();
    buf_.NewsName.clear();
    buf_.NewsURL = NewsAddress(buf_.NewsURL);
  }
  pageBase_.clear();
  attachmentHead_.clear();
  htmlUndeclared_ = false;
  if (!host_.Settings().notCheckHistory && history_.Contains(buf_.NewsURL)) {
    std::int32_t target = 0;
    Record(DryRunEntry::Kind::kInHistory, buf_.NewsURL, {});
    if (ParseStepNumber(p4, target)) {
      stepIndex_ = target;
      AddRunLog(Prefix() + W(">> GetNews. Эта страница была загружена ранее. Переход на шаг №") + p4, kRed);
    } else {
      stepIndex_ = kEndFolder;
    }
    return;
  }
  const std::string url = buf_.NewsURL;
  if (failedUrls_.count(UrlForTransfer(url))) {
    AddRunLog(Prefix() + ">> GetInetFile(" + url + W(") не получен ранее в этом запуске. Переход на шаг №") + p4, kRed);
    Jump(p4);
    return;
  }
  AddRunLog(Prefix() + ">> GetNews. " + url + W(" - Идет загрузка новости."), kBlue);
  AheadPage ahead;
  std::string page = lookAhead_.Take(url, ahead) ? TakeAheadPage(url, std::move(ahead)) : FetchPage(url);
  KeepFetched(false, url, page);
  if (!fetchError_.empty()) {
    // Nothing of a failed fetch is taken, however much arrived.
    AddRunLog(Prefix() + ">> GetInetFile(" + url + W(") не получен. ") + fetchError_ + W(". Переход на шаг №") + p4,
              kRed);
    Jump(p4);
  } else if (ContainsFragment(page, p1)) {
    pageBase_ = PageBase(url, page);
    htmlUndeclared_ = fetchedUndeclared_;
    {
      std::lock_guard lock(mutex_);
      buf_.HTML = std::move(page);
    }
    AddRunLog(Prefix() + ">> GetInetFile. " + url + " - OK", kBlue);
  } else {
    AddRunLog(Prefix() + ">> GetInetFile(" + url + W(") не получен. Нет ") + p1 + W(" Переход на шаг №") + p4, kRed);
    Jump(p4);
  }
}

void TDownload::PlanLookAhead(const std::string& fragment) {
  const RunSettings settings = host_.Settings();
  if (settings.lookAhead <= 0 || stepMode_ || finished_) return;
  // Only EditUrlNews may stand between this step and GetNews; anything else could change
  // what GetNews asks for, so nothing is fetched ahead then.
  std::vector<TTmpOneMacroComand> edits;
  bool toGetNews = false;
  for (std::int32_t k = executingStep_ + 1; k <= executingStep_ + 64 && !toGetNews; ++k) {
    TTmpOneMacroComand s = ReadStep(currentFolderPath_, k);
    if (s.Command.empty()) break;
    if (!s.Active || s.Command == "NotOperation") continue;
    if (s.Command == "EditUrlNews") edits.push_back(std::move(s));
    else if (s.Command == "GetNews") toGetNews = true;
    else break;
  }
  if (!toGetNews) return;
  auto addressOf = [&](std::string url) {
    for (const TTmpOneMacroComand& e : edits)
      if (!url.empty()) url = EditedUrl(std::move(url), e.P1, e.P2, e.P3, e.P4);
    return NewsAddress(url);
  };
  auto wanted = [&](const std::string& url) {
    return IsHttpUrl(url) && (settings.notCheckHistory || !history_.Contains(url)) &&
           !failedUrls_.count(UrlForTransfer(url));
  };
  const std::string current = addressOf(buf_.NewsURL);
  for (const std::string& host : lookAhead_.TakeTooManyRequests()) CutLookAhead(host);
  const int n = std::min(LookAheadFor(HostKey(UrlForTransfer(current))), settings.maxDownloads - savedCount_ - 1);
  std::vector<std::string> urls;
  if (wanted(current)) urls.push_back(current);
  // The links the same step takes next, on a copy of the index marked as it would mark them.
  std::string index = buf_.IndexHTML;
  LinkFinder pattern(fragment);
  // Every search starts where the last link was taken: the links before it did not match.
  std::size_t from = 0;
  for (int ahead = 0, looked = 0; ahead < n && looked < kMaxLinks; ++looked) {
    std::size_t at = std::string::npos;
    std::string link;
    ForEachIndexLink(std::string_view(index).substr(from), [&](std::string_view l) {
      if (!pattern.FoundIn(l)) return true;
      link = std::string(l);
      at = static_cast<std::size_t>(l.data() - index.data());
      return false;
    });
    if (at == std::string::npos || link == "#") break;  // a taken link matches again: the run is stuck there
    index.replace(at, link.size(), "#");
    from = at;
    std::string url = addressOf(link);
    // A page the run saves first counts as loaded before when its link comes again.
    if (!wanted(url) || url == current || std::find(urls.begin(), urls.end(), url) != urls.end()) continue;
    urls.push_back(std::move(url));
    ++ahead;
  }
  lookAhead_.Want(urls, MakeHttpSettings(), n, rng_);
}

}  // namespace skimlet
