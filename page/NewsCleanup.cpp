// What EditHTMLNews and FindNameNews do to a page: scripts neutralised, links made absolute,
// the title taken. Pages are read as a browser reads them: only real tags and attributes are
// changed.
#include <array>
#include <climits>

#include "page/NewsCleanup.h"

#include "page/Html.h"
#include "page/Tools.h"
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

namespace {

const char kScriptComment[] = "<!-- The script delete Skimlet -->";
const char kNoscriptComment[] = "<!-- The NOscript delete Skimlet -->";

bool IsScriptUrl(std::string_view address) {
  for (std::string_view scheme : {"javascript:", "vbscript:", "livescript:"})
    if (address.size() >= scheme.size() && EqualsLower(address.substr(0, scheme.size()), scheme)) return true;
  return false;
}

bool IsEventAttribute(std::string_view name) {
  return name.size() > 2 && (name[0] == 'o' || name[0] == 'O') && (name[1] == 'n' || name[1] == 'N');
}

std::string_view ValueOf(std::string_view html, const HtmlAttribute& a) {
  return html.substr(a.valueBegin, a.valueEnd - a.valueBegin);
}

}  // namespace

// Every script and noscript element, in any case, becomes a comment; event attributes,
// script addresses and inline documents go. Text, comments and text-only elements other
// than scripts are left as they are.
std::string NeutraliseScripts(std::string_view html) {
  TextEdits edits;
  HtmlTokenizer tokens(html);
  HtmlTag tag;
  std::size_t noscript = std::string_view::npos;
  while (tokens.Next(tag)) {
    if (tag.NameIs("script")) {
      if (tag.closing) continue;  // a stray end tag
      // A script that never ends runs to the end of the page.
      std::size_t end = html.size();
      HtmlTag close;
      if (tag.rawTextEnd < html.size() && tokens.Next(close)) end = close.end;
      edits.Replace(tag.begin, end, kScriptComment);
      continue;
    }
    if (tag.NameIs("noscript")) {
      if (!tag.closing && noscript == std::string_view::npos) noscript = tag.begin;
      if (tag.closing && noscript != std::string_view::npos) {
        edits.Replace(noscript, tag.end, kNoscriptComment);
        noscript = std::string_view::npos;
      }
      continue;
    }
    if (tag.closing) continue;
    for (const HtmlAttribute& a : tag.attributes) {
      bool drop = IsEventAttribute(a.name) || a.NameIs("srcdoc");
      if (!drop && a.hasValue && UrlAttributeKind(a.name) == UrlAttribute::kSingle)
        drop = IsScriptUrl(AttributeUrl(ValueOf(html, a)));
      if (drop) edits.Replace(a.begin, a.end, "");
    }
  }
  return edits.Apply(html);
}

// Makes address attributes absolute: `only` names one attribute ("href"), or every address
// attribute when empty. Without a base, "href" and "src" values become empty. "href" and
// "src" are written in upper case afterwards, as the attachment commands expect them.
std::string AbsolutizeLinks(std::string_view html, UrlResolver* resolver, std::string_view only, bool dropBase) {
  TextEdits edits;
  HtmlTokenizer tokens(html);
  HtmlTag tag;
  auto resolve = [&](const std::string& address) { return resolver->ResolveCleaned(address); };
  while (tokens.Next(tag)) {
    if (tag.closing) continue;
    if (dropBase && tag.NameIs("base")) {  // every link is absolute now; "#top" stays in the page
      edits.Replace(tag.begin, tag.end, "");
      continue;
    }
    for (const HtmlAttribute& a : tag.attributes) {
      if (!a.hasValue || (!only.empty() && !a.NameIs(only))) continue;
      const UrlAttribute kind = UrlAttributeKind(a.name);
      if (kind == UrlAttribute::kNone) continue;
      const bool hrefOrSrc = a.NameIs("href") || a.NameIs("src");
      const std::string_view raw = ValueOf(html, a);
      std::string text;
      if (kind == UrlAttribute::kSrcset) {
        if (resolver == nullptr) continue;
        text = MapSrcset(raw, a.quote, resolve);
      } else {
        std::string address = AttributeUrl(raw);
        if (resolver != nullptr && !address.empty())
          text = AttributeValueText(resolver->ResolveCleaned(std::move(address)), a.quote);
        else if (resolver == nullptr && hrefOrSrc) text = AttributeValueText("", a.quote);
        else text = std::string(raw);
      }
      if (hrefOrSrc) {
        std::string upper = UpperWin1251(a.name);
        if (upper != a.name) edits.Replace(a.begin, a.begin + a.name.size(), std::move(upper));
      }
      if (text != raw) edits.Replace(a.valueBegin, a.valueEnd, std::move(text));
    }
  }
  return edits.Apply(html);
}

namespace {

// The title as a reader sees it, kept to the characters a news name may hold, with runs of
// blanks made one and no blanks at either end.
std::string TitleName(std::string_view html) {
  std::string name;
  for (char ch : HtmlText(html)) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c < 32 || c == 0xA0) c = ' ';
    if (!IsNewsNameChar(c)) continue;
    if (c == ' ' && (name.empty() || name.back() == ' ')) continue;
    name += static_cast<char>(c);
  }
  if (!name.empty() && name.back() == ' ') name.pop_back();
  return name;
}

}  // namespace

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
  // The name stops before the end marker's first character.
  if (s > 0 && e > s + 1) name = TitleName(std::string_view(text).substr(s - 1, e - s));
  return name;
}

}  // namespace skimlet
