// The new-channel proposal. Every choice is checked by doing what the run will do with it:
// FindFragment for EditIndexHTML, ForEachIndexLink and the fragment for FindUrlNews,
// NewsTitleBetween for FindNameNews.
#include "authoring/ChannelProposal.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <string_view>
#include <unordered_map>

#include "engine/DownLoad.h"
#include "page/Html.h"
#include "page/NewsCleanup.h"
#include "page/Pagination.h"
#include "page/Tools.h"
#include "platform/Text.h"
#include "platform/Url.h"

namespace skimlet {

namespace {

constexpr std::size_t npos = std::string::npos;

// ---- the page as a tree of elements ---------------------------------------------------------

struct Node {
  std::string_view name;
  std::size_t begin = 0, openEnd = 0;     // the start tag
  std::size_t contentEnd = npos, end = npos;  // where the content ends; one past the end tag
  bool explicitEnd = false;               // closed by its own end tag
  int parent = -1;
  int nth = 0;                            // among the parent's children of its name
  std::vector<std::string> classes;       // lower case, without the ones that tell items apart
  std::size_t href = npos;                // <a>: where the href value begins
};

struct PageTree {
  std::vector<Node> nodes;
  std::vector<std::pair<std::size_t, std::size_t>> tags;  // every tag, start and end, in order
  std::unordered_map<std::size_t, int> anchorAt;           // href value position -> node
};

bool IsVoid(std::string_view n) {
  for (std::string_view v : {"area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta", "param",
                             "source", "track", "wbr"})
    if (EqualsLower(n, v)) return true;
  return false;
}

bool IsOneOf(std::string_view n, std::initializer_list<std::string_view> names) {
  for (std::string_view v : names)
    if (EqualsLower(n, v)) return true;
  return false;
}

// Class words that differ between the items of one list: numbers, zebra stripes, states.
bool ItemSpecificClass(const std::string& c) {
  if (std::any_of(c.begin(), c.end(), [](char ch) { return ch >= '0' && ch <= '9'; })) return true;
  for (std::string_view s : {"odd", "even", "first", "last", "alt", "active", "current", "sticky", "selected"})
    if (c == s) return true;
  return false;
}

std::vector<std::string> ClassWords(std::string_view value) {
  std::vector<std::string> out;
  std::size_t i = 0;
  while (i < value.size()) {
    while (i < value.size() && static_cast<unsigned char>(value[i]) <= ' ') ++i;
    std::size_t j = i;
    while (j < value.size() && static_cast<unsigned char>(value[j]) > ' ') ++j;
    if (j > i) {
      std::string w(value.substr(i, j - i));
      for (char& c : w) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
      if (!ItemSpecificClass(w)) out.push_back(std::move(w));
    }
    i = j;
  }
  std::sort(out.begin(), out.end());
  return out;
}

constexpr std::size_t kScanDepth = 256;

PageTree ParseTree(std::string_view page) {
  PageTree t;
  std::vector<int> open;
  auto closeFrom = [&](std::size_t k, std::size_t at) {  // closes open[k..] where `at` begins
    while (open.size() > k) {
      Node& n = t.nodes[static_cast<std::size_t>(open.back())];
      n.contentEnd = n.end = at;
      open.pop_back();
    }
  };
  // Closes the nearest open element named one of `names` unless one of `stops` is nearer.
  auto implied = [&](std::initializer_list<std::string_view> names, std::initializer_list<std::string_view> stops,
                     std::size_t at) {
    for (std::size_t k = open.size(); k-- > 0 && open.size() - k <= kScanDepth;) {
      std::string_view n = t.nodes[static_cast<std::size_t>(open[k])].name;
      if (IsOneOf(n, names)) {
        closeFrom(k, at);
        return;
      }
      if (IsOneOf(n, stops)) return;
    }
  };
  HtmlTokenizer tokens(page);
  HtmlTag tag;
  while (tokens.Next(tag)) {
    t.tags.emplace_back(tag.begin, tag.end);
    if (tag.closing) {
      // An end tag whose element is not among the nearest open ones is passed over: a hostile
      // page of endless nesting costs no more than a bounded look each.
      for (std::size_t k = open.size(); k-- > 0 && open.size() - k <= kScanDepth;) {
        Node& n = t.nodes[static_cast<std::size_t>(open[k])];
        bool same = n.name.size() == tag.name.size() &&
                    std::equal(n.name.begin(), n.name.end(), tag.name.begin(), [](char a, char b) {
                      return (a | 0x20) == (b | 0x20);
                    });
        if (!same) continue;
        closeFrom(k + 1, tag.begin);
        n.contentEnd = tag.begin;
        n.end = tag.end;
        n.explicitEnd = true;
        open.pop_back();
        break;
      }
      continue;
    }
    if (tag.NameIs("li")) implied({"li"}, {"ul", "ol", "menu"}, tag.begin);
    else if (tag.NameIs("tr")) implied({"tr"}, {"table", "tbody", "thead", "tfoot"}, tag.begin);
    else if (tag.NameIs("td") || tag.NameIs("th")) implied({"td", "th"}, {"tr", "table"}, tag.begin);
    else if (tag.NameIs("dt") || tag.NameIs("dd")) implied({"dt", "dd"}, {"dl"}, tag.begin);
    if (IsOneOf(tag.name, {"address", "article", "aside", "blockquote", "div", "dl", "footer", "form", "h1", "h2",
                           "h3", "h4", "h5", "h6", "header", "hr", "main", "nav", "ol", "p", "pre", "section",
                           "table", "ul", "li"}))
      implied({"p"}, {"div", "li", "td", "th", "table", "section", "article", "body", "blockquote", "button"},
              tag.begin);
    Node n;
    n.name = tag.name;
    n.begin = tag.begin;
    n.openEnd = tag.end;
    n.parent = open.empty() ? -1 : open.back();
    if (const HtmlAttribute* c = tag.Attribute("class"))
      n.classes = ClassWords(page.substr(c->valueBegin, c->valueEnd - c->valueBegin));
    if (tag.NameIs("a"))
      if (const HtmlAttribute* h = tag.Attribute("href"); h && h->hasValue) n.href = h->valueBegin;
    int index = static_cast<int>(t.nodes.size());
    if (n.href != npos) t.anchorAt[n.href] = index;
    bool selfClosing = tag.end >= 2 && page[tag.end - 2] == '/';
    bool empty = IsVoid(tag.name) || selfClosing;
    if (empty) n.contentEnd = n.end = tag.end;
    t.nodes.push_back(std::move(n));
    if (!empty) open.push_back(index);
  }
  closeFrom(0, page.size());
  std::map<std::pair<int, std::string>, int> seen;
  for (Node& n : t.nodes) {
    std::string name(n.name);
    for (char& c : name) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    n.nth = seen[{n.parent, name}]++;
  }
  return t;
}

bool Compatible(const Node& a, const Node& b) {
  if (a.name.size() != b.name.size() ||
      !std::equal(a.name.begin(), a.name.end(), b.name.begin(), [](char x, char y) { return (x | 0x20) == (y | 0x20); }))
    return false;
  if (a.classes.empty() || b.classes.empty()) return a.classes.empty() && b.classes.empty();
  for (const std::string& c : a.classes)
    if (std::binary_search(b.classes.begin(), b.classes.end(), c)) return true;
  return false;
}

// Whether an element stands in the page's furniture: a sidebar, footer, header, navigation
// or a widget, where "latest posts" repeat the list's newest articles.
bool Aside(const PageTree& tree, int i) {
  for (int depth = 0; i >= 0 && depth < 64; i = tree.nodes[static_cast<std::size_t>(i)].parent, ++depth) {
    const Node& n = tree.nodes[static_cast<std::size_t>(i)];
    if (IsOneOf(n.name, {"main", "body", "html"})) return false;  // the body's classes name the whole skin
    if (IsOneOf(n.name, {"aside", "footer", "nav", "header"})) return true;
    for (const std::string& c : n.classes)
      for (std::string_view w : {"widget", "sidebar", "footer", "latest-posts", "related"})
        if (c.find(w) != npos) return true;
  }
  return false;
}

// ---- addresses -----------------------------------------------------------------------------

// An address reduced to what tells two articles apart: no scheme, no fragment, no final "/",
// escapes decoded (UTF-8 ones to Windows-1251), so a link written either way is the example.
std::string AddressKey(std::string_view url) {
  std::string d = WithoutFragment(url);
  if (std::string decoded = DecodedLink(d); !decoded.empty()) d = std::move(decoded);
  if (std::size_t s = d.find("://"); s != npos) d.erase(0, s + 3);
  while (!d.empty() && d.back() == '/') d.pop_back();
  return d;
}

bool IsNavigationLink(std::string_view raw) {
  std::string a = AttributeUrl(raw);
  if (a.empty() || a[0] == '#') return true;
  return HasScheme(a) && !IsHttpUrl(a);  // mailto:, javascript:, tel: ...
}

// ---- the fragment of the list's links --------------------------------------------------------

// The longest piece (at least `minLen` long) that every string holds; "" when none.
std::string CommonPiece(const std::vector<std::string>& s, std::size_t minLen) {
  const std::string* shortest = &s.front();
  for (const std::string& x : s)
    if (x.size() < shortest->size()) shortest = &x;
  for (std::size_t len = shortest->size(); len >= minLen && len > 0; --len)
    for (std::size_t at = 0; at + len <= shortest->size(); ++at) {
      std::string_view piece(shortest->data() + at, len);
      if (std::all_of(s.begin(), s.end(), [&](const std::string& x) { return x.find(piece) != npos; }))
        return std::string(piece);
    }
  return std::string();
}

// The common pieces of the strings in order, "*" where they differ.
std::string Skeleton(const std::vector<std::string>& s, std::size_t minLen, int depth = 0) {
  if (std::all_of(s.begin(), s.end(), [&](const std::string& x) { return x == s.front(); })) return s.front();
  std::string piece = depth < 12 ? CommonPiece(s, minLen) : std::string();
  if (piece.empty()) return "*";
  std::vector<std::string> left, right;
  for (const std::string& x : s) {
    std::size_t at = x.find(piece);
    left.push_back(x.substr(0, at));
    right.push_back(x.substr(at + piece.size()));
  }
  return Skeleton(left, minLen, depth + 1) + piece + Skeleton(right, minLen, depth + 1);
}

std::string JoinPieces(const std::vector<std::string>& pieces) {
  std::string out;
  for (const std::string& p : pieces) out += (out.empty() ? "" : "*") + p;
  return out;
}

std::string MappedLink(std::string m) {
  for (char& c : m) {
    if (c >= '0' && c <= '9') c = '~';
    else if (c == '*') c = '?';
  }
  return m;
}

// The fragment of a sample of the links: their common beginning and end, however short
// ("z/", ".html"), and the pieces they share between.
std::vector<std::string> SamplePieces(const std::vector<std::string>& mapped) {
  std::string prefix = mapped.front(), suffix;
  for (const std::string& m : mapped)
    prefix.resize(static_cast<std::size_t>(std::mismatch(prefix.begin(), prefix.end(), m.begin(), m.end()).first -
                                           prefix.begin()));
  std::vector<std::string> middle;
  for (const std::string& m : mapped) middle.push_back(m.substr(prefix.size()));
  suffix = middle.front();
  for (const std::string& m : middle) {
    std::size_t n = 0;
    while (n < suffix.size() && n < m.size() && suffix[suffix.size() - 1 - n] == m[m.size() - 1 - n]) ++n;
    suffix = suffix.substr(suffix.size() - n);
  }
  for (std::string& m : middle) m.resize(m.size() - suffix.size());
  std::string p = prefix + Skeleton(middle, 3) + suffix;
  if (!std::all_of(middle.begin(), middle.end(), [](const std::string& m) { return m.empty(); })) {
    // Where the links differ, the common beginning and end stop at a separator: "news/zim"
    // of two articles about winter says nothing about the next one.
    constexpr std::string_view kSeparators = "/=?&.-_";
    std::size_t cut = prefix.find_last_of(kSeparators);
    bool tail = cut + 1 < prefix.size() || cut == npos;
    prefix.resize(cut == npos ? 0 : cut + 1);
    cut = suffix.find_first_of(kSeparators);
    bool head = cut != 0;
    suffix.erase(0, cut == npos ? suffix.size() : cut);
    p = prefix + (tail ? "*" : "") + Skeleton(middle, 3) + (head ? "*" : "") + suffix;
  }
  std::vector<std::string> pieces, structural;
  for (std::size_t i = 0; i <= p.size();) {
    std::size_t j = std::min(p.find('*', i), p.size());
    if (j > i) pieces.push_back(p.substr(i, j - i));
    i = j + 1;
  }
  // Pieces that are only letters may be chance ("-v-" of two slugs); the address's structure
  // (paths, numbers, queries, extensions) is what later links share.
  for (const std::string& piece : pieces)
    if (piece.find_first_of("/~=?.") != npos) structural.push_back(piece);
  return structural.empty() ? pieces : structural;
}

std::string LinkFragment(const std::vector<std::string>& raws) {
  if (raws.empty()) return std::string();
  // Digits become "~" (one digit): dates and numbers of later articles match too. A sample
  // of the links makes the fragment; a link it misses joins the sample.
  std::vector<std::string> sample;
  const std::size_t step = raws.size() > 24 ? raws.size() / 24 : 1;
  for (std::size_t i = 0; i < raws.size(); i += step) sample.push_back(MappedLink(raws[i]));
  auto missed = [&](const std::string& pattern) -> const std::string* {
    for (const std::string& r : raws)
      if (!ContainsFragment(r, pattern)) return &r;
    return nullptr;
  };
  std::vector<std::string> pieces = SamplePieces(sample);
  for (int more = 0; more < 16; ++more) {
    const std::string pattern = JoinPieces(pieces);
    std::string miss;
    for (const std::string& r : raws)
      if (!ContainsFragment(r, pattern) && std::find(sample.begin(), sample.end(), MappedLink(r)) == sample.end()) {
        miss = MappedLink(r);
        break;
      }
    if (miss.empty()) break;
    sample.push_back(miss);
    pieces = SamplePieces(sample);
  }
  // FindFragment wants at least one character between two pieces: where a piece stands right
  // beside another in some link, one of them goes, the one whose loss keeps the most.
  while (!pieces.empty() && missed(JoinPieces(pieces))) {
    std::size_t drop = 0, kept = 0;
    bool matches = false;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      std::vector<std::string> rest = pieces;
      rest.erase(rest.begin() + static_cast<std::ptrdiff_t>(i));
      std::size_t size = JoinPieces(rest).size();
      bool ok = !missed(JoinPieces(rest));
      if ((ok && !matches) || (ok == matches && size > kept)) {
        drop = i;
        kept = size;
        matches = ok;
      }
    }
    pieces.erase(pieces.begin() + static_cast<std::ptrdiff_t>(drop));
  }
  std::string out = JoinPieces(pieces);
  return out.size() >= 2 && !ContainsFragment("#", out) ? out : std::string();
}

// The fragment of the list's links by their structure, one part of the address at a time:
// scheme, host and port as written; a path segment or query parameter that every link has
// alike stays, its digits as "~" (next year's and next month's articles differ there); one
// that differs becomes "*" whole, keeping an extension or a parameter's name they share.
// "" when the links differ in shape or hold wildcard characters.
std::string StructuralFragment(const std::vector<std::string>& raws) {
  if (raws.empty()) return std::string();
  struct Parts {
    std::string origin;
    std::vector<std::string> segments;  // path segments, then "?" and the query's parameters
  };
  std::vector<Parts> all;
  for (const std::string& raw : raws) {
    if (raw.find_first_of("*~#") != npos) return std::string();
    Parts p;
    std::string rest = raw;
    if (std::size_t s = rest.find("://"); s != npos && rest.find_first_of("/?") > s) {
      const std::size_t path = rest.find_first_of("/?", s + 3);
      p.origin = rest.substr(0, path == npos ? rest.size() : path);
      rest.erase(0, p.origin.size());
    }
    const std::size_t q = rest.find('?');
    std::string path = rest.substr(0, q), query = q == npos ? std::string() : rest.substr(q + 1);
    for (std::size_t i = 0;;) {
      const std::size_t j = path.find('/', i);
      p.segments.push_back(path.substr(i, j == npos ? npos : j - i));
      if (j == npos) break;
      i = j + 1;
    }
    if (q != npos) {
      p.segments.push_back("?");
      for (std::size_t i = 0;;) {
        const std::size_t j = query.find('&', i);
        p.segments.push_back(query.substr(i, j == npos ? npos : j - i));
        if (j == npos) break;
        i = j + 1;
      }
    }
    all.push_back(std::move(p));
  }
  for (const Parts& p : all)
    if (p.origin != all.front().origin || p.segments.size() != all.front().segments.size()) return std::string();
  const std::vector<std::string>& first = all.front().segments;
  // The last non-empty path segment names the article: it differs even when one link is all
  // the page has.
  std::size_t leaf = npos;
  for (std::size_t i = 0; i < first.size() && first[i] != "?"; ++i)
    if (!first[i].empty()) leaf = i;
  const bool oneLink = std::all_of(raws.begin(), raws.end(), [&](const std::string& r) { return r == raws.front(); });
  std::string out = all.front().origin;
  bool inQuery = false;
  for (std::size_t i = 0; i < first.size(); ++i) {
    if (first[i] == "?") {
      out += "?";
      inQuery = true;
      continue;
    }
    if (i > 0 && first[i - 1] != "?") out += inQuery ? "&" : "/";
    std::vector<std::string> mapped;
    for (const Parts& p : all) {
      // Digits become "~", but not those of a %-escape: "%D0" is a letter, not a number.
      std::string m = p.segments[i];
      for (std::size_t c = 0; c < m.size(); ++c) {
        if (m[c] == '%' && c + 2 < m.size() + 0 && std::isxdigit(static_cast<unsigned char>(m[c + 1])) &&
            std::isxdigit(static_cast<unsigned char>(m[c + 2])))
          c += 2;
        else if (m[c] >= '0' && m[c] <= '9')
          m[c] = '~';
      }
      mapped.push_back(std::move(m));
    }
    const bool same = std::all_of(mapped.begin(), mapped.end(), [&](const std::string& m) { return m == mapped.front(); });
    if (same && !(oneLink && (i == leaf || (inQuery && first[i].find('=') != npos)))) {
      // A number that differs from link to link is an article's: it may grow a digit. Years,
      // months and days keep their width.
      const std::string& m = mapped.front();
      const bool wholeDate = !inQuery && (m == "~~~~" || (m == "~~" && i > 0 && (out.size() >= 3 && out.compare(out.size() - 3, 3, "~~/") == 0)));
      std::string kept;
      for (std::size_t c = 0; c < m.size();) {
        if (m[c] != '~') {
          kept += m[c++];
          continue;
        }
        std::size_t e = c;
        while (e < m.size() && m[e] == '~') ++e;
        const bool differs = std::any_of(all.begin(), all.end(), [&](const Parts& p) {
          return p.segments[i].compare(c, e - c, first[i], c, e - c) != 0;
        });
        kept += differs && !wholeDate ? std::string("*") : m.substr(c, e - c);
        c = e;
      }
      out += kept;
      continue;
    }
    // What every value keeps: a parameter's name, an extension.
    std::string head, tail;
    if (inQuery) {
      const std::size_t eq = first[i].find('=');
      if (eq != npos && std::all_of(all.begin(), all.end(), [&](const Parts& p) {
            return p.segments[i].compare(0, eq + 1, first[i], 0, eq + 1) == 0 && p.segments[i].size() > eq + 1;
          }))
        head = first[i].substr(0, eq + 1);
    } else if (const std::size_t dot = first[i].rfind('.'); dot != npos && dot > 0) {
      const std::string ext = first[i].substr(dot);
      if (ext.size() <= 6 && ext.find_first_of("0123456789") == npos &&
          std::all_of(all.begin(), all.end(), [&](const Parts& p) {
            const std::string& v = p.segments[i];
            return v.size() > ext.size() && v.compare(v.size() - ext.size(), ext.size(), ext) == 0;
          }))
        tail = ext;
    }
    out += head + "*" + tail;
  }
  return out;
}

// Article numbers grow a digit now and then: "/a/~~~~.html" would miss "/a/10000.html" for
// good. A run of digits that more of the address follows keeps all but its last digit and
// lets "*" stand for the rest ("/a/~~~*.html": four digits or more).
std::string GrowingNumbers(const std::string& fragment) {
  std::string out;
  for (std::size_t i = 0; i < fragment.size();) {
    std::size_t j = i;
    while (j < fragment.size() && fragment[j] == '~') ++j;
    if (j == i) {
      out += fragment[i++];
      continue;
    }
    const std::size_t digits = j - i;
    if (digits >= 2 && j < fragment.size() && fragment[j] != '*') out.append(digits - 1, '~') += '*';
    else out.append(digits, '~');
    i = j;
  }
  return std::count(out.begin(), out.end(), '*') < 99 ? out : fragment;
}

// ---- what the run does with the steps --------------------------------------------------------

struct Link {
  std::size_t pos;
  std::string raw;
};

std::vector<Link> IndexLinks(std::string_view page) {
  std::vector<Link> out;
  ForEachIndexLink(page, [&](std::string_view link) {
    out.push_back({static_cast<std::size_t>(link.data() - page.data()), std::string(link)});
    return true;
  });
  return out;
}

struct Edit {
  std::string find, replace, what;
};

// As EditIndexHTML does: a fragment from the start of the page replaces once, others 999 times.
void ApplyEdits(std::string& page, const std::vector<Edit>& edits) {
  for (const Edit& e : edits) FindFragment(page, e.find, e.replace, !e.find.empty() && e.find[0] == '*' ? 1 : 999, false);
}

// A tag's text fit to stand in a step parameter as a plain fragment that later pages will
// also have: one line, no wildcard characters, no numbers (those change from page to page),
// unless the caller sees the text repeat in every item ("card h-100").
bool StableMarker(std::string_view t, bool digits = false) {
  if (t.empty() || t.size() > 160) return false;
  for (std::size_t i = 0; i < t.size(); ++i) {
    char c = t[i];
    if (c == '\r' || c == '\n' || c == '*' || c == '?' || c == '~') return false;
    // The digit of a heading's name (<h1>, </h2>) is no number.
    bool heading = i >= 2 && (t[i - 1] == 'h' || t[i - 1] == 'H') && (t[i - 2] == '<' || t[i - 2] == '/');
    if (c >= '0' && c <= '9' && !heading && !digits) return false;
  }
  return true;
}

// A link's tag names one article or page: the next list will not have it.
bool IsLinkTag(std::string_view t) {
  return t.size() > 2 && t[0] == '<' && (t[1] == 'a' || t[1] == 'A') && (t[2] == ' ' || t[2] == '>');
}

struct Span {
  std::size_t begin, end;
};

bool Inside(const std::vector<Span>& spans, std::size_t pos) {
  return std::any_of(spans.begin(), spans.end(), [&](const Span& s) { return pos >= s.begin && pos < s.end; });
}

// What the rules taken so far remove, for quick lookups: spans by their start, with the
// furthest end among each span and those before it.
class Removed {
 public:
  void Add(const std::vector<Span>& spans) {
    spans_.insert(spans_.end(), spans.begin(), spans.end());
    std::sort(spans_.begin(), spans_.end(), [](const Span& a, const Span& b) { return a.begin < b.begin; });
    reach_.clear();
    for (const Span& s : spans_) reach_.push_back(std::max(reach_.empty() ? 0 : reach_.back(), s.end));
  }
  bool Holds(std::size_t pos) const {
    auto after = std::upper_bound(spans_.begin(), spans_.end(), pos, [](std::size_t p, const Span& s) { return p < s.begin; });
    return after != spans_.begin() && reach_[static_cast<std::size_t>(after - spans_.begin()) - 1] > pos;
  }

 private:
  std::vector<Span> spans_;
  std::vector<std::size_t> reach_;
};

// Whether a position of `sorted` lies in one of `spans` (in order, not overlapping).
bool AnyInside(const std::vector<Span>& spans, const std::vector<std::size_t>& sorted) {
  auto p = sorted.begin();
  for (const Span& s : spans) {
    p = std::lower_bound(p, sorted.end(), s.begin);
    if (p != sorted.end() && *p < s.end) return true;
  }
  return false;
}

// What an "OPEN*CLOSE" -> "" edit removes between lo and hi, as FindFragment goes; and where
// the links lose their address when a plain text before "href=" is rewritten.
std::vector<Span> ElementSpans(std::string_view page, const std::string& open, const std::string& close,
                               std::size_t lo, std::size_t hi) {
  std::vector<Span> out;
  for (std::size_t p = FindText(page, open, lo); p != npos && p < hi && out.size() < 999;) {
    std::size_t q = FindText(page, close, p + open.size() + 1);
    if (q == npos || q >= hi) break;
    out.push_back({p, q + close.size()});
    p = FindText(page, open, q + close.size());
  }
  return out;
}

std::vector<Span> TextSpans(std::string_view page, const std::string& text, std::size_t lo, std::size_t hi) {
  std::vector<Span> out;
  for (std::size_t p = FindText(page, text, lo); p != npos && p < hi && out.size() < 999;
       p = FindText(page, text, p + text.size()))
    out.push_back({p + text.size(), p + text.size() + 2});  // where the value begins, quoted or not
  return out;
}

// ---- the title -------------------------------------------------------------------------------

std::string NameOfText(const std::string& html) {
  static const std::string s = "\x01S", e = "\x01E";
  return NewsTitleBetween(s + html + e, s, e);
}

// The markers the run will meet on later articles must not hold what EditHTMLNews rewrites
// before them (the addresses of href= and src=).
bool SurvivesCleanup(std::string_view t) {
  std::string lower(t);
  for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return lower.find("href=") == npos && lower.find("src=") == npos && lower.find("script") == npos;
}

// What kind of element a headline comes from, most telling first.
enum TitleKind { kItemprop, kHeading1, kOgTitle, kHeading2, kTitleClass, kSiteCut, kTitle };

struct TitleChoice {
  std::string start, end, name;
  int kind = kTitle;
};

bool ClassSaysTitle(const Node& n) {
  return std::any_of(n.classes.begin(), n.classes.end(), [](const std::string& w) {
    return (w.find("title") != npos || w.find("headline") != npos) && w.find("subtitle") == npos &&
           w.find("site") == npos && w.find("widget") == npos;
  });
}

// Start markers of an element, each checked to give `name` with `end` on this page: its
// whole start tag; the start tag from one of its attributes on (a style or an id with
// numbers before a telling class); the start tag with the tags just before it.
void AddElementMarkers(const PageTree& tree, const std::string& page, std::size_t i, const std::string& name, int kind,
                       std::vector<TitleChoice>& out) {
  const Node& n = tree.nodes[i];
  const std::string end = page.substr(n.contentEnd, n.end - n.contentEnd);
  std::vector<std::string> starts{page.substr(n.begin, n.openEnd - n.begin)};
  HtmlTokenizer tokens(page, n.begin);
  HtmlTag tag;
  if (tokens.Next(tag) && tag.begin == n.begin && !tag.NameIs("a"))
    for (auto a = tag.attributes.rbegin(); a != tag.attributes.rend(); ++a)
      if (a->end - a->begin >= 8) starts.push_back(page.substr(a->begin, n.openEnd - a->begin));
  auto own = std::lower_bound(tree.tags.begin(), tree.tags.end(), std::make_pair(n.begin, std::size_t{0}));
  for (int back = 1; back <= 3 && own - tree.tags.begin() >= back; ++back)
    starts.push_back(page.substr((own - back)->first, n.openEnd - (own - back)->first));
  // A tag just before it alone, when the element's own tag changes from page to page
  // (<h1 class="sectionedit1" id="the-article's-name">): the name check below makes sure
  // nothing but the element stands between.
  for (int back = 1; back <= 3 && own - tree.tags.begin() >= back; ++back)
    starts.push_back(page.substr((own - back)->first, (own - back)->second - (own - back)->first));
  for (const std::string& start : starts) {
    if (start.size() < 3 || !StableMarker(start) || !SurvivesCleanup(start) || !StableMarker(end)) continue;
    if (NewsTitleBetween(page, start, end) != name) continue;
    out.push_back({start, end, name, kind});
    return;
  }
}

// Marker pairs that stand around a headline of one article, each giving its text there.
std::vector<TitleChoice> TitleCandidates(const std::string& page) {
  PageTree tree = ParseTree(page);
  std::vector<TitleChoice> out;
  HtmlTokenizer tokens(page);
  HtmlTag tag;
  bool title = false;
  while (tokens.Next(tag)) {
    if (tag.closing) continue;
    if (tag.NameIs("title") && !title) {
      title = true;
      out.push_back({page.substr(tag.begin, tag.end - tag.begin), "</", NameOfText(page.substr(tag.end, tag.rawTextEnd - tag.end)),
                     kTitle});
    }
    if (tag.NameIs("meta")) {
      const HtmlAttribute* p = tag.Attribute("property");
      const HtmlAttribute* c = tag.Attribute("content");
      if (p && c && c->quote && EqualsLower(page.substr(p->valueBegin, p->valueEnd - p->valueBegin), "og:title") &&
          p->begin < c->begin)
        out.push_back({page.substr(p->begin, c->valueBegin - p->begin), std::string(1, c->quote),
                       NameOfText(DecodeCharacterReferences(page.substr(c->valueBegin, c->valueEnd - c->valueBegin), true)),
                       kOgTitle});
    }
  }
  for (std::size_t i = 0; i < tree.nodes.size(); ++i) {
    const Node& h = tree.nodes[i];
    if (!h.explicitEnd || IsOneOf(h.name, {"title", "html", "head", "body", "a", "meta", "script", "style"})) continue;
    int kind = -1;
    HtmlTokenizer own(page, h.begin);
    HtmlTag t;
    own.Next(t);
    if (const HtmlAttribute* ip = t.Attribute("itemprop");
        ip && EqualsLower(page.substr(ip->valueBegin, ip->valueEnd - ip->valueBegin), "headline"))
      kind = kItemprop;
    else if (EqualsLower(h.name, "h1")) kind = kHeading1;
    else if (EqualsLower(h.name, "h2")) kind = kHeading2;
    else if (ClassSaysTitle(h)) kind = kTitleClass;
    if (kind < 0) continue;
    const std::string name = NameOfText(page.substr(h.openEnd, h.contentEnd - h.openEnd));
    if (name.empty() || name.size() > 400) continue;
    // The element's own tags, or those of an element inside that holds the whole text.
    for (std::size_t inner = i; inner < tree.nodes.size();) {
      const std::size_t before = out.size();
      AddElementMarkers(tree, page, inner, name, kind, out);
      if (out.size() > before) break;
      const std::size_t child = inner + 1;
      if (child >= tree.nodes.size() || tree.nodes[child].parent != static_cast<int>(inner) ||
          !tree.nodes[child].explicitEnd ||
          NameOfText(page.substr(tree.nodes[child].openEnd, tree.nodes[child].contentEnd - tree.nodes[child].openEnd)) !=
              name)
        break;
      inner = child;
    }
  }
  return out;
}

// Letters and digits, upper case: what a headline and the link to its article agree on.
std::string Letters(std::string_view text, std::size_t most = npos) {
  std::string out;
  for (char ch : text) {
    unsigned char u = UpperWin1251(static_cast<unsigned char>(ch));
    if ((u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || u >= 0xC0 || u == 0xA8) out += static_cast<char>(u);
    if (out.size() >= most) break;
  }
  return out;
}

// How alike two texts are, 0 to 1: the Dice coefficient of their letter pairs.
double Likeness(const std::string& a, const std::string& b) {
  const std::string x = Letters(a, 600), y = Letters(b, 600);
  if (x.empty() || y.empty()) return 0;
  if (x == y) return 1;
  if (x.size() < 2 || y.size() < 2) return 0;
  std::vector<std::uint16_t> px, py;
  for (std::size_t i = 0; i + 1 < x.size(); ++i) px.push_back(static_cast<std::uint16_t>((static_cast<unsigned char>(x[i]) << 8) | static_cast<unsigned char>(x[i + 1])));
  for (std::size_t i = 0; i + 1 < y.size(); ++i) py.push_back(static_cast<std::uint16_t>((static_cast<unsigned char>(y[i]) << 8) | static_cast<unsigned char>(y[i + 1])));
  std::sort(px.begin(), px.end());
  std::sort(py.begin(), py.end());
  std::size_t common = 0;
  for (std::size_t i = 0, j = 0; i < px.size() && j < py.size();) {
    if (px[i] == py[j]) ++common, ++i, ++j;
    else if (px[i] < py[j]) ++i;
    else ++j;
  }
  return 2.0 * static_cast<double>(common) / static_cast<double>(px.size() + py.size());
}

// The text between two markers as the page writes it; "" when they miss.
std::string RawBetween(const std::string& page, const std::string& start, const std::string& end) {
  const std::string upper = UpperWin1251(page);
  const std::size_t s = upper.find(UpperWin1251(start));
  if (s == npos) return std::string();
  const std::size_t e = upper.find(UpperWin1251(end), s + start.size());
  return e == npos ? std::string() : page.substr(s + start.size(), e - s - start.size());
}

// The site's name that every page's headline text shares, before or after the article's own
// (" — Вести", "Вести | "), cut where a separator stands; "" when there is none.
std::pair<std::string, std::string> SharedSiteName(const std::vector<std::string>& raws) {
  if (raws.size() < 2) return {};
  std::string prefix = raws.front(), suffix = raws.front();
  for (const std::string& r : raws) {
    prefix.resize(static_cast<std::size_t>(std::mismatch(prefix.begin(), prefix.end(), r.begin(), r.end()).first - prefix.begin()));
    std::size_t n = 0;
    while (n < suffix.size() && n < r.size() && suffix[suffix.size() - 1 - n] == r[r.size() - 1 - n]) ++n;
    suffix = suffix.substr(suffix.size() - n);
  }
  // A separator: a blank, then signs (or a reference such as &#8211;), then a blank.
  auto separatorAt = [](const std::string& t, std::size_t i) {
    if (i >= t.size() || t[i] != ' ') return false;
    std::size_t j = i + 1;
    while (j < t.size() && t[j] != ' ') {
      unsigned char c = static_cast<unsigned char>(t[j]);
      const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 0xC0 || (c >= '0' && c <= '9');
      if (letter && !(t[i + 1] == '&')) return false;
      ++j;
    }
    return j > i + 1 && j < t.size();
  };
  std::string before, after;
  for (std::size_t i = 0; i < suffix.size(); ++i)
    if (separatorAt(suffix, i)) {
      after = suffix.substr(i);
      break;
    }
  // "Article [Site]", "Article (Site)"
  if (after.empty() && suffix.size() > 3)
    for (const char* pair : {" []", " ()"})
      if (std::size_t at = suffix.find(std::string(pair, 2)); at != npos && suffix.back() == pair[2]) {
        after = suffix.substr(at);
        break;
      }
  for (std::size_t i = prefix.size(); i-- > 0;)
    if (separatorAt(prefix, i)) {
      std::size_t j = prefix.find(' ', i + 1);
      before = prefix.substr(0, j + 1);
      break;
    }
  return {before, after};
}

// The headline markers for these articles (the example first), `texts` their links' texts on
// the list ("" unknown). Markers that miss an article, or give two articles of different
// links one name, are out; of the rest, the names most like the links' texts win, then the
// most telling kind of element. `collision` says when every candidate named two alike.
TitleChoice ChooseHeadline(const std::vector<const std::string*>& articles, const std::vector<std::string>& texts,
                           bool& collision) {
  collision = false;
  std::vector<TitleChoice> candidates = TitleCandidates(*articles.front());
  // The same markers with the site's name that every article's text shares cut off.
  const std::size_t plain = candidates.size();
  for (std::size_t c = 0; c < plain; ++c) {
    std::vector<std::string> raws;
    for (const std::string* a : articles) raws.push_back(RawBetween(*a, candidates[c].start, candidates[c].end));
    auto [before, after] = SharedSiteName(raws);
    if (before.empty() && after.empty()) continue;
    TitleChoice cut = candidates[c];
    cut.start += before;
    cut.end = after + cut.end;
    cut.kind = std::min<int>(cut.kind, kSiteCut);
    if (StableMarker(cut.start, true) && StableMarker(cut.end, true)) candidates.push_back(cut);
  }
  const bool texts_known = std::any_of(texts.begin(), texts.end(), [](const std::string& t) { return !t.empty(); });
  struct Scored {
    const TitleChoice* choice;
    double likeness;
  };
  std::vector<Scored> scored;
  bool anyNamed = false;
  for (const TitleChoice& c : candidates) {
    std::vector<std::string> names;
    for (const std::string* a : articles) names.push_back(NewsTitleBetween(*a, c.start, c.end));
    if (std::any_of(names.begin(), names.end(), [](const std::string& n) { return n.empty(); })) continue;
    anyNamed = true;
    bool alike = false;
    for (std::size_t i = 0; i < names.size() && !alike; ++i)
      for (std::size_t j = i + 1; j < names.size() && !alike; ++j)
        alike = names[i] == names[j] && (texts[i].empty() || texts[i] != texts[j]);
    if (alike) continue;
    double likeness = 0;
    int counted = 0;
    for (std::size_t i = 0; i < names.size(); ++i)
      if (!texts[i].empty()) {
        likeness += Likeness(names[i], texts[i]);
        ++counted;
      }
    if (counted > 0) likeness /= counted;
    // Without the links' texts the page's <title> tells: a headline stands in it.
    if (!texts_known) {
      const std::string title = candidates.empty() ? std::string() : NewsTitleBetween(*articles.front(), "<title>", "</title>");
      likeness = c.kind != kTitle && Letters(title).find(Letters(names.front())) != npos ? 1.0 : 0.5;
    }
    scored.push_back({&c, likeness});
  }
  collision = anyNamed && scored.empty();
  if (scored.empty()) return {};
  const Scored* best = &scored.front();
  for (const Scored& s : scored) {
    const double d = s.likeness - best->likeness;
    if (d > 0.15 || (d > -0.15 && s.choice->kind < best->choice->kind) ||
        (d > 0 && d <= 0.15 && s.choice->kind == best->choice->kind))
      best = &s;
  }
  return *best->choice;
}

std::string StepText(const char* utf8) { return W(utf8); }

TTmpOneMacroComand Step(const char* command, std::string p1, std::string p2, std::string p3, std::string p4,
                        const char* description) {
  TTmpOneMacroComand s;
  s.Command = command;
  s.P1 = std::move(p1);
  s.P2 = std::move(p2);
  s.P3 = std::move(p3);
  s.P4 = std::move(p4);
  s.Description = StepText(description);
  s.Active = true;
  return s;
}

}  // namespace

ListPageLinks ReadListPage(const ChannelProposal& proposal, const std::string& pageText, const std::string& pageUrl) {
  ListPageLinks out;
  std::string page = pageText;
  std::vector<Edit> edits;
  for (const IndexEdit& e : proposal.indexEdits) edits.push_back({e.find, e.replace, ""});
  ApplyEdits(page, edits);
  if (proposal.linkFragment.empty()) return out;
  UrlResolver resolver(pageUrl);
  LinkFinder finder(proposal.linkFragment);
  ForEachIndexLink(page, [&](std::string_view link) {
    if (!finder.FoundIn(link)) return true;
    // The link's text: from the end of its tag to the next end tag of a link.
    const std::size_t at = static_cast<std::size_t>(link.data() - page.data()) + link.size();
    const std::size_t open = page.find('>', at);
    std::string text;
    if (open != npos && open - at < 2000) {
      const std::string_view after = std::string_view(page).substr(open + 1, 2000);
      for (std::size_t close = 0; close + 2 < after.size(); ++close)
        if (after[close] == '<' && after[close + 1] == '/' && (after[close + 2] | 0x20) == 'a') {
          text = NameOfText(std::string(after.substr(0, close)));
          break;
        }
    }
    out.links.push_back({std::string(link), NewsAddress(resolver.Resolve(AttributeUrl(link))), std::move(text)});
    return true;
  });
  if (proposal.turns) {
    std::string next = NextIndexLink(page, proposal.nextFragment, true, resolver);
    if (!next.empty() && next[0] != '#') next = WithoutFragment(resolver.Resolve(AttributeUrl(next)));
    if (!next.empty() && next[0] != '#' && next != WithoutFragment(resolver.Resolve(""))) out.next = next;
  }
  return out;
}

std::string ProposedNewsName(const ChannelProposal& proposal, const std::string& page) {
  return NewsTitleBetween(page, proposal.nameStart, proposal.nameEnd);
}

bool ProposedNewsAccepted(const ChannelProposal& proposal, const std::string& page) {
  return ContainsFragment(page, proposal.newsKey);
}

ChannelProposal ProposeChannel(const ProposalInput& in) {
  ChannelProposal out;
  const std::string& page = in.indexPage;
  PageTree tree = ParseTree(page);
  std::vector<Link> links = IndexLinks(page);
  std::unordered_map<std::size_t, std::size_t> linkAt;  // position -> index in links
  for (std::size_t i = 0; i < links.size(); ++i) linkAt[links[i].pos] = i;
  // An anchor's link as FindUrlNews sees it.
  std::vector<const std::string*> rawOf(tree.nodes.size(), nullptr);
  for (std::size_t i = 0; i < tree.nodes.size(); ++i)
    if (auto l = tree.nodes[i].href != npos ? linkAt.find(tree.nodes[i].href) : linkAt.end(); l != linkAt.end())
      rawOf[i] = &links[l->second].raw;
  auto raw = [&](int node) -> const std::string& { return *rawOf[static_cast<std::size_t>(node)]; };

  // ---- the example's place in the page
  UrlResolver resolver(in.indexUrl);
  std::vector<std::string> exampleKeys;
  for (const std::string& u : in.exampleUrls) exampleKeys.push_back(AddressKey(u));
  std::vector<int> anchors;
  std::map<int, std::size_t> exampleOf;  // anchor -> example index, in page order
  for (std::size_t i = 0; i < tree.nodes.size(); ++i) {
    if (!rawOf[i] || IsNavigationLink(*rawOf[i])) continue;
    anchors.push_back(static_cast<int>(i));
    std::string key = AddressKey(resolver.Resolve(AttributeUrl(*rawOf[i])));
    for (std::size_t e = 0; e < exampleKeys.size(); ++e)
      if (key == exampleKeys[e]) exampleOf[static_cast<int>(i)] = e;
  }
  if (exampleOf.empty()) {
    out.problem = W("на странице нет ссылки на пример: ") + (in.exampleUrls.empty() ? "" : in.exampleUrls.front());
    return out;
  }

  struct Choice {
    std::vector<int> selected, items;
    std::size_t covered = 0, count = 0;
    bool heading = false;  // the example stands in a heading or a "title" element
    std::size_t letters = 0;  // of the example's text: a headline, not a date or a picture
    int level = 0;
    int example = -1;
    bool aside = false;  // in a sidebar, footer, header or widget: "latest posts", not the list
  } best;
  bool haveBest = false;
  auto better = [](const Choice& a, const Choice& b) {
    if (a.covered != b.covered) return a.covered > b.covered;
    if (a.aside != b.aside) return !a.aside;
    if (a.count != b.count) return a.count > b.count;
    if (a.heading != b.heading) return a.heading;
    if ((a.letters > 0) != (b.letters > 0)) return a.letters > 0;
    if (a.level != b.level) return a.level < b.level;
    return a.letters > b.letters;
  };
  auto nodeText = [&](int i) {
    const Node& n = tree.nodes[static_cast<std::size_t>(i)];
    return NameOfText(page.substr(n.openEnd, n.contentEnd - n.openEnd));
  };
  for (const auto& [example, _] : exampleOf) {
    std::vector<int> chain;
    for (int c = example; c >= 0 && chain.size() < 16; c = tree.nodes[static_cast<std::size_t>(c)].parent)
      chain.push_back(c);
    std::vector<int> like;  // anchors that look like the example itself
    for (int a : anchors)
      if (Compatible(tree.nodes[static_cast<std::size_t>(a)], tree.nodes[static_cast<std::size_t>(example)]))
        like.push_back(a);
    std::size_t letters = 0;
    for (char ch : nodeText(example)) {
      unsigned char u = static_cast<unsigned char>(ch);
      letters += (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u >= 0xC0 ? 1 : 0;
    }
    bool heading = false;
    for (int c : chain) {
      const Node& n = tree.nodes[static_cast<std::size_t>(c)];
      heading = heading || (n.name.size() == 2 && (n.name[0] | 0x20) == 'h' && n.name[1] >= '1' && n.name[1] <= '6') ||
                std::any_of(n.classes.begin(), n.classes.end(),
                            [](const std::string& w) { return w.find("title") != npos || w.find("headline") != npos; });
      if (c == chain[std::min<std::size_t>(chain.size() - 1, 3)]) break;  // up to the item, near the link
    }
    // Each look-alike's ancestor at the level of the item being tried, and whether the chain
    // up to it has matched the example's so far.
    std::vector<int> up = like;
    std::vector<char> alive(like.size(), 1);
    for (std::size_t k = 0; k < chain.size(); ++k) {
      if (k > 0)
        for (std::size_t i = 0; i < like.size(); ++i) {
          if (!alive[i]) continue;
          up[i] = tree.nodes[static_cast<std::size_t>(up[i])].parent;
          alive[i] = up[i] >= 0 && Compatible(tree.nodes[static_cast<std::size_t>(up[i])],
                                              tree.nodes[static_cast<std::size_t>(chain[k])]);
        }
      Choice c;
      c.level = static_cast<int>(k);
      c.example = example;
      c.heading = heading;
      c.letters = letters;
      const int container = k + 1 < chain.size() ? chain[k + 1] : -1;  // -1: the page's top level
      std::set<int> items;
      // The links at the example's place in each sibling item; `nth` also asks for the same
      // place among siblings of one name (the second cell of a row, not the third).
      auto select = [&](bool nth) {
        c.selected.clear();
        items.clear();
        if (!nth) {
          for (std::size_t i = 0; i < like.size(); ++i)
            if (alive[i] && tree.nodes[static_cast<std::size_t>(up[i])].parent == container) {
              c.selected.push_back(like[i]);
              items.insert(up[i]);
            }
          return;
        }
        for (int a : like) {
          int x = a;
          bool ok = !nth || k == 0 ||
                    tree.nodes[static_cast<std::size_t>(a)].nth == tree.nodes[static_cast<std::size_t>(example)].nth;
          for (std::size_t j = 1; j <= k && ok; ++j) {
            x = tree.nodes[static_cast<std::size_t>(x)].parent;
            ok = x >= 0 &&
                 Compatible(tree.nodes[static_cast<std::size_t>(x)], tree.nodes[static_cast<std::size_t>(chain[j])]) &&
                 (!nth || j == k || tree.nodes[static_cast<std::size_t>(x)].nth == tree.nodes[static_cast<std::size_t>(chain[j])].nth);
          }
          if (!ok || tree.nodes[static_cast<std::size_t>(x)].parent != container) continue;
          c.selected.push_back(a);
          items.insert(x);
        }
      };
      select(false);
      // Links of another shape at another place of the item (a row's category cell beside its
      // title cell): only the example's place counts. Links of one shape at several places
      // (a day's group of news) all do.
      auto place = [&](int a) {
        std::string key;
        for (std::size_t j = 0; j < k; ++j, a = tree.nodes[static_cast<std::size_t>(a)].parent)
          key += std::to_string(tree.nodes[static_cast<std::size_t>(a)].nth) + ",";
        return key;
      };
      const std::string examplePlace = place(example);
      std::vector<std::string> here, elsewhere;
      for (int a : c.selected)
        (place(a) == examplePlace ? here : elsewhere).push_back(raw(a));
      if (!elsewhere.empty() && !here.empty()) {
        const std::string shape = LinkFragment(here);
        if (shape.empty() || !std::all_of(elsewhere.begin(), elsewhere.end(),
                                          [&](const std::string& r) { return ContainsFragment(r, shape); }))
          select(true);
      }
      c.items.assign(items.begin(), items.end());
      c.count = items.size();
      c.aside = container >= 0 && Aside(tree, container);
      std::set<std::size_t> covered;
      for (int a : c.selected)
        if (auto e = exampleOf.find(a); e != exampleOf.end()) covered.insert(e->second);
      c.covered = covered.size();
      if (!haveBest || better(c, best)) {
        best = std::move(c);
        haveBest = true;
      }
    }
  }
  // The same items in containers beside the list's own (the columns of a category, a day's
  // <ul> beside the next day's) belong to the list too.
  if (!best.items.empty() && best.example >= 0) {
    auto node = [&](int i) -> const Node& { return tree.nodes[static_cast<std::size_t>(i)]; };
    const int container = node(best.items.front()).parent;
    const int holder = container >= 0 ? node(container).parent : -1;
    std::vector<int> chain;
    for (int c = best.example; c >= 0 && chain.size() <= static_cast<std::size_t>(best.level); c = node(c).parent)
      chain.push_back(c);
    std::set<int> chosen(best.selected.begin(), best.selected.end()), items(best.items.begin(), best.items.end());
    for (int a : anchors) {
      if (container < 0 || chosen.count(a) > 0 || !Compatible(node(a), node(best.example))) continue;
      int x = a;
      bool ok = true;
      for (std::size_t j = 1; j < chain.size() && ok; ++j) {
        x = node(x).parent;
        ok = x >= 0 && Compatible(node(x), node(chain[j]));
      }
      const int X = ok ? node(x).parent : -1;
      if (X < 0 || X == container || !Compatible(node(X), node(container))) continue;
      const int up = node(X).parent;
      const bool cousin = up == holder || (up >= 0 && holder >= 0 && Compatible(node(up), node(holder)) &&
                                           node(up).parent == node(holder).parent);
      if (!cousin) continue;
      best.selected.push_back(a);
      items.insert(x);
    }
    best.items.assign(items.begin(), items.end());
  }
  // The links the user excluded leave the list; the narrowing below then has to drop them.
  std::set<std::string> excludedKeys;
  for (const std::string& u : in.excludedUrls)
    if (std::find(exampleKeys.begin(), exampleKeys.end(), AddressKey(u)) == exampleKeys.end())
      excludedKeys.insert(AddressKey(u));
  auto excluded = [&](int a) {
    return !excludedKeys.empty() && excludedKeys.count(AddressKey(resolver.Resolve(AttributeUrl(raw(a))))) > 0;
  };
  std::set<std::size_t> excludedPos;
  for (int a : anchors)
    if (excluded(a)) excludedPos.insert(tree.nodes[static_cast<std::size_t>(a)].href);
  std::erase_if(best.selected, excluded);
  std::vector<std::size_t> wantedPos;
  for (int a : best.selected) wantedPos.push_back(tree.nodes[static_cast<std::size_t>(a)].href);
  std::sort(wantedPos.begin(), wantedPos.end());
  std::vector<std::string> wanted;
  for (std::size_t p : wantedPos) wanted.push_back(links[linkAt.at(p)].raw);

  // ---- the fragment FindUrlNews looks for: by the links' structure, else by their common pieces
  out.linkFragment = StructuralFragment(wanted);
  if (!out.linkFragment.empty()) {
    LinkFinder check(out.linkFragment);
    if (!std::all_of(wanted.begin(), wanted.end(), [&](const std::string& w) { return check.FoundIn(w); }))
      out.linkFragment.clear();
  }
  const bool structural = !out.linkFragment.empty();
  if (!structural && !wanted.empty()) out.linkFragment = LinkFragment(wanted);
  if (out.linkFragment.empty()) {
    out.problem = W("на странице нет ссылок, похожих на пример");
    return out;
  }
  // Room for longer numbers, as long as this page's links are taken exactly as before.
  if (std::string growing = GrowingNumbers(out.linkFragment); !structural && growing != out.linkFragment) {
    LinkFinder exact(out.linkFragment), wide(growing);
    if (std::all_of(links.begin(), links.end(), [&](const Link& l) { return exact.FoundIn(l.raw) == wide.FoundIn(l.raw); }))
      out.linkFragment = std::move(growing);
  }
  LinkFinder finder(out.linkFragment);
  std::vector<std::size_t> bad;
  for (const Link& l : links)
    if (!std::binary_search(wantedPos.begin(), wantedPos.end(), l.pos) && finder.FoundIn(l.raw)) bad.push_back(l.pos);

  // ---- the next page's link, which the narrowing must keep: the one that leads forward
  std::size_t nextPos = npos;
  int nextNode = -1;
  if (in.pages > 1) {
    // Not a link to one of the list's articles, however it is worded ("Далее »" under an excerpt).
    std::set<std::string> articles;
    for (const std::string& w : wanted) articles.insert(NewsAddress(resolver.Resolve(AttributeUrl(w))));
    const ForwardLink f = FindForwardLink(page, resolver, 0, [&](std::string_view href) {
      return articles.count(NewsAddress(resolver.Resolve(AttributeUrl(href)))) > 0;
    });
    if (auto a = f.how != ForwardLink::kNone ? tree.anchorAt.find(f.at) : tree.anchorAt.end(); a != tree.anchorAt.end()) {
      nextPos = f.at;
      nextNode = a->second;
    }
  }
  std::vector<std::size_t> keep = wantedPos;
  if (nextPos != npos) keep.push_back(nextPos);
  std::sort(keep.begin(), keep.end());
  auto harms = [&](const std::vector<Span>& spans) { return AnyInside(spans, keep); };

  // ---- the region of the list
  std::vector<Edit> edits;
  std::size_t lo = 0, hi = page.size();
  if (!bad.empty()) {
    std::size_t first = npos, last = 0;
    for (int i : best.items) {
      first = std::min(first, tree.nodes[static_cast<std::size_t>(i)].begin);
      last = std::max(last, tree.nodes[static_cast<std::size_t>(i)].end);
    }
    if (nextNode >= 0) {
      // The pagination block around the next link stays in the region.
      int p = tree.nodes[static_cast<std::size_t>(nextNode)].parent;
      const Node& around = p >= 0 ? tree.nodes[static_cast<std::size_t>(p)] : tree.nodes[static_cast<std::size_t>(nextNode)];
      first = std::min(first, around.begin);
      last = std::max(last, around.end);
    }
    // Cuts stand between the list and the nearest links it must lose. Best are the elements
    // that hold the list ("<main ...>", "</main>"), then tags with attributes, then any.
    std::size_t headFrom = 0, tailTo = npos;
    for (std::size_t b : bad) {
      if (b < first) headFrom = b + 1;
      else if (b >= last && tailTo == npos) tailTo = b;
    }
    std::vector<int> holders;
    for (int x = tree.nodes[static_cast<std::size_t>(best.items.front())].parent; x >= 0;
         x = tree.nodes[static_cast<std::size_t>(x)].parent)
      holders.push_back(x);
    auto text = [&](std::size_t from, std::size_t to) { return std::string(page.substr(from, to - from)); };
    if (headFrom > 0) {
      std::vector<std::pair<std::size_t, std::size_t>> cands;
      for (int x : holders) cands.emplace_back(tree.nodes[static_cast<std::size_t>(x)].begin, tree.nodes[static_cast<std::size_t>(x)].openEnd);
      for (bool attributes : {true, false})
        for (std::size_t i = tree.nodes.size(), tries = 0; i-- > 0 && tries < 400;) {
          const Node& n = tree.nodes[i];
          if (n.begin > first || n.begin < headFrom) continue;
          ++tries;
          if (!attributes || text(n.begin, n.openEnd).find(' ') != npos) cands.emplace_back(n.begin, n.openEnd);
        }
      for (const auto& [at, end] : cands) {
        std::string t = text(at, end);
        if (at < headFrom || at > first || IsLinkTag(t) || !StableMarker(t) || FindText(page, t) != at ||
            FindText(page, t, at + 1) != npos)
          continue;
        edits.push_back({"*" + t, t, StepText("Список: отрезать начало страницы до него")});
        lo = at;
        break;
      }
    }
    if (tailTo != npos) {
      std::vector<std::pair<std::size_t, std::size_t>> cands;
      for (int x : holders)
        if (tree.nodes[static_cast<std::size_t>(x)].explicitEnd)
          cands.emplace_back(tree.nodes[static_cast<std::size_t>(x)].contentEnd, tree.nodes[static_cast<std::size_t>(x)].end);
      for (bool attributes : {true, false}) {
        auto tag = std::lower_bound(tree.tags.begin(), tree.tags.end(), std::make_pair(last, std::size_t{0}));
        for (int tries = 0; tag != tree.tags.end() && tag->first <= tailTo && tries < 400; ++tag, ++tries)
          if (!attributes || text(tag->first, tag->second).find(' ') != npos) cands.push_back(*tag);
      }
      for (const auto& [at, end] : cands) {
        std::string t = text(at, end);
        if (at < last || at > tailTo || IsLinkTag(t) || !StableMarker(t) || FindText(page, t, lo) != at) continue;
        edits.push_back({t + "*", "", StepText("Список: отрезать конец страницы после него")});
        hi = at;
        break;
      }
    }
  }

  // ---- inside the region: drop what is not a title link of the list
  Removed dropped;
  std::set<std::string> tried;  // a rule is judged once: the same element stands in every item
  for (std::size_t b : bad) {
    if (b < lo || b >= hi || dropped.Holds(b)) continue;
    // The innermost element around the link.
    int inner = -1;
    if (auto a = tree.anchorAt.find(b); a != tree.anchorAt.end()) {
      inner = a->second;
    } else {
      // The last element that begins before the link, or the nearest of its parents that holds it.
      auto after = std::upper_bound(tree.nodes.begin(), tree.nodes.end(), b,
                                    [](std::size_t pos, const Node& n) { return pos < n.begin; });
      inner = static_cast<int>(after - tree.nodes.begin()) - 1;
      while (inner >= 0 && tree.nodes[static_cast<std::size_t>(inner)].end <= b)
        inner = tree.nodes[static_cast<std::size_t>(inner)].parent;
    }
    std::vector<int> around;
    for (int x = inner; x >= 0; x = tree.nodes[static_cast<std::size_t>(x)].parent) around.push_back(x);
    std::reverse(around.begin(), around.end());  // outermost first
    bool done = false;
    for (int x : around) {
      const Node& n = tree.nodes[static_cast<std::size_t>(x)];
      if (!n.explicitEnd || n.begin < lo || n.end > hi) continue;
      std::string open(page.substr(n.begin, n.openEnd - n.begin)), close(page.substr(n.contentEnd, n.end - n.contentEnd));
      if (IsLinkTag(open) || !StableMarker(open, true) || !StableMarker(close) || !tried.insert(open + "*" + close).second)
        continue;
      std::vector<Span> spans = ElementSpans(page, open, close, lo, hi);
      if (!Inside(spans, b) || harms(spans) || (!StableMarker(open) && spans.size() < 2)) continue;
      edits.push_back({open + "*" + close, "", StepText("Список: убрать то, что не заголовок статьи")});
      dropped.Add(spans);
      done = true;
      break;
    }
    if (done || inner < 0 || tree.anchorAt.find(b) == tree.anchorAt.end()) continue;
    // The link's own tag up to its address ("<a class="more-link" href="), or with the tags
    // just before it ("</p><a href="): rewritten, those links lose their address.
    const Node& a = tree.nodes[static_cast<std::size_t>(inner)];
    std::size_t hrefAt = b;
    while (hrefAt > a.begin && page[hrefAt - 1] != '=') --hrefAt;
    if (hrefAt < a.begin + 5) continue;
    const std::size_t nameAt = hrefAt - 5;  // "href="
    auto own = std::lower_bound(tree.tags.begin(), tree.tags.end(), std::make_pair(a.begin, std::size_t{0}));
    for (int back = 0; back <= 3 && !done && own - tree.tags.begin() >= back; ++back) {
      const std::size_t from = (own - back)->first;
      std::string pattern(page.substr(from, hrefAt - from));
      if (pattern.size() < 8 || !StableMarker(pattern, true) || !tried.insert(pattern).second) continue;
      std::vector<Span> spans = TextSpans(page, pattern, lo, hi);
      if (!Inside(spans, b) || harms(spans) || (!StableMarker(pattern) && spans.size() < 2)) continue;
      std::string replaced = pattern.substr(0, nameAt - from) + "data-skip=";
      edits.push_back({pattern, replaced, StepText("Список: не брать эту ссылку")});
      dropped.Add(spans);
      done = true;
    }
    // A pager's link that looks like an article's (Pelican's "../category/gorod2.html" beside
    // "../slug.html"): "href =" hides it from FindUrlNews, and GetNextIndex still reads it.
    if (!done && b >= nameAt + 5) {
      const std::string& value = links[linkAt.at(b)].raw;
      const std::string head(page.substr(nameAt, b - nameAt));  // href=" as written
      for (std::size_t k = value.find('/'); !done && k != npos && k + 1 < value.size(); k = value.find('/', k + 1)) {
        const std::string pattern = head + value.substr(0, k + 1);
        if (!StableMarker(pattern) || !tried.insert(pattern).second) continue;
        std::vector<Span> spans;
        for (std::size_t p = FindText(page, pattern, lo); p != npos && p < hi && spans.size() < 999;
             p = FindText(page, pattern, p + 1))
          spans.push_back({p + head.size(), p + head.size() + 2});
        if (!Inside(spans, b) || AnyInside(spans, wantedPos)) continue;
        edits.push_back({pattern, head.substr(0, 4) + " =" + pattern.substr(5), StepText("Список: ссылку листания не брать как статью")});
        dropped.Add(spans);
        done = true;
      }
    }
    // An excluded link like the others: its own address, written as this page writes it.
    if (!done && excludedPos.count(b) > 0) {
      const std::size_t quote = b > hrefAt && (page[b - 1] == '"' || page[b - 1] == '\'') ? 1 : 0;
      std::string value = links[linkAt.at(b)].raw;
      if (value.find('*') != npos || !tried.insert(value).second) continue;
      std::string pattern(page.substr(nameAt, b - nameAt) + value + (quote ? std::string(1, page[b - 1]) : ""));
      std::vector<Span> spans;
      for (Span t : TextSpans(page, pattern, lo, hi)) spans.push_back({t.begin - value.size() - quote, t.begin});
      edits.push_back({pattern, "data-skip=" + pattern.substr(5), StepText("Список: не брать исключённую ссылку")});
      dropped.Add(spans);
    }
  }

  // ---- what the steps take
  for (const Edit& e : edits) out.indexEdits.push_back({e.find, e.replace});
  out.links = ReadListPage(out, page, in.indexUrl).links;
  if (out.links.empty()) {
    out.problem = W("на странице нет ссылок, похожих на пример");
    return out;
  }
  for (const ProposedLink& l : out.links)
    if (excludedKeys.count(AddressKey(l.url)) > 0 &&
        std::find(out.notExcluded.begin(), out.notExcluded.end(), l.url) == out.notExcluded.end())
      out.notExcluded.push_back(l.url);
  {
    std::set<std::string> taken;
    for (const ProposedLink& l : out.links) taken.insert(l.url);
    for (int a : best.selected) {
      const std::string url = NewsAddress(resolver.Resolve(AttributeUrl(raw(a))));
      if (taken.insert(url).second) out.notTaken.push_back(url);
    }
  }
  for (ProposedLink& l : out.links)
    for (int a : best.selected)
      if (raw(a) == l.link) {
        l.text = nodeText(a);
        break;
      }

  // The headline: the markers whose text differs from article to article and is most like
  // each article's link on the list.
  std::vector<const std::string*> articles;
  std::vector<std::string> linkTexts;
  auto textOf = [&](const std::string& url) {
    const std::string key = AddressKey(url);
    for (const ProposedLink& l : out.links)
      if (AddressKey(l.url) == key) return l.text;
    return std::string();
  };
  for (std::size_t e = 0; e < in.examplePages.size(); ++e) {
    articles.push_back(&in.examplePages[e]);
    linkTexts.push_back(e < in.exampleUrls.size() ? textOf(in.exampleUrls[e]) : std::string());
  }
  for (std::size_t e = 0; e < in.comparePages.size() && e < in.compareUrls.size(); ++e) {
    articles.push_back(&in.comparePages[e]);
    linkTexts.push_back(textOf(in.compareUrls[e]));
  }
  if (!in.nameStart.empty()) {
    out.nameStart = in.nameStart;
    out.nameEnd = in.nameEnd;
  } else if (!articles.empty()) {
    const TitleChoice best = ChooseHeadline(articles, linkTexts, out.nameCollision);
    out.nameStart = best.start;
    out.nameEnd = best.end;
  }
  for (const std::string& p : in.examplePages) out.exampleNames.push_back(NewsTitleBetween(p, out.nameStart, out.nameEnd));
  if (out.nameStart.empty() || (!in.nameStart.empty() && !out.exampleNames.empty() && out.exampleNames[0].empty())) {
    out.problem = out.nameCollision && in.nameStart.empty()
                      ? W("у разных статей списка одинаковые заголовки, и ни один заголовок страницы не различает их: "
                          "новости затёрли бы друг друга")
                      : W("в статье-примере не найден заголовок");
    out.nameStart = "<title>";
    out.nameEnd = "</title>";
  }
  for (const std::string& key : {out.nameStart, std::string("<body"), std::string("<BODY"), std::string("</title>")}) {
    if (std::all_of(in.examplePages.begin(), in.examplePages.end(),
                    [&](const std::string& p) { return ContainsFragment(p, key); })) {
      out.newsKey = key;
      break;
    }
  }
  if (out.newsKey.empty()) out.newsKey = "<";

  // Page turning: where the pager begins (the link's own rel="next" or class, the tags before
  // it), so that no forward-looking link above it ("Далее" under an excerpt) is taken;
  // checked on the narrowed page.
  if (nextNode >= 0) {
    std::string narrowed = page;
    ApplyEdits(narrowed, edits);
    const std::string nextUrl = WithoutFragment(resolver.Resolve(AttributeUrl(raw(nextNode))));
    const Node& a = tree.nodes[static_cast<std::size_t>(nextNode)];
    std::vector<std::string> candidates;
    HtmlTokenizer tokens(page, a.begin);
    HtmlTag tag;
    for (std::size_t i = static_cast<std::size_t>(nextNode) + 1; i-- > 0 && candidates.size() < 16;) {
      if (static_cast<int>(i) == nextNode && tokens.Next(tag))
        for (const HtmlAttribute& at : tag.attributes)
          if (!at.NameIs("href") && at.hasValue) candidates.emplace_back(page.substr(at.begin, at.end - at.begin));
      candidates.emplace_back(page.substr(tree.nodes[i].begin, tree.nodes[i].openEnd - tree.nodes[i].begin));
    }
    candidates.emplace_back();  // the whole page
    for (std::string t : candidates) {
      while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.pop_back();
      if ((!t.empty() && (t.size() < 3 || !StableMarker(t) || IsLinkTag(t))) || FindText(page, t) >= a.openEnd) continue;
      const std::string link = NextIndexLink(narrowed, t, true, resolver);
      if (link.empty() || WithoutFragment(resolver.Resolve(AttributeUrl(link))) != nextUrl) continue;
      out.nextFragment = t;
      out.turns = true;
      break;
    }
  }

  const bool resolve = std::any_of(out.links.begin(), out.links.end(), [](const ProposedLink& l) {
    return !IsHttpUrl(l.link) || l.link.find('&') != npos || l.link.find('%') != npos;
  });
  std::vector<TTmpOneMacroComand>& s = out.steps;
  // What proves GetStart got the list page: where the list begins, else a link as this page
  // writes it (the fragment's case counts).
  std::string startKey = "<";
  if (!edits.empty() && edits.front().find.front() == '*') startKey = edits.front().replace;
  else if (ContainsFragment(page, "href=")) startKey = "href=";
  else if (ContainsFragment(page, "HREF=")) startKey = "HREF=";
  s.push_back(Step("GetStart", in.startUrl, startKey, "-999", "", "Страница списка: в IndexHTML-буфер"));
  for (const Edit& e : edits) {
    s.push_back(Step("EditIndexHTML", e.find, e.replace, "", "", ""));
    s.back().Description = e.what;
  }
  const int find = static_cast<int>(s.size());
  const bool turn = out.turns;
  // The steps of one article follow FindUrlNews.
  const int next = find + 1 + (resolve ? 7 : 6) + static_cast<int>(in.textCut.size()) - (in.pictures ? 0 : 1);
  s.push_back(Step("FindUrlNews", out.linkFragment, turn ? std::to_string(next) : std::string("-1"), "", "",
                   "Следующая новая ссылка списка; нет ссылок - дальше"));
  if (resolve) s.push_back(Step("EditUrlNews", "", "", "", "", "Сделать ссылку полной"));
  s.push_back(Step("GetNews", out.newsKey, "", "", std::to_string(find),
                   "Загрузить статью; загружена ранее - к следующей ссылке"));
  s.push_back(Step("EditHTMLNews", "StandartParameter=0", "StandartParameter=0", "", "",
                   "Убрать скрипты, сделать ссылки полными"));
  s.push_back(Step("FindNameNews", out.nameStart, out.nameEnd, "", "", "Имя новости из заголовка статьи"));
  // The cut comes after the name: the headline usually stands outside the text.
  for (const IndexEdit& e : in.textCut)
    s.push_back(Step("EditHTMLNews", "", "", e.find, e.replace, "Оставить только текст статьи"));
  if (in.pictures)
    s.push_back(Step("FindAttachment", "StandartParameter=0", "StandartParameter=0", "StandartParameter=0", "",
                     "Рисунки и стили статьи"));
  s.push_back(Step("SaveNews", "", "", "", "", "Записать новость"));
  s.push_back(Step("GotoMacro", std::to_string(find), "StandartParameter=0", "", "", "К следующей ссылке"));
  if (turn) {
    s.push_back(Step("GetNextIndex", out.nextFragment, std::to_string(in.pages - 1), "StandartParameter=1", "-1",
                     "Следующая страница списка; нет её - конец папки"));
    s.push_back(Step("GotoMacro", "1", "StandartParameter=0", "", "", "Разобрать новую страницу списка"));
  }
  return out;
}

// ---- what the user clicks ------------------------------------------------------------------

namespace {

std::string LowerName(std::string_view n) {
  std::string out(n);
  for (char& c : out) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return out;
}

std::string ShownLetters(const std::string& page, const Node& n, std::size_t most) {
  if (n.contentEnd == npos || n.contentEnd < n.openEnd) return std::string();
  return Letters(HtmlText(std::string_view(page).substr(n.openEnd, n.contentEnd - n.openEnd), ' '), most);
}

// The clicked element in the page's tree: at its place when its text agrees (the first
// letters of a long text), else the element of that tag with that text nearest to the place.
int PickedNode(const PageTree& tree, const std::string& page, const ElementPick& pick) {
  constexpr std::size_t kCompared = 64, kLonger = 256;
  const std::string want = Letters(pick.text, kCompared), wantLonger = Letters(pick.text, kLonger);
  auto head = [](const std::string& s) { return s.substr(0, std::min<std::size_t>(s.size(), 16)); };
  int best = -1, seen = 0, bestDistance = 0, atPlace = -1;
  for (std::size_t i = 0; i < tree.nodes.size(); ++i) {
    const Node& n = tree.nodes[i];
    if (LowerName(n.name) != pick.tag) continue;
    const int at = seen++;
    if (at == pick.nth) {
      // At its place, a text the browser shows a little differently (hidden parts, text
      // made by style sheets) still confirms it.
      const std::string shown = ShownLetters(page, n, kLonger);
      if (!shown.empty() && !wantLonger.empty() &&
          (shown.find(head(wantLonger)) != npos || wantLonger.find(head(shown)) != npos))
        atPlace = static_cast<int>(i);
    }
    if (ShownLetters(page, n, kCompared) != want) continue;
    const int distance = std::abs(at - pick.nth);
    if (best < 0 || distance < bestDistance) {
      best = static_cast<int>(i);
      bestDistance = distance;
    }
  }
  return best >= 0 && bestDistance == 0 ? best : atPlace >= 0 ? atPlace : best;
}

}  // namespace

std::string ExampleAddress(const std::string& indexUrl, const std::string& href) {
  return NewsAddress(UrlResolver(indexUrl).Resolve(AttributeUrl(href)));
}

HeadlineMarkers ProposeHeadline(const std::string& article, const ElementPick& pick) {
  HeadlineMarkers out;
  PageTree tree = ParseTree(article);
  const int picked = PickedNode(tree, article, pick);
  if (picked < 0) return out;
  auto nameOf = [&](std::size_t i) {
    const Node& n = tree.nodes[i];
    return n.explicitEnd ? NameOfText(article.substr(n.openEnd, n.contentEnd - n.openEnd)) : std::string();
  };
  const std::string name = nameOf(static_cast<std::size_t>(picked));
  if (name.empty()) return out;
  // The clicked element, the ones around it that hold just its text (a click on the link or
  // the word inside a heading), then the ones inside it that hold its whole text.
  std::vector<std::size_t> tries;
  for (int x = picked; x >= 0 && nameOf(static_cast<std::size_t>(x)) == name; x = tree.nodes[static_cast<std::size_t>(x)].parent)
    tries.push_back(static_cast<std::size_t>(x));
  for (std::size_t child = static_cast<std::size_t>(picked) + 1;
       child < tree.nodes.size() && tree.nodes[child].parent == static_cast<int>(child - 1) && nameOf(child) == name; ++child)
    tries.push_back(child);
  for (std::size_t i : tries) {
    std::vector<TitleChoice> found;
    AddElementMarkers(tree, article, i, name, kTitle, found);
    if (found.empty()) continue;
    out = {found.front().start, found.front().end, name};
    return out;
  }
  return out;
}

ElementPick HeadlineElement(const std::string& article, const std::string& start) {
  ElementPick out;
  if (start.empty()) return out;
  const std::size_t at = UpperWin1251(article).find(UpperWin1251(start));
  if (at == npos) return out;
  const std::size_t s = at + start.size();
  PageTree tree = ParseTree(article);
  int inner = -1;
  for (std::size_t i = 0; i < tree.nodes.size() && tree.nodes[i].begin < s; ++i)
    if (tree.nodes[i].openEnd <= s && tree.nodes[i].contentEnd != npos && tree.nodes[i].contentEnd > s &&
        tree.nodes[i].contentEnd > tree.nodes[i].openEnd)
      inner = static_cast<int>(i);
  if (inner < 0) return out;
  for (int x = inner; x >= 0; x = tree.nodes[static_cast<std::size_t>(x)].parent)
    if (IsOneOf(tree.nodes[static_cast<std::size_t>(x)].name, {"head", "title"})) return out;
  out.tag = LowerName(tree.nodes[static_cast<std::size_t>(inner)].name);
  out.nth = 0;
  for (int i = 0; i < inner; ++i)
    if (LowerName(tree.nodes[static_cast<std::size_t>(i)].name) == out.tag) ++out.nth;
  out.text = NameOfText(article.substr(tree.nodes[static_cast<std::size_t>(inner)].openEnd,
                                       tree.nodes[static_cast<std::size_t>(inner)].contentEnd -
                                           tree.nodes[static_cast<std::size_t>(inner)].openEnd));
  return out;
}

ElementPick CutElement(const std::string& article, const std::vector<IndexEdit>& cut) {
  ElementPick out;
  if (cut.empty()) return out;
  const std::string& kept = cut.front().replace;  // ends with the kept element's start tag
  PageTree tree = ParseTree(article);
  std::map<std::string, int> seen;
  for (const Node& n : tree.nodes) {
    const int nth = seen[LowerName(n.name)]++;
    const std::size_t size = n.openEnd - n.begin;
    if (size == 0 || size > kept.size() || kept.compare(kept.size() - size, size, article, n.begin, size) != 0) continue;
    out.tag = LowerName(n.name);
    out.nth = nth;
    return out;
  }
  return out;
}

std::string CutArticle(const std::string& article, const std::vector<IndexEdit>& cut) {
  std::string page = article;
  for (const IndexEdit& e : cut) FindFragment(page, e.find, e.replace, 999, false);
  return page;
}

std::vector<IndexEdit> ProposeTextCut(const std::string& article, const ElementPick& pick) {
  PageTree tree = ParseTree(article);
  int picked = PickedNode(tree, article, pick);
  auto text = [&](std::size_t from, std::size_t to) { return article.substr(from, to - from); };
  // A click on a paragraph means the text it stands in: the nearest block that holds it and
  // whose start tag is the first of its kind in the page, so a cut from the page's start to
  // it finds it on later articles too.
  for (int x = picked; x >= 0; x = tree.nodes[static_cast<std::size_t>(x)].parent) {
    const Node& n = tree.nodes[static_cast<std::size_t>(x)];
    if (IsOneOf(n.name, {"body", "html"})) break;
    if (!n.explicitEnd || !IsOneOf(n.name, {"div", "article", "section", "main", "td"})) continue;
    const std::string open = text(n.begin, n.openEnd);
    if (open.find(' ') == npos || !StableMarker(open) || !SurvivesCleanup(open) || FindText(article, open) != n.begin)
      continue;
    std::vector<IndexEdit> cut;
    std::size_t body = npos;
    for (const Node& b : tree.nodes)
      if (EqualsLower(b.name, "body")) {
        body = b.begin;
        break;
      }
    if (body != npos && body < n.begin) cut.push_back({text(body, body + 5) + "*" + open, text(body, body + 5) + ">" + open});
    else cut.push_back({"*" + open, open});
    const std::string head = CutArticle(article, cut);
    // The end: a tag after the text that does not stand inside it, up to the page's end.
    const std::size_t textEnd = FindText(head, open) + (n.end - n.begin);
    std::size_t closeBody = npos;
    for (std::string_view c : {"</body>", "</BODY>", "</Body>"})
      if (std::size_t at = FindText(head, c, textEnd); at != npos) closeBody = std::min(closeBody, at);
    const std::string tail = closeBody == npos ? std::string() : head.substr(closeBody, 7);
    auto after = std::upper_bound(tree.tags.begin(), tree.tags.end(), std::make_pair(n.end - 1, npos));
    for (bool attributes : {true, false})
      for (auto tag = after; tag != tree.tags.end() && tag - after < 400; ++tag) {
        const std::string t = text(tag->first, tag->second);
        if (t.size() < 3 || t[1] == '/' || (attributes && t.find(' ') == npos) || !StableMarker(t) ||
            !SurvivesCleanup(t))
          continue;
        const std::size_t at = FindText(head, t);
        if (at == npos || at < textEnd || (closeBody != npos && at >= closeBody)) continue;
        std::vector<IndexEdit> whole = cut;
        whole.push_back({t + "*" + tail, tail});
        if (CutArticle(article, whole).find(text(n.begin, n.end)) == npos) continue;
        return whole;
      }
    if (CutArticle(article, cut).find(text(n.begin, n.end)) != npos) return cut;  // nothing after it to cut
  }
  return {};
}

}  // namespace skimlet
