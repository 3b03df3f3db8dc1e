// GetStart, FindUrlNews, EditUrlNews, GetNews and the URL resolution they share.
#include <cstring>

#include "engine/DownLoad.h"
#include "engine/Tools.h"
#include "platform/Text.h"

namespace skimlet {

namespace {

constexpr int kMaxLinks = 10000;

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

// Length of the scheme ("http://" or "https://") a URL begins with, or 0.
std::size_t SchemeLength(std::string_view url) {
  if (StartsWithNoCase(url, "HTTP://")) return 7;
  if (StartsWithNoCase(url, "HTTPS://")) return 8;
  return 0;
}

}  // namespace

std::string TDownload::ResolveURL(const std::string& link) const {
  std::string base = buf_.StartURL;
  if (base.empty()) return std::string();
  if (!link.empty() && link[0] == '#') return link;
  // The index page was fetched as http:// when its URL named no scheme.
  if (SchemeLength(base) == 0) base = "http://" + base;
  std::string url = link;
  if (SchemeLength(url) == 0) {
    std::size_t scheme = SchemeLength(base);
    if (!url.empty() && url[0] == '/') {
      // The host ends at the first "/" after the scheme and the host's first character.
      std::size_t slash = base.find('/', scheme + 1);
      url = slash != std::string::npos ? base.substr(0, slash + 1) + url : base + "/" + url;
    } else {
      std::size_t slash = base.rfind('/');
      url = slash >= scheme ? base.substr(0, slash + 1) + url : base + "/" + url;
    }
  }
  std::size_t scheme = SchemeLength(url);
  std::string rest = url.substr(scheme, 1000);
  std::string collapsed;
  collapsed.reserve(rest.size());
  for (char c : rest)
    if (c != '/' || collapsed.empty() || collapsed.back() != '/') collapsed += c;
  return (scheme == 8 ? "https://" : "http://") + collapsed;
}

void TDownload::GetStart(const std::string& p1, const std::string& p2, const std::string& p3) {
  {
    std::lock_guard lock(mutex_);
    buf_.IndexHTML.clear();
    buf_.StartURL = p1;
  }
  AddRunLog(Prefix() + W(">>GetStart. Подключение к ") + p1, kDarkRed);
  if (!OpenStartPage(p1)) {
    AddRunLog(Prefix() + W(">>GetStart. Остановка загрузки. Нет ответа: ") + fetchError_, kRed);
    indexFailed_ = indexFailed_ || !finished_;
    stepIndex_ = kEndRun;
    return;
  }
  AddRunLog(Prefix() + W(">>GetStart. Получен ответ от ") + p1 + W(". Идет загрузка в IndexHTML-буфер"), kDarkRed);
  std::string page = FetchPage(p1);
  if (!fetchError_.empty()) {
    AddRunLog(Prefix() + W(">>GetStart. Остановка загрузки. Страница не получена: ") + fetchError_, kRed);
    indexFailed_ = indexFailed_ || !finished_;
    std::lock_guard lock(mutex_);
    buf_.StartURL.clear();
    stepIndex_ = kEndRun;
    return;
  }
  {
    std::lock_guard lock(mutex_);
    buf_.IndexHTML = std::move(page);
  }
  if (ContainsFragment(buf_.IndexHTML, p2) && buf_.IndexHTML.size() >= 10) {
    AddRunLog(Prefix() + ">> GetStart(" + p1 + W(") - ГОТОВО"), kDarkRed);
  } else {
    AddRunLog(Prefix() + W(">>GetStart. Нет фрагмента ") + p2 + W(". Переход к шагу №") + p3, kRed);
    Jump(p3);
    std::lock_guard lock(mutex_);
    buf_.StartURL.clear();
  }
  if (buf_.StartURL.empty()) stepIndex_ = kEndRun;
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
  // The links of the page in page order: each "HREF=" (any case), then its value up to a
  // quote, a blank or ">". Only the first 10000 count. We stop at the first that matches.
  const std::string_view page = buf_.IndexHTML;
  FragmentFinder pattern(p1);
  std::string found;
  bool any = false, matched = false;
  int links = 0;
  for (std::size_t from = 0; links < kMaxLinks;) {
    std::size_t h = FindHref(page, from);
    if (h == std::string_view::npos) break;
    TextSpan value = AttributeValueAt(page, h + 5, "\"' >");
    std::string_view link = page.substr(value.start, value.length);
    from = value.start;
    ++links;
    any = true;
    if (!p1.empty() && pattern.FoundIn(link)) {
      found = std::string(link);
      matched = true;
      break;
    }
  }
  if (!any || p1.empty()) return;
  {
    std::lock_guard lock(mutex_);
    buf_.NewsURL = found;
  }
  ShowRunState();
  if (matched) {
    {
      std::lock_guard lock(mutex_);
      std::size_t at = buf_.IndexHTML.find(found);
      if (at != std::string::npos) buf_.IndexHTML.replace(at, found.size(), "#");
    }
    AddRunLog(Prefix() + ">> FindUrlNews(" + p1 + ") - OK. URL=" + found, kDarkRed);
  } else {
    AddRunLog(Prefix() + W(">>FindUrlNews. В IndexHTML НЕ НАЙДЕНО новых ссылок, содержащих ") + p1 +
                  W("    Переход к шагу №") + p2,
              kBlue);
    Jump(p2);
  }
}

void TDownload::EditUrlNews(const std::string& p1, const std::string& p2, const std::string& p3,
                            const std::string& p4) {
  std::string before = buf_.NewsURL;
  std::string url = before;
  bool replaced = FindFragment(url, p1, p2, 1, false);
  if ((replaced || !p3.empty() || !p4.empty()) && !url.empty()) url = p3 + url + p4;
  if (url.empty()) {
    std::lock_guard lock(mutex_);
    buf_.NewsURL = url;
    return;
  }
  url = ResolveURL(url);
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
  }
  if (!host_.Settings().notCheckHistory && history_.Contains(buf_.NewsURL)) {
    std::int32_t target = 0;
    if (ParseStepNumber(p4, target)) {
      stepIndex_ = target;
      AddRunLog(Prefix() + W(">> GetNews. Эта страница была загружена ранее. Переход на шаг №") + p4, kRed);
    } else {
      stepIndex_ = kEndFolder;
    }
    return;
  }
  const std::string url = buf_.NewsURL;
  AddRunLog(Prefix() + ">> GetNews. " + url + W(" - Идет загрузка новости."), kBlue);
  std::string page = FetchPage(url);
  if (!fetchError_.empty()) {
    // Nothing of a failed fetch is taken, however much arrived.
    AddRunLog(Prefix() + ">> GetInetFile(" + url + W(") не получен. ") + fetchError_ + W(". Переход на шаг №") + p4,
              kRed);
    Jump(p4);
  } else if (ContainsFragment(page, p1)) {
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

}  // namespace skimlet
