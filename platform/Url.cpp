#include "platform/Url.h"

#include <curl/curl.h>

#include <algorithm>
#include <unordered_map>

namespace skimlet {

namespace {

constexpr std::size_t kMaxCached = 1 << 16;

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool StartsWithLower(std::string_view s, std::string_view lowerPrefix) {
  if (s.size() < lowerPrefix.size()) return false;
  for (std::size_t i = 0; i < lowerPrefix.size(); ++i) {
    char c = s[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lowerPrefix[i]) return false;
  }
  return true;
}

// What curl is given: every byte that curl would escape itself (blanks, controls, 8-bit
// letters) and every "%" of the link escaped by us, so that after resolution each escape
// can be undone exactly and the address keeps the link's own bytes.
bool MustProtect(unsigned char c) { return c == '%' || c <= 0x20 || c >= 0x7F; }

std::string Protect(std::string_view s) { return PercentEscape(s, MustProtect); }

std::string Unprotect(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    int hi, lo;
    if (s[i] == '%' && i + 2 < s.size() && (hi = HexValue(s[i + 1])) >= 0 && (lo = HexValue(s[i + 2])) >= 0) {
      out += static_cast<char>(hi * 16 + lo);
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

bool NeedsProtection(std::string_view s) {
  for (unsigned char c : s)
    if (MustProtect(c)) return true;
  return false;
}

bool Printable(char c) { return c > 0x20 && c < 0x7F && c != '\\'; }

// An absolute address that curl would give back unchanged: "http://" or "https://" in lower
// case, a host name whose last label starts with a letter, an optional port, a path, and no
// dot segments, blanks, escapes to protect or empty query or fragment. Most links of a page
// that has been made absolute already look like this; they need no parsing.
bool IsNormalAbsolute(std::string_view s) {
  std::size_t p;
  if (s.starts_with("http://")) p = 7;
  else if (s.starts_with("https://")) p = 8;
  else return false;
  const std::size_t hostBegin = p;
  std::size_t labelBegin = p;
  while (p < s.size() && (IsAlpha(s[p]) || IsDigit(s[p]) || s[p] == '-' || s[p] == '.' || s[p] == '_')) {
    if (s[p] == '.') labelBegin = p + 1;
    ++p;
  }
  if (p == hostBegin || labelBegin >= p || !IsAlpha(s[labelBegin])) return false;
  if (p < s.size() && s[p] == ':') {
    std::size_t digits = ++p;
    while (p < s.size() && IsDigit(s[p])) ++p;
    if (p == digits || p - digits > 5 || s[digits] == '0') return false;
  }
  if (p >= s.size() || s[p] != '/') return false;
  // Path: no "." or ".." segment.
  std::size_t segment = p + 1;
  for (++p; p <= s.size(); ++p) {
    char c = p < s.size() ? s[p] : '\0';
    if (c == '/' || c == '?' || c == '#' || c == '\0') {
      std::string_view seg = s.substr(segment, p - segment);
      if (seg == "." || seg == "..") return false;
      if (c != '/') break;
      segment = p + 1;
    } else if (!Printable(c) || c == '%') {
      return false;
    }
  }
  if (p < s.size() && s[p] == '?') {
    std::size_t q = ++p;
    while (p < s.size() && s[p] != '#') {
      if (!Printable(s[p]) || s[p] == '%') return false;
      ++p;
    }
    if (p == q) return false;
  }
  if (p < s.size() && s[p] == '#') {
    std::size_t f = ++p;
    for (; p < s.size(); ++p)
      if (!Printable(s[p]) || s[p] == '%' || s[p] == '#') return false;
    if (p == f) return false;
  }
  return true;
}

// A part of a link that resolution leaves exactly as it is: no "." or ".." path segment,
// a query or fragment, if any, that is not empty, and no backslash (which curl and
// browsers read differently). Other bytes come back as they are, escaped or not.
bool IsKeptPart(std::string_view s) {
  const std::size_t hash = s.find('#');
  if (hash != std::string_view::npos && (hash + 1 == s.size() || s.find('#', hash + 1) != std::string_view::npos))
    return false;
  const std::string_view rest = s.substr(0, hash);
  const std::size_t question = rest.find('?');
  if (question != std::string_view::npos && question + 1 == rest.size()) return false;  // empty query
  if (s.find('\\') != std::string_view::npos) return false;
  const std::string_view path = rest.substr(0, question);
  for (std::size_t b = 0; b <= path.size();) {
    std::size_t e = path.find('/', b);
    if (e == std::string_view::npos) e = path.size();
    const std::string_view seg = path.substr(b, e - b);
    if (seg == "." || seg == "..") return false;
    b = e + 1;
  }
  return true;
}

// A link whose resolution RFC 3986 defines as concatenation with a part of the base: a
// plain path (relative, or from the root), or a plain query alone.
enum class Plain { kNo, kRelative, kRoot, kQuery };
Plain PlainReference(std::string_view s) {
  if (s.empty() || s.starts_with("//") || HasScheme(s)) return Plain::kNo;
  const std::string_view path = s.substr(0, s.find_first_of("?#"));
  if (path.substr(0, path.find('/')).find(':') != std::string_view::npos) return Plain::kNo;
  if (!IsKeptPart(s)) return Plain::kNo;
  if (path.empty()) return s[0] == '?' ? Plain::kQuery : Plain::kNo;
  return path[0] == '/' ? Plain::kRoot : Plain::kRelative;
}

struct CurlUrl {
  CURLU* h;
  explicit CurlUrl(CURLU* handle) : h(handle) {}
  ~CurlUrl() {
    if (h) curl_url_cleanup(h);
  }
  CurlUrl(const CurlUrl&) = delete;
  CurlUrl& operator=(const CurlUrl&) = delete;
  bool Get(std::string& out) const {
    char* text = nullptr;
    if (curl_url_get(h, CURLUPART_URL, &text, 0) != CURLUE_OK || text == nullptr) return false;
    out = Unprotect(text);
    curl_free(text);
    return true;
  }
};

}  // namespace

std::string CleanUrl(std::string_view url) {
  std::size_t b = 0, e = url.size();
  while (b < e && static_cast<unsigned char>(url[b]) <= 0x20) ++b;
  while (e > b && static_cast<unsigned char>(url[e - 1]) <= 0x20) --e;
  bool inner = false;  // blanks are rare in addresses, line breaks rarer: one cheap test for both
  for (std::size_t i = b; i < e; ++i) inner |= static_cast<unsigned char>(url[i]) <= 0x20;
  if (!inner) return std::string(url.substr(b, e - b));
  std::string out;
  out.reserve(e - b);
  for (std::size_t i = b; i < e; ++i)
    if (url[i] != '\t' && url[i] != '\r' && url[i] != '\n') out += url[i];
  return out;
}

std::string PercentEscape(std::string_view text, bool (*escape)(unsigned char)) {
  static const char* kHex = "0123456789ABCDEF";
  std::size_t first = 0;
  while (first < text.size() && !escape(static_cast<unsigned char>(text[first]))) ++first;
  if (first == text.size()) return std::string(text);
  std::string out;
  out.reserve(text.size() + 16);
  out.append(text, 0, first);
  for (unsigned char c : text.substr(first)) {
    if (escape(c)) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string NewsAddress(std::string_view url) {
  return PercentEscape(WithoutFragment(CleanUrl(url)), [](unsigned char c) { return c < 0x20 || c == 0x7F; });
}

std::string WithoutFragment(std::string_view url) {
  if (url.empty() || url[0] == '#') return std::string(url);
  return std::string(url.substr(0, url.find('#')));
}

bool IsHttpUrl(std::string_view url) { return StartsWithLower(url, "http:") || StartsWithLower(url, "https:"); }

bool HasScheme(std::string_view link) {
  if (link.empty() || !IsAlpha(link[0])) return false;
  for (std::size_t i = 1; i < link.size(); ++i) {
    char c = link[i];
    if (c == ':') return true;
    if (!IsAlpha(c) && !IsDigit(c) && c != '+' && c != '-' && c != '.') return false;
  }
  return false;
}

struct UrlResolver::Impl {
  std::string base;
  CURLU* handle = nullptr;
  std::string document;  // the base without its fragment: what an empty link names
  // The base as curl reads it, for links that are plain concatenation: scheme and
  // authority, its path, and that path up to its last "/".
  bool shortcuts = false;
  std::string origin, path, directory;
  std::unordered_map<std::string, std::string> cache;
  ~Impl() {
    if (handle) curl_url_cleanup(handle);
  }
};

UrlResolver::UrlResolver() : impl_(std::make_unique<Impl>()) {}

UrlResolver::UrlResolver(std::string_view base, bool shortcuts) : UrlResolver() {
  std::string b = CleanUrl(base);
  if (b.empty()) return;
  if (!HasScheme(b)) b = "http://" + b;
  if (!IsHttpUrl(b)) return;
  CURLU* h = curl_url();
  if (h == nullptr) return;
  if (curl_url_set(h, CURLUPART_URL, Protect(b).c_str(), 0) != CURLUE_OK) {
    curl_url_cleanup(h);
    return;
  }
  CurlUrl doc(curl_url_dup(h));
  if (doc.h == nullptr || curl_url_set(doc.h, CURLUPART_FRAGMENT, nullptr, 0) != CURLUE_OK ||
      !doc.Get(impl_->document)) {
    curl_url_cleanup(h);
    return;
  }
  impl_->base = std::move(b);
  impl_->handle = h;
  char* path = nullptr;
  const std::string& d = impl_->document;
  const std::size_t authority = d.find("://");
  const std::size_t pathStart = authority == std::string::npos ? std::string::npos : d.find('/', authority + 3);
  if (shortcuts && pathStart != std::string::npos && curl_url_get(h, CURLUPART_PATH, &path, 0) == CURLUE_OK && path) {
    impl_->origin = d.substr(0, pathStart);
    impl_->path = Unprotect(path);
    impl_->directory = impl_->path.substr(0, impl_->path.rfind('/') + 1);
    impl_->shortcuts = !impl_->path.empty() && impl_->path[0] == '/';
  }
  curl_free(path);
}

UrlResolver::~UrlResolver() = default;
UrlResolver::UrlResolver(UrlResolver&&) noexcept = default;
UrlResolver& UrlResolver::operator=(UrlResolver&&) noexcept = default;

bool UrlResolver::HasBase() const { return impl_->handle != nullptr; }
const std::string& UrlResolver::Base() const { return impl_->base; }

std::string UrlResolver::Resolve(std::string_view link) {
  if (!HasBase()) return std::string();
  return ResolveCleaned(CleanUrl(link));
}

std::string UrlResolver::ResolveCleaned(std::string s) {
  if (!HasBase()) return std::string();
  if (s.empty()) return impl_->document;
  if (s[0] == '#') return s;
  if (HasScheme(s) && !IsHttpUrl(s)) return s;
  if (IsNormalAbsolute(s)) return s;
  if (impl_->shortcuts) {
    switch (PlainReference(s)) {
      case Plain::kRelative: return impl_->origin + impl_->directory + s;
      case Plain::kRoot: return impl_->origin + s;
      case Plain::kQuery: return impl_->origin + impl_->path + s;
      case Plain::kNo: break;
    }
    // "../img/p1.png", "../img/p2.png" ...: the directory goes through libcurl once, and
    // the last segment behind it is kept as it is, as RFC 3986 does. (This also gets
    // "./?page=2" right, which libcurl 7.88 resolves without the directory's "/".)
    if (!s.starts_with("//") && !HasScheme(s)) {
      const std::size_t pathEnd = std::min(s.find_first_of("?#"), s.size());
      const std::string_view path = std::string_view(s).substr(0, pathEnd);
      std::string prefix;
      std::size_t tail = std::string::npos;
      if (path == "." || path == ".." || path.ends_with("/.") || path.ends_with("/..")) {
        prefix = std::string(path) + "/";  // a last dot segment names the directory
        tail = pathEnd;
      } else if (std::size_t slash = path.rfind('/'); slash != std::string_view::npos) {
        prefix = s.substr(0, slash + 1);
        tail = slash + 1;
      }
      if (tail != std::string::npos && IsKeptPart(std::string_view(s).substr(tail))) {
        std::string directory = ThroughCurl(std::move(prefix));
        if (directory.ends_with('/') && IsHttpUrl(directory)) return directory + s.substr(tail);
      }
    }
  }
  return ThroughCurl(std::move(s));
}

std::string UrlResolver::ThroughCurl(std::string s) {
  auto hit = impl_->cache.find(s);
  if (hit != impl_->cache.end()) return hit->second;
  std::string resolved = s;
  CurlUrl h(curl_url_dup(impl_->handle));
  if (h.h != nullptr) {
    const std::string given = NeedsProtection(s) ? Protect(s) : s;
    std::string out;
    if (curl_url_set(h.h, CURLUPART_URL, given.c_str(), 0) == CURLUE_OK && h.Get(out)) resolved = std::move(out);
  }
  if (impl_->cache.size() >= kMaxCached) impl_->cache.clear();
  impl_->cache.emplace(std::move(s), resolved);
  return resolved;
}

}  // namespace skimlet
