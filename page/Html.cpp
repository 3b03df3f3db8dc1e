#include "page/Html.h"

#include <algorithm>
#include <cstring>
#include <string.h>  // memmem
#include <iterator>

#include "platform/Text.h"
#include "platform/Url.h"

namespace skimlet {

namespace {

constexpr std::size_t kNone = std::string_view::npos;

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Elements whose content is text to a browser: no tags inside.
bool IsRawTextElement(std::string_view name) {
  for (std::string_view raw : {"script", "style", "textarea", "title", "xmp", "iframe", "noembed", "noframes"})
    if (EqualsLower(name, raw)) return true;
  return false;
}

std::size_t FindLower(std::string_view text, std::string_view lowerWord, std::size_t from) {
  if (lowerWord.empty()) return from;
  const char first = lowerWord[0];
  const char firstUpper = static_cast<char>(first >= 'a' && first <= 'z' ? first - 'a' + 'A' : first);
  for (std::size_t i = from; i + lowerWord.size() <= text.size(); ++i) {
    if (text[i] != first && text[i] != firstUpper) continue;
    if (EqualsLower(text.substr(i, lowerWord.size()), lowerWord)) return i;
  }
  return kNone;
}

struct NamedReference {
  const char* name;
  char32_t cp;
};

// The named references of HTML 4, and a few later ones that Russian pages use.
constexpr NamedReference kNamed[] = {
    {"AElig", 0x00C6}, {"Aacute", 0x00C1}, {"Acirc", 0x00C2}, {"Agrave", 0x00C0}, {"Alpha", 0x0391},
    {"Aring", 0x00C5}, {"Atilde", 0x00C3}, {"Auml", 0x00C4}, {"Beta", 0x0392}, {"Ccedil", 0x00C7},
    {"Chi", 0x03A7}, {"Dagger", 0x2021}, {"Delta", 0x0394}, {"ETH", 0x00D0}, {"Eacute", 0x00C9},
    {"Ecirc", 0x00CA}, {"Egrave", 0x00C8}, {"Epsilon", 0x0395}, {"Eta", 0x0397}, {"Euml", 0x00CB},
    {"Gamma", 0x0393}, {"Iacute", 0x00CD}, {"Icirc", 0x00CE}, {"Igrave", 0x00CC}, {"Iota", 0x0399},
    {"Iuml", 0x00CF}, {"Kappa", 0x039A}, {"Lambda", 0x039B}, {"Mu", 0x039C}, {"Ntilde", 0x00D1},
    {"Nu", 0x039D}, {"OElig", 0x0152}, {"Oacute", 0x00D3}, {"Ocirc", 0x00D4}, {"Ograve", 0x00D2},
    {"Omega", 0x03A9}, {"Omicron", 0x039F}, {"Oslash", 0x00D8}, {"Otilde", 0x00D5}, {"Ouml", 0x00D6},
    {"Phi", 0x03A6}, {"Pi", 0x03A0}, {"Prime", 0x2033}, {"Psi", 0x03A8}, {"Rho", 0x03A1}, {"Scaron", 0x0160},
    {"Sigma", 0x03A3}, {"THORN", 0x00DE}, {"Tau", 0x03A4}, {"Theta", 0x0398}, {"Uacute", 0x00DA},
    {"Ucirc", 0x00DB}, {"Ugrave", 0x00D9}, {"Upsilon", 0x03A5}, {"Uuml", 0x00DC}, {"Xi", 0x039E},
    {"Yacute", 0x00DD}, {"Yuml", 0x0178}, {"Zeta", 0x0396}, {"aacute", 0x00E1}, {"acirc", 0x00E2},
    {"acute", 0x00B4}, {"aelig", 0x00E6}, {"agrave", 0x00E0}, {"alefsym", 0x2135}, {"alpha", 0x03B1},
    {"amp", 0x0026}, {"and", 0x2227}, {"ang", 0x2220}, {"apos", 0x0027}, {"aring", 0x00E5}, {"asymp", 0x2248},
    {"atilde", 0x00E3}, {"auml", 0x00E4}, {"bdquo", 0x201E}, {"beta", 0x03B2}, {"brvbar", 0x00A6},
    {"bull", 0x2022}, {"cap", 0x2229}, {"ccedil", 0x00E7}, {"cedil", 0x00B8}, {"cent", 0x00A2},
    {"chi", 0x03C7}, {"circ", 0x02C6}, {"clubs", 0x2663}, {"cong", 0x2245}, {"copy", 0x00A9},
    {"crarr", 0x21B5}, {"cup", 0x222A}, {"curren", 0x00A4}, {"dArr", 0x21D3}, {"dagger", 0x2020},
    {"darr", 0x2193}, {"deg", 0x00B0}, {"delta", 0x03B4}, {"diams", 0x2666}, {"divide", 0x00F7},
    {"eacute", 0x00E9}, {"ecirc", 0x00EA}, {"egrave", 0x00E8}, {"empty", 0x2205}, {"emsp", 0x2003},
    {"ensp", 0x2002}, {"epsilon", 0x03B5}, {"equiv", 0x2261}, {"eta", 0x03B7}, {"eth", 0x00F0},
    {"euml", 0x00EB}, {"euro", 0x20AC}, {"exist", 0x2203}, {"fnof", 0x0192}, {"forall", 0x2200},
    {"frac12", 0x00BD}, {"frac14", 0x00BC}, {"frac34", 0x00BE}, {"frasl", 0x2044}, {"gamma", 0x03B3},
    {"ge", 0x2265}, {"gt", 0x003E}, {"hArr", 0x21D4}, {"harr", 0x2194}, {"hearts", 0x2665}, {"hellip", 0x2026},
    {"iacute", 0x00ED}, {"icirc", 0x00EE}, {"iexcl", 0x00A1}, {"igrave", 0x00EC}, {"image", 0x2111},
    {"infin", 0x221E}, {"int", 0x222B}, {"iota", 0x03B9}, {"iquest", 0x00BF}, {"isin", 0x2208},
    {"iuml", 0x00EF}, {"kappa", 0x03BA}, {"lArr", 0x21D0}, {"lambda", 0x03BB}, {"lang", 0x2329},
    {"laquo", 0x00AB}, {"larr", 0x2190}, {"lceil", 0x2308}, {"ldquo", 0x201C}, {"le", 0x2264},
    {"lfloor", 0x230A}, {"lowast", 0x2217}, {"loz", 0x25CA}, {"lrm", 0x200E}, {"lsaquo", 0x2039},
    {"lsquo", 0x2018}, {"lt", 0x003C}, {"macr", 0x00AF}, {"mdash", 0x2014}, {"micro", 0x00B5},
    {"middot", 0x00B7}, {"minus", 0x2212}, {"mu", 0x03BC}, {"nabla", 0x2207}, {"nbsp", 0x00A0},
    {"ndash", 0x2013}, {"ne", 0x2260}, {"ni", 0x220B}, {"not", 0x00AC}, {"notin", 0x2209}, {"nsub", 0x2284},
    {"ntilde", 0x00F1}, {"nu", 0x03BD}, {"numero", 0x2116}, {"oacute", 0x00F3}, {"ocirc", 0x00F4},
    {"oelig", 0x0153}, {"ograve", 0x00F2}, {"oline", 0x203E}, {"omega", 0x03C9}, {"omicron", 0x03BF},
    {"oplus", 0x2295}, {"or", 0x2228}, {"ordf", 0x00AA}, {"ordm", 0x00BA}, {"oslash", 0x00F8},
    {"otilde", 0x00F5}, {"otimes", 0x2297}, {"ouml", 0x00F6}, {"para", 0x00B6}, {"part", 0x2202},
    {"permil", 0x2030}, {"perp", 0x22A5}, {"phi", 0x03C6}, {"pi", 0x03C0}, {"piv", 0x03D6}, {"plusmn", 0x00B1},
    {"pound", 0x00A3}, {"prime", 0x2032}, {"prod", 0x220F}, {"prop", 0x221D}, {"psi", 0x03C8},
    {"quot", 0x0022}, {"rArr", 0x21D2}, {"radic", 0x221A}, {"rang", 0x232A}, {"raquo", 0x00BB},
    {"rarr", 0x2192}, {"rceil", 0x2309}, {"rdquo", 0x201D}, {"real", 0x211C}, {"reg", 0x00AE},
    {"rfloor", 0x230B}, {"rho", 0x03C1}, {"rlm", 0x200F}, {"rsaquo", 0x203A}, {"rsquo", 0x2019},
    {"rsquor", 0x2019}, {"sbquo", 0x201A}, {"scaron", 0x0161}, {"sdot", 0x22C5}, {"sect", 0x00A7},
    {"shy", 0x00AD}, {"sigma", 0x03C3}, {"sigmaf", 0x03C2}, {"sim", 0x223C}, {"spades", 0x2660},
    {"sub", 0x2282}, {"sube", 0x2286}, {"sum", 0x2211}, {"sup", 0x2283}, {"sup1", 0x00B9}, {"sup2", 0x00B2},
    {"sup3", 0x00B3}, {"supe", 0x2287}, {"szlig", 0x00DF}, {"tau", 0x03C4}, {"there4", 0x2234},
    {"theta", 0x03B8}, {"thetasym", 0x03D1}, {"thinsp", 0x2009}, {"thorn", 0x00FE}, {"tilde", 0x02DC},
    {"times", 0x00D7}, {"trade", 0x2122}, {"uArr", 0x21D1}, {"uacute", 0x00FA}, {"uarr", 0x2191},
    {"ucirc", 0x00FB}, {"ugrave", 0x00F9}, {"uml", 0x00A8}, {"upsih", 0x03D2}, {"upsilon", 0x03C5},
    {"uuml", 0x00FC}, {"weierp", 0x2118}, {"xi", 0x03BE}, {"yacute", 0x00FD}, {"yen", 0x00A5},
    {"yuml", 0x00FF}, {"zeta", 0x03B6}, {"zwj", 0x200D}, {"zwnj", 0x200C},
};

char32_t LookupNamed(std::string_view name) {
  auto it = std::lower_bound(std::begin(kNamed), std::end(kNamed), name,
                             [](const NamedReference& r, std::string_view n) { return std::string_view(r.name) < n; });
  return it != std::end(kNamed) && it->name == name ? it->cp : 0;
}

// Numeric references 0x80..0x9F mean what those bytes mean in Windows-1252.
char32_t FromC1(char32_t cp) {
  static constexpr char32_t kC1[32] = {
      0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
  return cp >= 0x80 && cp <= 0x9F ? kC1[cp - 0x80] : cp;
}

void AppendCharacter(std::string& out, char32_t cp, char unknown) {
  int byte = cp == 0xFFFD ? -1 : Win1251ByteOf(cp);
  if (byte >= 0) {
    out += static_cast<char>(byte);
  } else if (unknown != 0) {
    out += unknown;
  } else {
    std::string utf8;
    AppendUtf8(utf8, cp);
    out += PercentEscape(utf8, [](unsigned char) { return true; });
  }
}

}  // namespace

std::size_t FindText(std::string_view text, std::string_view needle, std::size_t from) {
  if (from > text.size()) return kNone;
  const void* hit = memmem(text.data() + from, text.size() - from, needle.data(), needle.size());
  return hit == nullptr ? kNone : static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
}

bool EqualsLower(std::string_view s, std::string_view lowerWord) {
  if (s.size() != lowerWord.size()) return false;
  for (std::size_t i = 0; i < s.size(); ++i)
    if (Lower(s[i]) != lowerWord[i]) return false;
  return true;
}

const HtmlAttribute* HtmlTag::Attribute(std::string_view lowerName) const {
  for (const HtmlAttribute& a : attributes)
    if (a.NameIs(lowerName)) return &a;
  return nullptr;
}

bool HtmlTokenizer::Next(HtmlTag& tag) {
  const std::size_t n = text_.size();
  while (pos_ < n) {
    const void* hit = std::memchr(text_.data() + pos_, '<', n - pos_);
    if (hit == nullptr) break;
    const std::size_t lt = static_cast<std::size_t>(static_cast<const char*>(hit) - text_.data());
    if (lt + 1 >= n) break;
    const char c = text_[lt + 1];
    if (IsAlpha(c) || (c == '/' && lt + 2 < n && IsAlpha(text_[lt + 2]))) {
      if (ParseTag(lt, c == '/', tag)) return true;
      break;  // unfinished at the end of the page
    }
    if (c != '!' && c != '?' && c != '/') {
      pos_ = lt + 1;
      continue;
    }
    pos_ = SkipMarkup(lt);
    if (comments_) {
      tag.begin = lt;
      tag.end = tag.rawTextEnd = pos_;
      tag.name = std::string_view();
      tag.closing = false;
      tag.comment = true;
      tag.attributes.clear();
      return true;
    }
  }
  pos_ = n;
  return false;
}

bool HtmlTokenizer::ParseTag(std::size_t lt, bool closing, HtmlTag& tag) {
  const std::string_view t = text_;
  const std::size_t n = t.size();
  std::size_t p = lt + (closing ? 2 : 1);
  const std::size_t nameBegin = p;
  while (p < n && !IsSpace(t[p]) && t[p] != '/' && t[p] != '>') ++p;
  tag.begin = lt;
  tag.name = t.substr(nameBegin, p - nameBegin);
  tag.closing = closing;
  tag.comment = false;
  tag.attributes.clear();
  while (true) {
    while (p < n && (IsSpace(t[p]) || t[p] == '/')) ++p;
    if (p >= n) return false;
    if (t[p] == '>') {
      ++p;
      break;
    }
    HtmlAttribute a;
    a.begin = p++;  // the first character belongs to the name, even a "="
    while (p < n && !IsSpace(t[p]) && t[p] != '/' && t[p] != '>' && t[p] != '=') ++p;
    a.name = t.substr(a.begin, p - a.begin);
    std::size_t afterName = p;
    while (p < n && IsSpace(t[p])) ++p;
    if (p < n && t[p] == '=') {
      ++p;
      while (p < n && IsSpace(t[p])) ++p;
      if (p >= n) return false;
      a.hasValue = true;
      if (t[p] == '"' || t[p] == '\'') {
        a.quote = t[p];
        a.valueBegin = p + 1;
        const void* close = std::memchr(t.data() + a.valueBegin, a.quote, n - a.valueBegin);
        if (close == nullptr) return false;
        a.valueEnd = static_cast<std::size_t>(static_cast<const char*>(close) - t.data());
        p = a.valueEnd + 1;
      } else {
        a.valueBegin = p;
        while (p < n && !IsSpace(t[p]) && t[p] != '>') ++p;
        a.valueEnd = p;
      }
      a.end = p;
    } else {
      a.valueBegin = a.valueEnd = a.end = afterName;
      p = afterName;
    }
    tag.attributes.push_back(a);
  }
  tag.end = p;
  tag.rawTextEnd = (!closing && IsRawTextElement(tag.name)) ? RawTextEnd(tag.name, p) : p;
  pos_ = tag.rawTextEnd;
  return true;
}

std::size_t HtmlTokenizer::SkipMarkup(std::size_t lt) const {
  const std::string_view t = text_;
  if (t.compare(lt, 4, "<!--") == 0) {
    if (t.compare(lt + 4, 1, ">") == 0) return lt + 5;
    if (t.compare(lt + 4, 2, "->") == 0) return lt + 6;
    std::size_t close = t.find("-->", lt + 4);
    return close == kNone ? t.size() : close + 3;
  }
  std::size_t close = t.find('>', lt + 2);
  return close == kNone ? t.size() : close + 1;
}

std::size_t HtmlTokenizer::RawTextEnd(std::string_view name, std::size_t from) const {
  const std::string_view t = text_;
  for (std::size_t p = from; (p = t.find("</", p)) != kNone; p += 2) {
    std::size_t after = p + 2 + name.size();
    if (after > t.size()) break;
    if (after < t.size() && !IsSpace(t[after]) && t[after] != '/' && t[after] != '>') continue;
    bool same = true;
    for (std::size_t i = 0; i < name.size() && same; ++i) same = Lower(t[p + 2 + i]) == Lower(name[i]);
    if (same && after < t.size()) return p;
  }
  return t.size();
}

std::string DecodeCharacterReferences(std::string_view text, bool attribute, char unknown) {
  std::string out;
  out.reserve(text.size());
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    std::size_t amp = text.find('&', i);
    if (amp == kNone) amp = n;
    out.append(text, i, amp - i);
    if (amp >= n) break;
    std::size_t p = amp + 1;
    if (p < n && text[p] == '#') {
      ++p;
      const bool hex = p < n && (text[p] == 'x' || text[p] == 'X');
      if (hex) ++p;
      const std::size_t digits = p;
      char32_t cp = 0;
      for (; p < n; ++p) {
        int d = IsDigit(text[p]) ? text[p] - '0'
                : hex && Lower(text[p]) >= 'a' && Lower(text[p]) <= 'f' ? Lower(text[p]) - 'a' + 10
                                                                         : -1;
        if (d < 0) break;
        if (cp <= 0x10FFFF) cp = cp * (hex ? 16 : 10) + static_cast<char32_t>(d);
      }
      if (p == digits) {  // "&#" without digits is text
        out += '&';
        i = amp + 1;
        continue;
      }
      if (p < n && text[p] == ';') ++p;
      if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
      AppendCharacter(out, FromC1(cp), unknown);
      i = p;
      continue;
    }
    while (p < n && p - amp <= 32 && (IsAlpha(text[p]) || IsDigit(text[p]))) ++p;
    const std::string_view name = text.substr(amp + 1, p - amp - 1);
    char32_t cp = 0;
    if (p < n && text[p] == ';' && (cp = LookupNamed(name)) != 0) {
      AppendCharacter(out, cp, unknown);
      i = p + 1;
    } else if ((name == "amp" || name == "lt" || name == "gt" || name == "quot") &&
               !(attribute && p < n && text[p] == '=')) {
      AppendCharacter(out, LookupNamed(name), unknown);
      i = p;
    } else {
      out += '&';
      i = amp + 1;
    }
  }
  return out;
}

std::string AttributeUrl(std::string_view rawValue) {
  if (rawValue.find('&') == kNone) return CleanUrl(rawValue);
  return CleanUrl(DecodeCharacterReferences(rawValue, true, 0));
}

std::string EscapeAttributeText(std::string_view text, char quote) {
  const char both[] = {'&', quote};
  const std::string_view specials(both, quote != 0 ? 2 : 1);
  std::size_t at = text.find_first_of(specials);
  if (at == std::string_view::npos) return std::string(text);
  std::string out;
  out.reserve(text.size() + 16);
  for (std::size_t pos = 0; pos < text.size(); at = text.find_first_of(specials, pos)) {
    if (at == std::string_view::npos) at = text.size();
    out.append(text, pos, at - pos);
    if (at == text.size()) break;
    out += text[at] == '&' ? "&amp;" : text[at] == '"' ? "&quot;" : "&#39;";
    pos = at + 1;
  }
  return out;
}

std::string AttributeValueText(std::string_view value, char quote) {
  if (quote != 0) return EscapeAttributeText(value, quote);
  bool needQuotes = value.empty();
  for (char c : value)
    if (IsSpace(c) || c == '"' || c == '\'' || c == '=' || c == '<' || c == '>' || c == '`') needQuotes = true;
  if (!needQuotes) return EscapeAttributeText(value, 0);
  return '"' + EscapeAttributeText(value, '"') + '"';
}

bool IsLazySource(std::string_view name) {
  return EqualsLower(name, "data-src") || EqualsLower(name, "data-original") || EqualsLower(name, "data-lazy-src");
}

bool IsLazySrcset(std::string_view name) {
  return EqualsLower(name, "data-srcset") || EqualsLower(name, "data-lazy-srcset");
}

UrlAttribute UrlAttributeKind(std::string_view name) {
  if (name.size() < 3 || name.size() > 16) return UrlAttribute::kNone;
  if (EqualsLower(name, "srcset") || EqualsLower(name, "imagesrcset") || IsLazySrcset(name)) return UrlAttribute::kSrcset;
  for (std::string_view single : {"href", "src", "action", "formaction", "poster", "background", "lowsrc"})
    if (EqualsLower(name, single)) return UrlAttribute::kSingle;
  return IsLazySource(name) ? UrlAttribute::kSingle : UrlAttribute::kNone;
}

std::string BaseHref(std::string_view page) {
  if (FindLower(page, "<base", 0) == kNone) return std::string();
  HtmlTokenizer tokens(page);
  HtmlTag tag;
  while (tokens.Next(tag)) {
    if (tag.closing || !tag.NameIs("base")) continue;
    if (const HtmlAttribute* href = tag.Attribute("href"); href && href->hasValue)
      return AttributeUrl(page.substr(href->valueBegin, href->valueEnd - href->valueBegin));
  }
  return std::string();
}

std::vector<SrcsetCandidate> SrcsetCandidates(std::string_view value) {
  std::vector<SrcsetCandidate> out;
  const std::size_t n = value.size();
  std::size_t p = 0;
  while (p < n) {
    while (p < n && (IsSpace(value[p]) || value[p] == ',')) ++p;
    if (p >= n) break;
    const std::size_t begin = p;
    while (p < n && !IsSpace(value[p])) ++p;
    std::size_t end = p;
    bool descriptors = true;
    if (value[end - 1] == ',') {  // "a.jpg," : no descriptors
      while (end > begin && value[end - 1] == ',') --end;
      descriptors = false;
    }
    if (end > begin) out.push_back({begin, end});
    if (!descriptors) continue;
    for (bool inParens = false; p < n; ++p) {
      if (value[p] == '(') inParens = true;
      else if (value[p] == ')') inParens = false;
      else if (value[p] == ',' && !inParens) break;
    }
  }
  return out;
}

std::string MapSrcset(std::string_view value, char quote, const std::function<std::string(const std::string&)>& map) {
  std::string out;
  out.reserve(value.size() + 32);
  std::size_t pos = 0;
  for (const SrcsetCandidate& c : SrcsetCandidates(value)) {
    out.append(value, pos, c.begin - pos);
    std::string address = map(AttributeUrl(value.substr(c.begin, c.end - c.begin)));
    out += quote != 0 ? EscapeAttributeText(address, quote) : address;
    pos = c.end;
  }
  out.append(value, pos, std::string_view::npos);
  // Unquoted, the value is one address at most, with no reference left in the text around it.
  return quote == 0 ? AttributeValueText(out, 0) : out;
}

std::string HtmlText(std::string_view html, char unknown) {
  std::string text;
  std::size_t pos = 0;
  HtmlTokenizer tokens(html, 0, /*comments=*/true);
  HtmlTag tag;
  while (tokens.Next(tag)) {
    text.append(html, pos, tag.begin - pos);
    if (tag.NameIs("br")) text += ' ';
    pos = (tag.NameIs("script") || tag.NameIs("style")) ? tag.rawTextEnd : tag.end;
  }
  if (pos < html.size()) text.append(html, pos, std::string_view::npos);
  return DecodeCharacterReferences(text, false, unknown);
}

void TextEdits::Replace(std::size_t begin, std::size_t end, std::string text) {
  edits_.push_back({begin, end, std::move(text)});
}

std::string TextEdits::Apply(std::string_view text) {
  auto before = [](const Edit& a, const Edit& b) { return a.begin < b.begin; };
  if (!std::is_sorted(edits_.begin(), edits_.end(), before)) std::stable_sort(edits_.begin(), edits_.end(), before);
  std::size_t grow = 0;
  for (const Edit& e : edits_) grow += e.text.size();
  std::string out;
  out.reserve(text.size() + grow);
  std::size_t pos = 0;
  for (const Edit& e : edits_) {
    if (e.begin < pos || e.end < e.begin || e.end > text.size()) continue;
    out.append(text, pos, e.begin - pos);
    out += e.text;
    pos = e.end;
  }
  out.append(text, pos, std::string_view::npos);
  edits_.clear();
  return out;
}

}  // namespace skimlet
