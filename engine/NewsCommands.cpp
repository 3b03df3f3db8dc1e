// EditHTMLNews and FindNameNews, the run steps that clean a news page and name it.
#include <climits>

#include "engine/DownLoad.h"
#include "page/NewsCleanup.h"
#include "page/Tools.h"
#include "platform/Text.h"

namespace skimlet {

void TDownload::AbsolutizeAttribute(const std::string& name) {
  std::string attribute = name;
  if (!attribute.empty() && attribute.back() == '=') attribute.pop_back();
  for (char& c : attribute) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  UrlResolver resolver = PageResolver();
  std::string html = AbsolutizeLinks(buf_.HTML, resolver.HasBase() ? &resolver : nullptr, attribute, false);
  std::lock_guard lock(mutex_);
  buf_.HTML = std::move(html);
}

void TDownload::EditHTMLNews(const std::string& p1, const std::string& p2, const std::string& p3,
                             const std::string& p4) {
  AddRunLog(Prefix() + ">> EditHTMLNews(" + p3 + " --> " + p4 + W(" Начало обработки."), kOlive);
  std::string html = buf_.HTML;
  if (p2 == "StandartParameter=0") {
    // Searching again from the start after each replacement finds the same matches as going
    // on behind it (no replacement text can start a new match), so each row is one pass.
    FindFragment(html, ".write(*);", "TMPSKIMLETwrite", INT_MAX, false);
    FindFragment(html, "TMPSKIMLETwrite", ".write(' ');", INT_MAX, false);
    html = NeutraliseScripts(html);
  }
  if (p1 == "StandartParameter=0") {
    UrlResolver resolver = PageResolver();
    html = AbsolutizeLinks(html, resolver.HasBase() ? &resolver : nullptr, "", true);
  }
  if (!p3.empty()) FindFragment(html, p3, p4, 999, false);
  {
    std::lock_guard lock(mutex_);
    buf_.HTML = std::move(html);
  }
  AddRunLog(Prefix() + ">> EditHTMLNews(" + p3 + " --> " + p4 + W(" ГОТОВО."), kOlive);
}

void TDownload::FindNameNews(const std::string& p1, const std::string& p2) {
  std::string name = NewsTitleBetween(buf_.HTML, p1, p2);
  {
    std::lock_guard lock(mutex_);
    buf_.NewsName = name;
  }
  BuildNewsFileName();
  AddRunLog(Prefix() + W(">> FindNameNews для ") + buf_.NewsURL + W(" Имя: ") + buf_.NewsName, kDarkRed);
}

}  // namespace skimlet
