// EditHTMLNews and FindNameNews: scripts neutralised, links made absolute, the title taken.
#include <array>
#include <climits>

#include "engine/DownLoad.h"
#include "engine/Tools.h"
#include "platform/Text.h"

namespace skimlet {

namespace {

const std::array<bool, 256>& NewsNameChars() {
  static const std::array<bool, 256> table = [] {
    std::array<bool, 256> t{};
    std::string allowed = W(
        "qwertyuiopasdfghjklzxcvbnmQWERTYUIOPASDFGHJKLZXCVBNM1234567890 №.,;!+-[](){}#$%^"
        "йцукенгшщзхъфывапролджэячсмитьбюёєїіЙЦУКЕНГШЩЗХЪФЫВАПРОЛДЖЭЯЧСМИТЬБЮЁЄЇІ");
    for (unsigned char c : allowed) t[c] = true;
    return t;
  }();
  return table;
}

}  // namespace

bool IsNewsNameChar(unsigned char c) { return NewsNameChars()[c]; }

void TDownload::AbsolutizeAttribute(const std::string& name) {
  std::string upperName = UpperWin1251(name);
  std::string html = buf_.HTML;
  ReplaceAllText(html, upperName, name);
  // Each value is resolved in place and the search goes on behind it: a resolved value
  // that holds the attribute's name again (a base URL with "href=" in its query) must not
  // be resolved over and over.
  for (std::size_t at = html.find(name); at != std::string::npos; at = html.find(name, at)) {
    html.replace(at, name.size(), upperName);
    TextSpan value = AttributeValueAt(html, at + name.size(), "\"' ");
    std::string resolved = ResolveURL(html.substr(value.start, value.length));
    html.replace(value.start, value.length, resolved);
    at = value.start + resolved.size();
  }
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
    static const std::pair<const char*, const char*> kScriptRows[] = {
        {".write(*);", "TMPSKIMLETwrite"},
        {"TMPSKIMLETwrite", ".write(' ');"},
        {"<script*/script>", "<!-- The script delete Skimlet -->"},
        {"<noscript*/noscript>", "<!-- The NOscript delete Skimlet -->"},
    };
    for (const auto& [pattern, replacement] : kScriptRows) FindFragment(html, pattern, replacement, INT_MAX, false);
  }
  {
    std::lock_guard lock(mutex_);
    buf_.HTML = std::move(html);
  }
  if (p1 == "StandartParameter=0") {
    AbsolutizeAttribute("href=");
    AbsolutizeAttribute("src=");
  }
  if (!p3.empty()) {
    std::string edited = buf_.HTML;
    FindFragment(edited, p3, p4, 999, false);
    std::lock_guard lock(mutex_);
    buf_.HTML = std::move(edited);
  }
  AddRunLog(Prefix() + ">> EditHTMLNews(" + p3 + " --> " + p4 + W(" ГОТОВО."), kOlive);
}

std::string NewsTitleBetween(const std::string& html, const std::string& p1, const std::string& p2) {
  std::string text = html;
  FindFragment(text, "<!--*-->", "", 9999, false);
  FindFragment(text, "nbsp;", " ", 9999, false);
  std::string upper = UpperWin1251(text);
  std::size_t s = 0;  // 1-based position behind the start marker, 0 when not found
  if (!p1.empty()) {
    std::size_t at = upper.find(UpperWin1251(p1));
    if (at != std::string::npos) s = at + 1 + p1.size();
  }
  std::size_t e = 0;  // 1-based position of the end marker, looked for behind position s
  if (!p2.empty()) {
    std::size_t at = upper.find(UpperWin1251(p2), s);
    if (at != std::string::npos) e = at + 1;
  }
  std::string name;
  if (s > 0 && e > s + 1) {
    // The name stops before the end marker's first character.
    for (std::size_t pos = s; pos < e; ++pos) {
      unsigned char c = static_cast<unsigned char>(text[pos - 1]);
      if (IsNewsNameChar(c)) name += static_cast<char>(c);
    }
  }
  return name;
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
