#include "page/Pagination.h"

#include <algorithm>
#include <initializer_list>
#include <vector>

#include "page/Html.h"
#include "platform/Text.h"

namespace skimlet {

namespace {

constexpr std::size_t npos = std::string::npos;

struct Anchor {
  std::size_t at;
  std::string href, url, text, rel, label;
  std::string classes;  // its own and those of the element it stands in, lower case
};

bool Blank(unsigned char c) { return (c <= ' ' && c > 2) || c == 0xA0; }  // 1 and 2 stand for arrows

std::string Trimmed(std::string s) {
  std::size_t b = 0, e = s.size();
  while (b < e && Blank(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && Blank(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

bool StartsWith(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }
bool EndsWith(std::string_view s, std::string_view p) {
  return s.size() >= p.size() && s.substr(s.size() - p.size()) == p;
}

// Upper-case Windows-1251 forms of the words, made once.
const std::vector<std::string>& Words(bool forward) {
  static const std::vector<std::string> ahead = [] {
    std::vector<std::string> w;
    for (const char* s : {"следующ", "далее", "вперед", "вперёд", "ещё", "еще", "старые", "более ранние", "next", "older",
                          "more"})
      w.push_back(UpperWin1251(W(s)));
    return w;
  }();
  static const std::vector<std::string> back = [] {
    std::vector<std::string> w;
    for (const char* s : {"предыдущ", "назад", "новые", "более новые", "prev", "newer", "first", "last", "первая",
                          "последняя", "в начало"})
      w.push_back(UpperWin1251(W(s)));
    return w;
  }();
  return forward ? ahead : back;
}

// 1 when the text says "next", -1 when it says "back" or "last", 0 when neither.
int Direction(const std::string& text) {
  if (text.empty() || text.size() > 40) return 0;
  static const std::string raquo = W("»"), rsaquo = W("›"), laquo = W("«"), lsaquo = W("‹");
  static const std::string arrow = "\x01", larrow = "\x02";  // see ArrowsNamed
  std::string t = Trimmed(text);
  // The arrows around a word: "« Older posts" leads to the older, next page.
  std::string word = t;
  for (bool again = true; again && !word.empty();) {
    again = false;
    for (const std::string* s : {&raquo, &rsaquo, &laquo, &lsaquo, &arrow, &larrow})
      if (StartsWith(word, *s)) {
        word = Trimmed(word.substr(s->size()));
        again = true;
      }
  }
  const std::string upper = UpperWin1251(word);
  // A pager's words are few: "Следующая страница", "Older posts"; a longer text is a headline.
  if (std::count(word.begin(), word.end(), ' ') < 3) {
    for (const std::string& w : Words(false))
      if (StartsWith(upper, w)) return -1;
    for (const std::string& w : Words(true))
      if (StartsWith(upper, w)) return 1;
  }
  if (t == ">" || t == "&gt;") return 1;
  if (StartsWith(t, laquo) || StartsWith(t, lsaquo) || StartsWith(t, larrow)) return -1;
  if (t == raquo + raquo) return -1;  // to the last page
  if (t == raquo || t == rsaquo || EndsWith(t, arrow)) return 1;
  // "Next »", but not the closing quote of «Северный»: the sign stands apart, no quote opened.
  for (const std::string* s : {&raquo, &rsaquo})
    if (EndsWith(t, " " + *s) && t.find(laquo) == npos) return 1;
  return 0;
}

bool Digits(std::string_view s) {
  return !s.empty() && s.size() <= 5 && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Arrows have no Windows-1251 form, so a recoded page writes them as references, which
// HtmlText would turn into "?": they are named here first.
std::string ArrowsNamed(std::string_view raw) {
  std::string out(raw);
  for (const auto& [ref, mark] : {std::pair<std::string_view, std::string_view>{"&rarr;", "\x01"}, {"&#8594;", "\x01"},
                                  {"&#x2192;", "\x01"}, {"&larr;", "\x02"}, {"&#8592;", "\x02"}, {"&#x2190;", "\x02"}})
    for (std::size_t p = out.find(ref); p != npos; p = out.find(ref, p)) out.replace(p, ref.size(), mark);
  return out;
}

struct Run {
  std::size_t at, size;
  long value;
};

std::vector<Run> NumberRuns(const std::string& s) {
  std::vector<Run> out;
  for (std::size_t i = 0; i < s.size();) {
    if (s[i] < '0' || s[i] > '9') {
      ++i;
      continue;
    }
    std::size_t j = i;
    while (j < s.size() && s[j] >= '0' && s[j] <= '9') ++j;
    if (j - i <= 6) out.push_back({i, j - i, std::stol(s.substr(i, j - i))});
    i = j;
  }
  return out;
}

std::string WithHole(const std::string& s, const Run& r) { return s.substr(0, r.at) + '\x01' + s.substr(r.at + r.size); }

// The page number of `current` in the scheme of the numbered links: the number at the place
// where a numbered link has its own; 1 when the address has none (a list's first page).
long CurrentNumber(const std::string& current, const std::vector<const Anchor*>& numbered) {
  const std::vector<Run> mine = NumberRuns(current);
  for (const Anchor* a : numbered) {
    const long k = std::stol(a->text);
    for (const Run& r : NumberRuns(a->url)) {
      if (r.value != k) continue;
      const std::string shape = WithHole(a->url, r);
      for (const Run& m : mine)
        if (WithHole(current, m) == shape) return m.value;
    }
  }
  return 1;
}

}  // namespace

ForwardLink FindForwardLink(std::string_view page, UrlResolver& resolver, std::size_t from,
                            const std::function<bool(std::string_view href)>& skip) {
  const std::string current = WithoutFragment(resolver.Resolve(""));
  std::vector<Anchor> anchors;
  HtmlTokenizer tokens(page, from);
  HtmlTag tag;
  std::string around;  // the class of the last element opened before a link
  auto lowerClass = [&](const HtmlTag& t) {
    const HtmlAttribute* c = t.Attribute("class");
    std::string v = c ? std::string(page.substr(c->valueBegin, std::min<std::size_t>(c->valueEnd - c->valueBegin, 200)))
                      : std::string();
    for (char& ch : v) ch = static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch);
    return v;
  };
  while (tokens.Next(tag) && anchors.size() < 20000) {
    if (!tag.closing && !tag.NameIs("a")) around = lowerClass(tag);
    if (tag.closing || !tag.NameIs("a")) continue;
    const HtmlAttribute* h = tag.Attribute("href");
    if (!h || !h->hasValue) continue;
    Anchor a;
    a.at = h->valueBegin;
    a.href = std::string(page.substr(h->valueBegin, h->valueEnd - h->valueBegin));
    if (skip && skip(a.href)) continue;
    const std::string address = AttributeUrl(a.href);
    if (address.empty() || address[0] == '#') continue;
    a.url = WithoutFragment(resolver.Resolve(address));
    if (!IsHttpUrl(a.url) || a.url == current) continue;
    // The link's text, up to its end tag within a few hundred characters.
    const std::string_view after = page.substr(tag.end, 400);
    std::size_t close = 0;
    while (close + 2 < after.size() && !(after[close] == '<' && after[close + 1] == '/' && (after[close + 2] | 0x20) == 'a'))
      ++close;
    a.text = Trimmed(HtmlText(ArrowsNamed(after.substr(0, close + 2 < after.size() ? close : after.size()))));
    auto attribute = [&](std::string_view name) {
      const HtmlAttribute* x = tag.Attribute(name);
      return x ? std::string(page.substr(x->valueBegin, x->valueEnd - x->valueBegin)) : std::string();
    };
    a.classes = lowerClass(tag) + " " + around;
    a.rel = attribute("rel");
    a.label = attribute("aria-label");
    if (a.label.empty()) a.label = attribute("title");
    anchors.push_back(std::move(a));
  }
  auto found = [](const Anchor& a, ForwardLink::How how) {
    ForwardLink f;
    f.how = how;
    f.at = a.at;
    f.href = a.href;
    f.url = a.url;
    return f;
  };
  for (const Anchor& a : anchors) {
    std::string rel = a.rel;
    for (char& c : rel) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    for (std::size_t p = rel.find("next"); p != npos; p = rel.find("next", p + 1))
      if ((p == 0 || Blank(static_cast<unsigned char>(rel[p - 1]))) &&
          (p + 4 == rel.size() || Blank(static_cast<unsigned char>(rel[p + 4]))))
        return found(a, ForwardLink::kRel);
  }
  for (const Anchor& a : anchors) {
    const int d = Direction(a.text);
    if (d > 0 || (d == 0 && Direction(HtmlText(a.label)) > 0)) return found(a, ForwardLink::kText);
  }
  // A class that says "next" (pager__item--next, next page-numbers), unless the text says back.
  for (const Anchor& a : anchors) {
    if (Direction(a.text) < 0) continue;
    for (std::size_t p = a.classes.find("next"); p != npos; p = a.classes.find("next", p + 1)) {
      const char before = p == 0 ? ' ' : a.classes[p - 1], after = p + 4 < a.classes.size() ? a.classes[p + 4] : ' ';
      if ((before == ' ' || before == '-' || before == '_') && (after == ' ' || after == '-' || after == '_'))
        return found(a, ForwardLink::kClass);
    }
  }
  std::vector<const Anchor*> numbered;
  for (const Anchor& a : anchors)
    if (Digits(a.text)) numbered.push_back(&a);
  const long n = CurrentNumber(current, numbered);
  for (const Anchor* a : numbered)
    if (std::stol(a->text) == n + 1) return found(*a, ForwardLink::kNumber);
  // No numbered links: the address of this page with its number one up (…/page/3/ from …/page/2/).
  for (const Run& r : NumberRuns(current)) {
    const std::string up = current.substr(0, r.at) + std::to_string(r.value + 1) + current.substr(r.at + r.size);
    for (const Anchor& a : anchors)
      if (a.url == up) return found(a, ForwardLink::kNumber);
  }
  return ForwardLink();
}

}  // namespace skimlet
