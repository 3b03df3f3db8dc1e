#include "page/Discovery.h"

#include <bit>
#include <filesystem>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

#include "page/Html.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "platform/Url.h"

namespace skimlet {

namespace {

constexpr std::string_view kLinePrefix = "<!-- SkimletAttLocal:";
constexpr std::string_view kUrlMark = " SkimletAttURL:";
constexpr std::string_view kLineEnd = " -->";
constexpr std::size_t kStopCheckTags = 1024;

bool OneOf(std::string_view ext, std::initializer_list<std::string_view> list) {
  for (std::string_view e : list)
    if (ext == e) return true;
  return false;
}

bool IsPictureExtension(std::string_view ext) {
  return OneOf(ext, {"gif", "jpg", "jpeg", "png", "bmp", "pcx", "webp", "svg", "avif"});
}

bool IsFontExtension(std::string_view ext) { return OneOf(ext, {"woff", "woff2", "ttf", "otf", "eot"}); }

// Texts met while reading one page, each with its number in the order first added: open
// addressing over one buffer that holds the texts one after another, so a page of a
// hundred thousand addresses costs no allocation per address.
class TextIndex {
 public:
  static constexpr std::size_t kNone = std::string_view::npos;
  explicit TextIndex(std::size_t expected) { Rehash(std::bit_ceil(expected * 2 + 16)); }
  // The number of `text`, added when new; `added` tells which.
  std::size_t Add(std::string_view text, bool& added) {
    if ((entries_.size() + 1) * 2 > slots_.size()) Rehash(slots_.size() * 2);
    const std::uint64_t hash = std::hash<std::string_view>{}(text);
    std::size_t i = hash & (slots_.size() - 1);
    for (; slots_[i] != 0; i = (i + 1) & (slots_.size() - 1)) {
      const Entry& e = entries_[slots_[i] - 1];
      if (e.hash == hash && std::string_view(arena_).substr(e.offset, e.length) == text) {
        added = false;
        return slots_[i] - 1;
      }
    }
    entries_.push_back({hash, arena_.size(), text.size()});
    arena_ += text;
    slots_[i] = entries_.size();
    added = true;
    return entries_.size() - 1;
  }
  std::size_t Find(std::string_view text) const {
    const std::uint64_t hash = std::hash<std::string_view>{}(text);
    for (std::size_t i = hash & (slots_.size() - 1); slots_[i] != 0; i = (i + 1) & (slots_.size() - 1)) {
      const Entry& e = entries_[slots_[i] - 1];
      if (e.hash == hash && std::string_view(arena_).substr(e.offset, e.length) == text) return slots_[i] - 1;
    }
    return kNone;
  }

 private:
  struct Entry {
    std::uint64_t hash;
    std::size_t offset, length;
  };
  void Rehash(std::size_t size) {
    slots_.assign(size, 0);
    for (std::size_t n = 0; n < entries_.size(); ++n) {
      std::size_t i = entries_[n].hash & (size - 1);
      while (slots_[i] != 0) i = (i + 1) & (size - 1);
      slots_[i] = n + 1;
    }
  }
  std::string arena_;
  std::vector<Entry> entries_;
  std::vector<std::size_t> slots_;  // entry number + 1; 0 is free
};

// What a reference must end in to be fetched.
enum class Wanted { kNothing, kPicture, kStyleSheet, kStyleRef };

Wanted WantedBy(const HtmlAttribute& a, UrlAttribute kind) {
  if (kind == UrlAttribute::kSrcset) return Wanted::kPicture;
  if (kind != UrlAttribute::kSingle) return Wanted::kNothing;
  if (a.NameIs("href")) return Wanted::kStyleSheet;
  if (a.NameIs("src") || a.NameIs("poster") || a.NameIs("background") || a.NameIs("lowsrc") || IsLazySource(a.name))
    return Wanted::kPicture;
  return Wanted::kNothing;
}

bool Accepted(Wanted wanted, const std::string& ext) {
  switch (wanted) {
    case Wanted::kPicture: return IsPictureExtension(ext);
    case Wanted::kStyleSheet: return ext == "css";
    case Wanted::kStyleRef: return IsPictureExtension(ext) || IsFontExtension(ext) || ext == "css";
    case Wanted::kNothing: break;
  }
  return false;
}

// The host of an absolute address, lower case, without user, port or a leading "www.".
std::string HostOf(std::string_view url) {
  std::size_t scheme = url.find("://");
  if (scheme == std::string_view::npos) return {};
  std::string_view rest = url.substr(scheme + 3);
  rest = rest.substr(0, rest.find_first_of("/?#"));
  if (std::size_t at = rest.rfind('@'); at != std::string_view::npos) rest = rest.substr(at + 1);
  if (!rest.starts_with('[')) rest = rest.substr(0, rest.find(':'));
  std::string host(rest);
  for (char& c : host)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  if (host.starts_with("www.")) host.erase(0, 4);
  return host;
}

// The article's own site or one of its subdomains.
bool FirstParty(std::string_view url, const std::string& siteHost) {
  if (url.find("://") == std::string_view::npos && !url.starts_with("//")) return true;  // relative
  if (siteHost.empty()) return false;
  const std::string host = HostOf(url);
  return host == siteHost || (host.size() > siteHost.size() && host.ends_with(siteHost) &&
                              host[host.size() - siteHost.size() - 1] == '.');
}

// The extension a reference is judged by. A query behind the path's extension is passed over
// on the site's own addresses (style.min.css?ver=6.1); elsewhere it stays part of it, so that
// counters and trackers are not fetched.
std::string TakenExtension(std::string_view address, std::string_view absolute, const std::string& siteHost) {
  const std::size_t query = address.find('?');
  if (query != std::string_view::npos && address.find('#') > query && FirstParty(absolute, siteHost))
    return UrlExtension(address.substr(0, query));
  return UrlExtension(address);
}

// A reference that already names a local copy.
bool IsLocalReference(std::string_view address) {
  return address.starts_with("Attachment/") && IsLocalAttachmentName(address.substr(11));
}

// The address as a block line holds it: no blank (readers stop there) and nothing that
// would end the comment early.
std::string BlockUrl(std::string_view url) {
  auto escape = [](unsigned char c) { return c <= 0x20 || c == 0x7F || c == '>'; };
  bool any = false;
  for (unsigned char c : url) any |= escape(c);
  return any ? PercentEscape(url, escape) : std::string(url);
}

void AppendLine(std::string& out, std::string_view name, std::string_view url) {
  out += kLinePrefix;
  out += name;
  out += kUrlMark;
  out += url;
  out += kLineEnd;
  out += "\n\r";
}

// The targets of " url=" in the page (a refresh's destination is not a picture of it).
std::unordered_set<std::string_view> RefreshTargets(std::string_view page) {
  std::unordered_set<std::string_view> targets;
  for (std::size_t at = FindText(page, " url="); at != std::string_view::npos; at = FindText(page, " url=", at + 5)) {
    std::size_t begin = at + 5;
    std::size_t end = page.find_first_of("\"' >;", begin);
    targets.insert(page.substr(begin, (end == std::string_view::npos ? page.size() : end) - begin));
  }
  return targets;
}

std::string_view ValueOf(std::string_view html, const HtmlAttribute& a) {
  return html.substr(a.valueBegin, a.valueEnd - a.valueBegin);
}


constexpr std::string_view kSheetRecord = "\n/* Skimlet\n";

bool IsIdentChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

// The addresses of a style sheet: url(...) values and the strings of @import rules, as
// spans of the text; comments and other strings are passed over.
std::vector<std::pair<std::size_t, std::size_t>> CssReferences(std::string_view css) {
  std::vector<std::pair<std::size_t, std::size_t>> refs;
  const std::size_t n = css.size();
  auto skipBlanks = [&](std::size_t p) {
    while (p < n && (css[p] == ' ' || css[p] == '\t' || css[p] == '\n' || css[p] == '\r' || css[p] == '\f')) ++p;
    return p;
  };
  // A quoted string starting at p: its inside, and the position behind it (n when unclosed).
  auto quoted = [&](std::size_t p, std::size_t& after) {
    const char quote = css[p];
    std::size_t e = p + 1;
    while (e < n && css[e] != quote && css[e] != '\n') e += css[e] == '\\' ? 2 : 1;
    after = e < n ? e + 1 : n;
    return std::pair{p + 1, std::min(e, n)};
  };
  for (std::size_t i = 0; i < n;) {
    const char c = css[i];
    if (c == '/' && i + 1 < n && css[i + 1] == '*') {
      std::size_t close = css.find("*/", i + 2);
      i = close == std::string_view::npos ? n : close + 2;
    } else if (c == '"' || c == '\'') {
      quoted(i, i);
    } else if ((c == 'u' || c == 'U') && EqualsLower(css.substr(i, 4), "url(") && (i == 0 || !IsIdentChar(css[i - 1]))) {
      std::size_t p = skipBlanks(i + 4);
      if (p < n && (css[p] == '"' || css[p] == '\'')) {
        refs.push_back(quoted(p, i));
      } else {
        std::size_t close = css.find(')', p);
        if (close == std::string_view::npos) break;
        std::size_t e = close;
        while (e > p && (css[e - 1] == ' ' || css[e - 1] == '\t' || css[e - 1] == '\n' || css[e - 1] == '\r')) --e;
        refs.push_back({p, e});
        i = close + 1;
      }
    } else if (c == '@' && EqualsLower(css.substr(i, 7), "@import")) {
      std::size_t p = skipBlanks(i + 7);
      if (p < n && (css[p] == '"' || css[p] == '\'')) refs.push_back(quoted(p, i));
      else i = p;
    } else {
      ++i;
    }
  }
  return refs;
}

// The address of a url() or @import span of style text inside an HTML page: references
// decoded (a style attribute may write its quotes as &quot;), quotes and blanks trimmed.
std::string InlineCssAddress(std::string_view span) {
  std::string address = AttributeUrl(span);
  while (!address.empty() && (address.front() == '"' || address.front() == '\'')) address.erase(0, 1);
  while (!address.empty() && (address.back() == '"' || address.back() == '\'')) address.pop_back();
  return address;
}

// The url() and @import spans of the style text in [begin, end) of a page (a <style>
// element's text or a style attribute's value), as positions in the page.
template <class Visit>
void ForEachCssSpan(std::string_view page, std::size_t begin, std::size_t end, Visit visit) {
  for (const auto& [b, e] : CssReferences(page.substr(begin, end - begin))) visit(begin + b, begin + e);
}

// Where a tag holds style text: its <style> element's text and its style attribute.
template <class Visit>
void ForEachStyleText(const HtmlTag& tag, Visit visit) {
  if (tag.NameIs("style") && tag.rawTextEnd > tag.end) visit(tag.end, tag.rawTextEnd);
  for (const HtmlAttribute& a : tag.attributes)
    if (a.hasValue && a.NameIs("style")) visit(a.valueBegin, a.valueEnd);
}

// Local names of style sheet parts, shared by every sheet of one Attachment folder: a font
// or an imported sheet that several sheets use is fetched once, and sheets that import each
// other end.
class SheetNames {
 public:
  // The name for `url` in `dir`, made the first time it is asked for.
  std::string NameFor(const std::string& dir, const std::string& url, std::string_view pathPart) {
    std::lock_guard lock(mutex_);
    if (names_.size() > 100000) names_.clear();
    auto [it, inserted] = names_.try_emplace(dir + '\n' + url);
    if (inserted) {
      do {
        it->second = MakeLocalName(rng_, pathPart);
      } while (FileExists(dir + it->second));
    }
    return it->second;
  }
  void Remember(const std::string& dir, const std::string& url, const std::string& name) {
    std::lock_guard lock(mutex_);
    names_.try_emplace(dir + '\n' + url, name);
  }

 private:
  std::mutex mutex_;
  std::mt19937 rng_{std::random_device{}()};
  std::unordered_map<std::string, std::string> names_;
};

SheetNames& SheetNameTable() {
  static SheetNames table;
  return table;
}

}  // namespace

std::string UrlExtension(std::string_view url) {
  std::size_t dot = url.rfind('.');
  std::string ext(dot == std::string_view::npos ? url : url.substr(dot + 1));
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return ext;
}

namespace {

constexpr std::uint64_t kLocalNumbers = 1000000000000000ull;  // 15 digits

std::uint64_t LocalNumber(std::mt19937& rng) {
  return std::uniform_int_distribution<std::uint64_t>(0, kLocalNumbers - 1)(rng);
}

std::string LocalName(std::uint64_t number, std::string_view url) {
  std::string name(15, '0');
  for (int i = 14; i >= 0; --i, number /= 10) name[i] = static_cast<char>('0' + number % 10);
  return name + "." + UrlExtension(url);
}

// The number of a local name ("012345678901234.gif"), or kLocalNumbers.
std::uint64_t NumberOf(std::string_view name) {
  if (name.size() < 16 || name[15] != '.') return kLocalNumbers;
  std::uint64_t n = 0;
  for (std::size_t i = 0; i < 15; ++i) {
    if (name[i] < '0' || name[i] > '9') return kLocalNumbers;
    n = n * 10 + static_cast<std::uint64_t>(name[i] - '0');
  }
  return n;
}

// Local numbers in use: open addressing, as for the texts of a page.
class NumberSet {
 public:
  explicit NumberSet(std::size_t expected) : slots_(std::bit_ceil(expected * 2 + 16), 0) {}
  bool Insert(std::uint64_t number) {  // true when new
    if ((count_ + 1) * 2 > slots_.size()) {
      std::vector<std::uint64_t> old(slots_.size() * 2, 0);
      old.swap(slots_);
      count_ = 0;
      for (std::uint64_t v : old)
        if (v != 0) Insert(v - 1);
    }
    std::size_t i = Mix(number) & (slots_.size() - 1);
    for (; slots_[i] != 0; i = (i + 1) & (slots_.size() - 1))
      if (slots_[i] == number + 1) return false;
    slots_[i] = number + 1;
    ++count_;
    return true;
  }

 private:
  static std::uint64_t Mix(std::uint64_t x) {
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdull;
    return x ^ (x >> 33);
  }
  std::vector<std::uint64_t> slots_;  // number + 1; 0 is free
  std::size_t count_ = 0;
};

// The numbers taken in a folder: two local names never share one, whatever their extensions.
NumberSet NumbersIn(const std::string& dir, std::size_t expected) {
  NumberSet numbers(expected);
  std::error_code ec;
  if (dir.empty() || !std::filesystem::is_directory(dir, ec)) return numbers;
  for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::uint64_t n = NumberOf(it->path().filename().string());
    if (n < kLocalNumbers) numbers.Insert(n);
  }
  return numbers;
}

}  // namespace

std::string MakeLocalName(std::mt19937& rng, std::string_view url) { return LocalName(LocalNumber(rng), url); }

bool IsLocalAttachmentName(std::string_view name) {
  if (name.size() < 17 || name[15] != '.') return false;
  for (std::size_t i = 0; i < 15; ++i)
    if (name[i] < '0' || name[i] > '9') return false;
  std::string_view ext = name.substr(16);
  return IsPictureExtension(ext) || ext == "css" || IsFontExtension(ext);
}

std::string AttachmentBlock(const std::vector<AttachmentPair>& pairs) {
  std::string block;
  for (const AttachmentPair& p : pairs) AppendLine(block, p.localName, p.url);
  return block + std::string(kDataEndMarker);
}

bool MarkAttachments(std::string& html, std::mt19937& rng, const std::string& attachmentDir,
                     const DiscoveryOptions& options) {
  const std::size_t headLength = options.headLength <= html.size() ? options.headLength : 0;
  const std::string_view head = std::string_view(html).substr(0, headLength);
  const std::string_view page = std::string_view(html).substr(headLength);

  // Sized for a page of pictures, so that the sets never grow while it is read.
  const std::size_t expected = page.size() / 64 + 16;
  TextIndex seen(expected);
  NumberSet numbers = NumbersIn(attachmentDir, expected);
  bool added = false;
  for (const AttachmentPair& p : ReadAttachmentPairs(head)) {
    numbers.Insert(NumberOf(p.localName));
    seen.Add(p.url, added);
  }
  const std::unordered_set<std::string_view> refresh = RefreshTargets(page);

  // Pictures are listed before style sheets, each in page order; the block shows the
  // one found last first. Lines are kept one after another, with where each ends.
  struct Lines {
    std::string text;
    std::vector<std::size_t> ends;
    void Add(std::string_view name, std::string_view url) {
      AppendLine(text, name, url);
      ends.push_back(text.size());
    }
    void AppendNewestFirst(std::string& out) const {
      for (std::size_t i = ends.size(); i-- > 0;) {
        const std::size_t begin = i == 0 ? 0 : ends[i - 1];
        out.append(text, begin, ends[i] - begin);
      }
    }
  } pictures, sheets;
  TextEdits edits;
  const std::string siteHost = options.resolver ? HostOf(options.resolver->Base()) : std::string();
  auto considerAddress = [&](const std::string& address, Wanted wanted) {
    if (address.empty() || IsLocalReference(address)) return;
    std::string ext = UrlExtension(address);
    std::string resolved;
    if (!Accepted(wanted, ext)) {
      // Only a query behind a known extension can still make it one of ours.
      const std::size_t query = address.find('?');
      if (query == std::string::npos || !Accepted(wanted, UrlExtension(std::string_view(address).substr(0, query))))
        return;
      resolved = options.resolver ? options.resolver->ResolveCleaned(address) : address;
      ext = TakenExtension(address, resolved, siteHost);
      if (!Accepted(wanted, ext)) return;
    } else {
      resolved = options.resolver ? options.resolver->ResolveCleaned(address) : address;
    }
    std::string url = BlockUrl(resolved);
    if (url.empty() || (seen.Add(url, added), !added)) return;
    std::uint64_t number;
    do {
      number = LocalNumber(rng);
    } while (!numbers.Insert(number));
    const bool sheet = wanted == Wanted::kStyleSheet || (wanted == Wanted::kStyleRef && ext == "css");
    (sheet ? sheets : pictures).Add(LocalName(number, "." + ext), url);
  };
  auto consider = [&](std::string_view raw, Wanted wanted) { considerAddress(AttributeUrl(raw), wanted); };
  auto considerCss = [&](std::size_t begin, std::size_t end) {
    const std::string address = InlineCssAddress(page.substr(begin, end - begin));
    if (address.empty() || address[0] == '#' || (HasScheme(address) && !IsHttpUrl(address))) return;
    considerAddress(address, Wanted::kStyleRef);
  };

  HtmlTokenizer tokens(page);
  HtmlTag tag;
  for (std::size_t count = 0; tokens.Next(tag); ++count) {
    if (options.stop && count % kStopCheckTags == 0 && *options.stop) return false;
    if (tag.closing) continue;
    ForEachStyleText(tag, [&](std::size_t b, std::size_t e) { ForEachCssSpan(page, b, e, considerCss); });
    // A lazy picture's src is a placeholder that the saved page will not show.
    bool lazy = false;
    for (const HtmlAttribute& a : tag.attributes)
      lazy = lazy || (a.hasValue && IsLazySource(a.name) &&
                      Accepted(Wanted::kPicture, UrlExtension(AttributeUrl(ValueOf(page, a)))));
    for (const HtmlAttribute& a : tag.attributes) {
      if (!a.hasValue) continue;
      if (a.NameIs("src") || a.NameIs("href")) {
        std::string upper = UpperWin1251(a.name);
        if (upper != a.name) edits.Replace(a.begin, a.begin + a.name.size(), std::move(upper));
      }
      const UrlAttribute kind = UrlAttributeKind(a.name);
      const Wanted wanted = WantedBy(a, kind);
      if (wanted == Wanted::kNothing || (lazy && a.NameIs("src"))) continue;
      const std::string_view raw = ValueOf(page, a);
      if (kind == UrlAttribute::kSrcset) {
        for (const SrcsetCandidate& c : SrcsetCandidates(raw)) consider(raw.substr(c.begin, c.end - c.begin), wanted);
      } else if (!refresh.count(raw)) {
        consider(raw, wanted);
      }
    }
  }
  std::string out;
  out.reserve(sheets.text.size() + pictures.text.size() + headLength + page.size() + kDataEndMarker.size() + 64);
  sheets.AppendNewestFirst(out);
  pictures.AppendNewestFirst(out);
  out += headLength > 0 ? head : kDataEndMarker;
  out += edits.Apply(page);
  html = std::move(out);
  return true;
}

std::vector<AttachmentPair> ReadAttachmentPairs(std::string_view text) {
  static constexpr std::string_view kLocal = "SkimletAttLocal:", kUrl = "SkimletAttURL:";
  std::size_t end = text.find(kDataEnd);
  std::string_view head = end == std::string_view::npos ? text.substr(0, kDataEnd.size())
                                                        : text.substr(0, end + kDataEnd.size());
  std::vector<AttachmentPair> pairs;
  std::size_t pos = 0;
  while (true) {
    std::size_t l = head.find(kLocal, pos);
    if (l == std::string_view::npos) break;
    std::size_t nameStart = l + kLocal.size();
    std::size_t nameEnd = head.find(' ', nameStart);
    if (nameEnd == std::string_view::npos) break;
    std::size_t u = head.find(kUrl, nameStart);
    if (u == std::string_view::npos) break;
    std::size_t urlStart = u + kUrl.size();
    std::size_t urlEnd = head.find(' ', urlStart);
    if (urlEnd == std::string_view::npos) break;
    pairs.push_back({std::string(head.substr(nameStart, nameEnd - nameStart)),
                     std::string(head.substr(urlStart, urlEnd - urlStart))});
    pos = urlStart;
  }
  return pairs;
}

void LocalizeAttachments(std::string& html, UrlResolver* resolver) {
  std::size_t end = html.find(kDataEnd);
  if (end == std::string::npos) return;
  const std::size_t split = end + kDataEnd.size();
  // The local copy of every address of the block, the first pair of an address counting.
  std::vector<AttachmentPair> pairs = ReadAttachmentPairs(html);
  TextIndex addresses(pairs.size());
  std::vector<std::string> local;
  for (const AttachmentPair& pair : pairs) {
    bool added = false;
    addresses.Add(pair.url, added);
    if (added) local.push_back("Attachment/" + pair.localName);
  }
  auto lookup = [&](const std::string& address) -> const std::string* {
    if (address.empty()) return nullptr;
    std::size_t i = addresses.Find(BlockUrl(resolver ? resolver->ResolveCleaned(address) : address));
    return i == TextIndex::kNone ? nullptr : &local[i];
  };
  auto localCopy = [&](std::string_view raw) { return lookup(AttributeUrl(raw)); };
  auto srcsetMap = [&](const std::string& address) {
    const std::string* copy = lookup(address);
    return copy ? *copy : address;
  };

  const std::string_view page = std::string_view(html).substr(split);
  TextEdits edits;
  HtmlTokenizer tokens(page);
  HtmlTag tag;
  while (tokens.Next(tag)) {
    if (tag.closing) continue;
    if (tag.NameIs("base")) {
      edits.Replace(tag.begin, tag.end, "");
      continue;
    }
    ForEachStyleText(tag, [&](std::size_t b, std::size_t e) {
      ForEachCssSpan(page, b, e, [&](std::size_t begin, std::size_t end) {
        if (const std::string* copy = lookup(InlineCssAddress(page.substr(begin, end - begin))))
          edits.Replace(begin, end, *copy);
      });
    });
    // A lazy picture: the real address is in a data- attribute, src holds a placeholder.
    const std::string* lazy = nullptr;
    bool hasSrc = false, hasSrcset = false;
    for (const HtmlAttribute& a : tag.attributes) {
      hasSrc = hasSrc || a.NameIs("src");
      hasSrcset = hasSrcset || a.NameIs("srcset");
      if (!lazy && a.hasValue && IsLazySource(a.name)) lazy = localCopy(ValueOf(page, a));
    }
    bool srcGiven = false;
    for (const HtmlAttribute& a : tag.attributes) {
      if (!a.hasValue) continue;
      const UrlAttribute kind = UrlAttributeKind(a.name);
      if (kind == UrlAttribute::kNone) continue;
      const std::string_view raw = ValueOf(page, a);
      if (kind == UrlAttribute::kSrcset) {
        std::string text = MapSrcset(raw, a.quote, srcsetMap);
        if (text != raw) {
          if (!hasSrcset && IsLazySrcset(a.name)) {  // lets the browser use it without a script
            edits.Replace(a.begin, a.begin + a.name.size(), "srcset");
            hasSrcset = true;
          }
          edits.Replace(a.valueBegin, a.valueEnd, std::move(text));
        }
        continue;
      }
      const std::string* copy = a.NameIs("src") && lazy ? lazy : localCopy(raw);
      if (!copy) continue;
      if (!hasSrc && !srcGiven && copy == lazy && tag.NameIs("img")) {
        edits.Replace(a.begin, a.begin + a.name.size(), "src");
        srcGiven = true;
      }
      edits.Replace(a.valueBegin, a.valueEnd, AttributeValueText(*copy, a.quote));
    }
  }
  if (edits.Empty()) return;
  std::string out = html.substr(0, split);
  out += edits.Apply(page);
  html = std::move(out);
}

int BlankRemoteSources(std::string& html, std::string_view target) {
  std::size_t end = html.find(kDataEnd);
  const std::size_t split = end == std::string::npos ? 0 : end + kDataEnd.size();
  const std::string_view page = std::string_view(html).substr(split);
  auto remote = [](std::string_view address) { return IsHttpUrl(address) || address.starts_with("//"); };
  int replaced = 0;
  const std::string replacement(target);
  TextEdits edits;
  HtmlTokenizer tokens(page);
  HtmlTag tag;
  while (tokens.Next(tag)) {
    if (tag.closing) continue;
    for (const HtmlAttribute& a : tag.attributes) {
      if (!a.hasValue) continue;
      const std::string_view raw = ValueOf(page, a);
      if (a.NameIs("src")) {
        if (!remote(AttributeUrl(raw))) continue;
        // "#" is written quoted even where the source was not, as the blanked form has always been.
        edits.Replace(a.valueBegin, a.valueEnd,
                      a.quote == 0 && replacement == "#" ? std::string("\"#\"") : AttributeValueText(replacement, a.quote));
        ++replaced;
      } else if (a.NameIs("srcset")) {
        int before = replaced;
        std::string text = MapSrcset(raw, a.quote, [&](const std::string& address) {
          if (!remote(address)) return address;
          ++replaced;
          return replacement;
        });
        if (replaced != before) edits.Replace(a.valueBegin, a.valueEnd, std::move(text));
      }
    }
  }
  if (replaced == 0) return 0;
  std::string out = html.substr(0, split);
  out += edits.Apply(page);
  html = std::move(out);
  return replaced;
}

std::string NewsFileAttachmentBlock(std::string_view file, const std::string& attachmentDir) {
  std::vector<AttachmentPair> pairs;
  auto block = [&] { return AttachmentBlock(pairs); };
  if (!file.starts_with("<!-- The file created from Skimlet")) return block();
  std::size_t pos = 0;
  auto nextLine = [&](std::string_view& line) {
    if (pos >= file.size()) return false;
    std::size_t eol = file.find('\n', pos);
    if (eol == std::string_view::npos) eol = file.size();
    line = file.substr(pos, eol - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    pos = eol + 1;
    return true;
  };
  std::string_view line;
  while (nextLine(line) && line != "-->") {
  }
  std::vector<AttachmentPair> found;
  bool closed = false;
  while (nextLine(line)) {
    if (line == "<!-- Skimlet DataEnd -->") {
      closed = true;
      break;
    }
    if (!line.starts_with(kLinePrefix) || !line.ends_with(kLineEnd)) break;
    std::string_view rest = line.substr(kLinePrefix.size(), line.size() - kLinePrefix.size() - kLineEnd.size());
    std::size_t mark = rest.find(kUrlMark);
    if (mark == std::string_view::npos) break;
    std::string_view name = rest.substr(0, mark), url = rest.substr(mark + kUrlMark.size());
    if (url.empty() || url.find(' ') != std::string_view::npos) break;
    if (IsLocalAttachmentName(name)) found.push_back({std::string(name), std::string(url)});
  }
  if (!closed) return block();
  pairs = std::move(found);
  // What the news's style sheets (and the sheets they import) refer to, for those stored already.
  std::unordered_set<std::string> visited;
  for (std::size_t i = 0; i < pairs.size() && i < 10000; ++i) {
    if (!pairs[i].localName.ends_with(".css") || !visited.insert(pairs[i].localName).second) continue;
    std::string sheet;
    if (!ReadWholeFile(JoinPath(attachmentDir, pairs[i].localName), sheet)) continue;
    for (AttachmentPair& p : StyleSheetAttachments(sheet))
      if (IsLocalAttachmentName(p.localName)) pairs.push_back(std::move(p));
  }
  return block();
}

void GuardAttachmentBlock(std::string& html, std::string_view head) {
  if (!head.empty() && std::string_view(html).starts_with(head)) return;
  if (FindText(html, kDataEnd) != std::string::npos || FindText(html, "SkimletAttLocal:") != std::string::npos)
    html.insert(0, kDataEndMarker);
}

}  // namespace skimlet

namespace skimlet {

std::vector<AttachmentPair> StyleSheetAttachments(std::string_view sheet) {
  std::size_t at = sheet.rfind(kSheetRecord);
  if (at == std::string_view::npos) return {};
  return ReadAttachmentPairs(sheet.substr(at + kSheetRecord.size()));
}

std::vector<AttachmentPair> LocalizeStyleSheet(const std::string& path, const std::string& url) {
  std::string sheet;
  if (!ReadWholeFile(path, sheet)) return {};
  if (sheet.find(kSheetRecord) != std::string::npos) return StyleSheetAttachments(sheet);
  const std::string dir = path.substr(0, path.rfind('/') + 1);
  SheetNames& table = SheetNameTable();
  table.Remember(dir, BlockUrl(url), path.substr(dir.size()));
  UrlResolver resolver(url);
  if (!resolver.HasBase()) return {};
  const std::string sheetHost = HostOf(url);
  std::vector<AttachmentPair> pairs;
  std::unordered_set<std::string> listed;
  TextEdits edits;
  for (const auto& [begin, end] : CssReferences(sheet)) {
    const std::string address = CleanUrl(std::string_view(sheet).substr(begin, end - begin));
    if (address.empty() || address[0] == '#' || (HasScheme(address) && !IsHttpUrl(address))) continue;
    const std::string_view pathPart = std::string_view(address).substr(0, address.find_first_of("?#"));
    const std::string ext = UrlExtension(pathPart);
    if (!IsPictureExtension(ext) && !IsFontExtension(ext) && ext != "css") continue;
    const std::string absolute = BlockUrl(WithoutFragment(resolver.Resolve(address)));
    if (!IsHttpUrl(absolute) || absolute.find("*/") != std::string::npos) continue;
    // Another site's address with a query (a counter, a tracker) stays where it is.
    if (address.find('?') != std::string::npos && !FirstParty(absolute, sheetHost)) continue;
    const std::string name = table.NameFor(dir, absolute, pathPart);
    edits.Replace(begin, end, name);
    if (listed.insert(name).second) pairs.push_back({name, absolute});
  }
  if (pairs.empty()) return {};
  std::string text = edits.Apply(sheet);
  text += kSheetRecord;
  text += AttachmentBlock(pairs);
  text += "*/\n";
  if (!WriteFileAtomic(path, text, nullptr, false, false)) return {};
  return pairs;
}

}  // namespace skimlet
