#include "platform/Charset.h"

#include <iconv.h>

#include <cerrno>
#include <algorithm>
#include <cstddef>
#include <vector>

#include "platform/Text.h"

namespace skimlet {
namespace {

constexpr std::size_t kMetaWindow = 4096;

struct Span {
  std::size_t begin = 0;
  std::size_t end = 0;
};

// A charset declaration of a page: the name, and the whole <meta> tag it stands in.
struct Declaration {
  Span name;
  Span tag;
};

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }

bool IsCharsetChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c == '.' || c == ':' || c == '+';
}

bool StartsWithNoCase(std::string_view s, std::size_t pos, std::string_view word) {
  if (pos + word.size() > s.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i)
    if (Lower(s[pos + i]) != word[i]) return false;
  return true;
}

std::size_t FindNoCase(std::string_view s, std::string_view word, std::size_t from) {
  for (std::size_t i = from; i + word.size() <= s.size(); ++i)
    if (StartsWithNoCase(s, i, word)) return i;
  return std::string_view::npos;
}

// The name after "charset=" in a Content-Type value, quotes and blanks allowed around it.
bool FindCharsetParam(std::string_view s, Span& out) {
  for (std::size_t at = FindNoCase(s, "charset", 0); at != std::string_view::npos;
       at = FindNoCase(s, "charset", at + 1)) {
    std::size_t p = at + 7;
    while (p < s.size() && IsSpace(s[p])) ++p;
    if (p >= s.size() || s[p] != '=') continue;
    ++p;
    while (p < s.size() && (IsSpace(s[p]) || s[p] == '"' || s[p] == '\'')) ++p;
    std::size_t e = p;
    while (e < s.size() && IsCharsetChar(s[e])) ++e;
    if (e > p) {
      out = {p, e};
      return true;
    }
  }
  return false;
}

// Charset names inside the page: <meta charset=...> and the charset= of
// <meta http-equiv="Content-Type" content="...">, for tags starting in the first 4 KiB.
std::vector<Declaration> FindMetaDeclarations(std::string_view page) {
  std::vector<Declaration> found;
  std::size_t pos = 0;
  while (true) {
    std::size_t tag = FindNoCase(page, "<meta", pos);
    if (tag == std::string_view::npos || tag >= kMetaWindow) break;
    std::size_t p = tag + 5;
    pos = p;
    if (p < page.size() && !IsSpace(page[p]) && page[p] != '/' && page[p] != '>') continue;

    Span charsetAttr, contentAttr;
    bool hasCharset = false, hasContent = false, isContentType = false;
    while (p < page.size() && page[p] != '>') {
      if (IsSpace(page[p]) || page[p] == '/') {
        ++p;
        continue;
      }
      std::size_t nameBegin = p;
      while (p < page.size() && !IsSpace(page[p]) && page[p] != '=' && page[p] != '>' &&
             page[p] != '/')
        ++p;
      std::string name;
      for (std::size_t i = nameBegin; i < p; ++i) name += Lower(page[i]);
      while (p < page.size() && IsSpace(page[p])) ++p;
      Span value{p, p};
      if (p < page.size() && page[p] == '=') {
        ++p;
        while (p < page.size() && IsSpace(page[p])) ++p;
        if (p < page.size() && (page[p] == '"' || page[p] == '\'')) {
          char quote = page[p++];
          value.begin = p;
          while (p < page.size() && page[p] != quote) ++p;
          value.end = p;
          if (p < page.size()) ++p;
        } else {
          value.begin = p;
          while (p < page.size() && !IsSpace(page[p]) && page[p] != '>') ++p;
          value.end = p;
        }
      }
      std::string_view text = page.substr(value.begin, value.end - value.begin);
      if (name == "charset") {
        std::size_t b = 0;
        while (b < text.size() && IsSpace(text[b])) ++b;
        std::size_t e = b;
        while (e < text.size() && IsCharsetChar(text[e])) ++e;
        if (e > b) {
          charsetAttr = {value.begin + b, value.begin + e};
          hasCharset = true;
        }
      } else if (name == "http-equiv") {
        std::size_t b = 0, e = text.size();
        while (b < e && IsSpace(text[b])) ++b;
        while (e > b && IsSpace(text[e - 1])) --e;
        isContentType = e - b == 12 && StartsWithNoCase(text, b, "content-type");
      } else if (name == "content") {
        Span inner;
        if (FindCharsetParam(text, inner)) {
          contentAttr = {value.begin + inner.begin, value.begin + inner.end};
          hasContent = true;
        }
      }
    }
    Span whole{tag, p < page.size() ? p + 1 : p};
    if (hasCharset)
      found.push_back({charsetAttr, whole});
    else if (isContentType && hasContent)
      found.push_back({contentAttr, whole});
    pos = p;
  }
  return found;
}

std::string NormalizeCharset(std::string_view name) {
  std::string s;
  for (char c : name) s += Lower(c);
  if (s == "utf8") return "utf-8";
  if (s == "cp1251" || s == "win-1251" || s == "x-cp1251") return "windows-1251";
  if (s == "koi8r") return "koi8-r";
  return s;
}

// Length of the well-formed UTF-8 character at the start of `s` and its code point; 0 when
// the bytes there are not one (overlong forms and surrogates included).
std::size_t DecodeUtf8(std::string_view s, char32_t& cp) {
  auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  if (s.empty()) return 0;
  unsigned char c = b(0);
  std::size_t len;
  char32_t min;
  if (c < 0x80) {
    cp = c;
    return 1;
  } else if (c >= 0xC2 && c <= 0xDF) {
    len = 2, cp = c & 0x1F, min = 0x80;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3, cp = c & 0x0F, min = 0x800;
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4, cp = c & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (s.size() < len) return 0;
  for (std::size_t i = 1; i < len; ++i) {
    if ((b(i) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b(i) & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

bool AllAscii(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts as much of `in` as it can; stops at a sequence it cannot convert (and says so).
  bool Run(std::string_view& in, std::string& out) {
    char buffer[8192];
    while (!in.empty()) {
      char* src = const_cast<char*>(in.data());
      std::size_t srcLeft = in.size();
      char* dst = buffer;
      std::size_t dstLeft = sizeof buffer;
      std::size_t r = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
      int err = errno;
      out.append(buffer, static_cast<std::size_t>(dst - buffer));
      in.remove_prefix(in.size() - srcLeft);
      if (r != static_cast<std::size_t>(-1)) return true;
      if (err != E2BIG) return false;
    }
    return true;
  }

 private:
  iconv_t cd_;
};

// UTF-8 -> Windows-1251: characters without a form become "&#N;", bytes that are not UTF-8
// become '?'.
std::string Utf8ToCp1251Refs(std::string_view in) {
  if (AllAscii(in)) return std::string(in);
  std::string out;
  out.reserve(in.size());
  Iconv cv("WINDOWS-1251", "UTF-8");
  while (!in.empty()) {
    if (cv.ok() && cv.Run(in, out)) break;
    char32_t cp = 0;
    std::size_t len = DecodeUtf8(in, cp);
    if (len == 0) {
      out += '?';
      len = 1;
    } else if (!cv.ok() && cp < 0x80) {
      out += static_cast<char>(cp);
    } else {
      out += "&#" + std::to_string(static_cast<unsigned long>(cp)) + ";";
    }
    in.remove_prefix(len);
  }
  return out;
}

std::string Koi8rToCp1251Refs(std::string_view in) {
  if (AllAscii(in)) return std::string(in);
  std::string utf8;
  Iconv cv("UTF-8", "KOI8-R");
  if (!cv.ok() || !cv.Run(in, utf8)) return ConvertKoiToWin(in);  // every KOI8-R byte has a form
  return Utf8ToCp1251Refs(utf8);
}


// The value of encoding="..." in an XML prolog at `start`, or an empty span.
Span XmlPrologEncoding(std::string_view page, std::size_t start) {
  if (page.compare(start, 5, "<?xml") != 0) return {};
  std::size_t close = page.find("?>", start);
  if (close == std::string_view::npos) return {};
  std::size_t at = page.substr(0, close).find("encoding", start);
  if (at == std::string_view::npos) return {};
  std::size_t p = at + 8;
  while (p < close && IsSpace(page[p])) ++p;
  if (p >= close || page[p] != '=') return {};
  ++p;
  while (p < close && IsSpace(page[p])) ++p;
  if (p >= close || (page[p] != '"' && page[p] != '\'')) return {};
  std::size_t end = page.find(page[p], p + 1);
  if (end == std::string_view::npos || end > close) return {};
  return {p + 1, end};
}

// Behind the tag that starts at `tag`, or npos when it does not end.
std::size_t BehindTag(std::string_view page, std::size_t tag) {
  std::size_t close = page.find('>', tag);
  return close == std::string_view::npos ? std::string_view::npos : close + 1;
}

// Where a new <meta charset> goes: into <head>, else behind <html>, else behind the doctype
// or the XML prolog, else at the start.
std::size_t MetaInsertPosition(std::string_view page, std::size_t start) {
  for (std::string_view name : {"<head", "<html"}) {
    for (std::size_t at = FindNoCase(page, name, start); at != std::string_view::npos && at < kMetaWindow;
         at = FindNoCase(page, name, at + 1)) {
      char next = at + 5 < page.size() ? page[at + 5] : '\0';
      if (!IsSpace(next) && next != '>' && next != '/') continue;  // <header>, <htmlx>
      std::size_t behind = BehindTag(page, at);
      if (behind != std::string_view::npos) return behind;
    }
  }
  std::size_t p = start;
  if (page.compare(p, 5, "<?xml") == 0) p = BehindTag(page, p);
  while (p != std::string_view::npos && p < page.size() && IsSpace(page[p])) ++p;
  if (p != std::string_view::npos && page.compare(p, 2, "<!") == 0 && page.compare(p, 4, "<!--") != 0)
    p = BehindTag(page, p);
  return p == std::string_view::npos ? start : p;
}

constexpr std::string_view kDeclaration = "<meta charset=\"windows-1251\">";

}  // namespace

void DeclareWindows1251(std::string& page, std::size_t from) {
  if (from > page.size()) return;
  const std::string_view part = std::string_view(page).substr(from);
  if (!FindMetaDeclarations(part).empty()) return;
  page.insert(from + MetaInsertPosition(part, 0), kDeclaration);
}

std::string DeclaredCharset(std::string_view page, std::string_view contentTypeHeader) {
  Span span;
  if (FindCharsetParam(contentTypeHeader, span))
    return NormalizeCharset(contentTypeHeader.substr(span.begin, span.end - span.begin));
  std::vector<Declaration> meta = FindMetaDeclarations(page);
  if (meta.empty()) return {};
  return NormalizeCharset(page.substr(meta[0].name.begin, meta[0].name.end - meta[0].name.begin));
}

bool PageToWin1251(std::string& page, std::string_view contentTypeHeader, bool* undeclared) {
  if (undeclared) *undeclared = false;
  const std::string declared = DeclaredCharset(page, contentTypeHeader);
  const bool bom = page.size() >= 3 && page.compare(0, 3, "\xEF\xBB\xBF") == 0;
  bool koi = false, convert = true;
  if (declared == "koi8-r") {
    koi = true;
  } else if (declared == "windows-1251") {
    convert = false;  // only its declarations are put right
  } else if (declared.empty()) {
    if (AllAscii(page) || !IsValidUtf8(page)) return false;
  } else if (declared != "utf-8") {
    return false;
  }
  auto recode = [koi, convert](std::string_view piece) {
    return !convert ? std::string(piece) : koi ? Koi8rToCp1251Refs(piece) : Utf8ToCp1251Refs(piece);
  };

  // The page as saved declares windows-1251 exactly once: the first <meta> declaration
  // says so, later ones go, an XML prolog says so too, and a page that had none (its
  // charset came from the HTTP header, or was recognised) gets one. The declarations are
  // ASCII, so recoding the pieces around them recodes the whole.
  struct Edit {
    std::size_t begin, end;
    std::string text;
  };
  std::vector<Edit> edits;
  const std::string_view in(page);
  const std::size_t start = (!koi && bom && convert) ? 3 : 0;
  const std::vector<Declaration> meta = FindMetaDeclarations(in);
  for (std::size_t i = 0; i < meta.size(); ++i) {
    if (i == 0) edits.push_back({meta[i].name.begin, meta[i].name.end, "windows-1251"});
    else edits.push_back({meta[i].tag.begin, meta[i].tag.end, ""});
  }
  const Span prolog = XmlPrologEncoding(in, start);
  if (prolog.end > prolog.begin) edits.push_back({prolog.begin, prolog.end, "windows-1251"});
  if (meta.empty() && undeclared) *undeclared = true;
  else if (meta.empty()) edits.push_back({MetaInsertPosition(in, start), MetaInsertPosition(in, start),
                                          std::string(kDeclaration)});
  std::sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) { return a.begin < b.begin; });

  std::string out;
  out.reserve(page.size() + 32);
  std::size_t pos = start;
  for (const Edit& e : edits) {
    if (e.begin < pos) continue;
    out += recode(in.substr(pos, e.begin - pos));
    out += e.text;
    pos = e.end;
  }
  out += recode(in.substr(pos));
  page = std::move(out);
  return convert;
}

}  // namespace skimlet
