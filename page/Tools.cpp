// Fragment search.
//
// The replace loop never edits the buffer in place. Every search of an attempt starts at or
// behind the end of the previous replacement, so it only ever reads text that no replacement
// has touched yet: the untouched input. The loop therefore searches the input (whose positions
// never move) and builds the result beside it in one pass.
#include "page/Tools.h"

#include "platform/Text.h"

#include <climits>
#include <cstddef>
#include <cstring>
#include <optional>
#include <string.h>  // memmem
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace skimlet {
namespace {

constexpr std::size_t kNone = std::string_view::npos;

bool IsWild(char c) { return c == '?' || c == '~'; }

bool CharMatches(char p, char t) {
  switch (p) {
    case '?':
      return true;
    case '~':
      return (t >= '0' && t <= '9') || t == '~';
    default:
      return p == t;
  }
}

// First start in [begin, end) of the literal `needle` (length >= 2) that ends before `end`, or
// nullptr. Short needles are looked for by their first and last bytes together, sixteen places
// at a time: in HTML their first byte alone ("<", a quote) is far too common, and memmem only
// skips a byte or two per step for them. Long needles let memmem skip far.
const char* FindLiteral(const char* begin, const char* end, const char* needle, std::size_t len) {
  if (static_cast<std::size_t>(end - begin) < len) return nullptr;
#if defined(__SSE2__)
  if (len < 16) {
    const char* const lastStart = end - len;
    const __m128i first = _mm_set1_epi8(needle[0]);
    const __m128i last = _mm_set1_epi8(needle[len - 1]);
    const char* p = begin;
    for (; lastStart - p >= 15; p += 16) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + len - 1));
      unsigned mask = static_cast<unsigned>(
          _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
      for (; mask != 0; mask &= mask - 1) {
        const char* candidate = p + __builtin_ctz(mask);
        if (std::memcmp(candidate + 1, needle + 1, len - 2) == 0) return candidate;
      }
    }
    for (; p <= lastStart; ++p)
      if (std::memcmp(p, needle, len) == 0) return p;
    return nullptr;
  }
#endif
  return static_cast<const char*>(memmem(begin, static_cast<std::size_t>(end - begin), needle, len));
}

// One piece of a pattern without "*". Its longest literal run is the anchor looked for with
// memchr/FindLiteral; the wild characters around it are checked at each hit.
class Fragment {
 public:
  explicit Fragment(std::string_view pattern) : pattern_(pattern) {
    for (std::size_t i = 0; i < pattern.size();) {
      if (IsWild(pattern[i])) {
        ++i;
        continue;
      }
      std::size_t j = i;
      while (j < pattern.size() && !IsWild(pattern[j])) ++j;
      if (j - i > anchorLen_) {
        anchorOff_ = i;
        anchorLen_ = j - i;
      }
      i = j;
    }
    onlyQuestionMarks_ = anchorLen_ == 0 && pattern.find('~') == kNone;
  }

  std::size_t size() const { return pattern_.size(); }

  // 0-based start of the first match at or after `from`, or kNone. A match never runs past the text.
  std::size_t Find(std::string_view text, std::size_t from) const {
    const std::size_t m = pattern_.size();
    const std::size_t n = text.size();
    if (m == 0 || from >= n || m > n - from) return kNone;
    const std::size_t last = n - m;
    if (anchorLen_ == 0) {
      if (onlyQuestionMarks_) return from;
      for (std::size_t p = from; p <= last; ++p)
        if (Verify(text, p, 0, m)) return p;
      return kNone;
    }
    const char* base = text.data();
    const char* anchor = pattern_.data() + anchorOff_;
    // The anchor can only lie where a whole match still fits.
    const char* end = base + last + anchorOff_ + anchorLen_;
    for (const char* at = base + from + anchorOff_;;) {
      const char* hit =
          anchorLen_ == 1
              ? static_cast<const char*>(std::memchr(at, anchor[0], static_cast<std::size_t>(end - at)))
              : FindLiteral(at, end, anchor, anchorLen_);
      if (hit == nullptr) return kNone;
      const std::size_t p = static_cast<std::size_t>(hit - base) - anchorOff_;
      if (Verify(text, p, 0, anchorOff_) && Verify(text, p, anchorOff_ + anchorLen_, m)) return p;
      at = hit + 1;
    }
  }

  bool MatchesAt(std::string_view text, std::size_t p) const {
    return p <= text.size() && pattern_.size() <= text.size() - p && Verify(text, p, 0, pattern_.size());
  }

 private:
  bool Verify(std::string_view text, std::size_t p, std::size_t begin, std::size_t end) const {
    for (std::size_t i = begin; i < end; ++i)
      if (!CharMatches(pattern_[i], text[p + i])) return false;
    return true;
  }

  std::string_view pattern_;
  std::size_t anchorOff_ = 0;
  std::size_t anchorLen_ = 0;
  bool onlyQuestionMarks_ = false;
};

// A fragment searched again and again from starts that never go back. While a new start has
// not passed the last hit, that hit is still the first one; this keeps a replace loop of many
// attempts linear in the text instead of rescanning the same stretch for every attempt.
class MonotoneSearch {
 public:
  explicit MonotoneSearch(const Fragment& fragment) : fragment_(&fragment) {}

  std::size_t Find(std::string_view text, std::size_t from) {
    if (!known_ || from < from_ || (hit_ != kNone && from > hit_)) {
      from_ = from;
      hit_ = fragment_->Find(text, from);
      known_ = true;
    }
    return hit_;
  }

 private:
  const Fragment* fragment_;
  std::size_t from_ = 0;
  std::size_t hit_ = kNone;
  bool known_ = false;
};

// One match of an attempt, in positions of the input. A match that starts before the search
// start (a leading "*") swallows everything written so far.
struct Match {
  bool fromStart = false;
  std::size_t begin = 0;
  std::size_t end = 0;
};

class Matcher {
 public:
  // False when the pattern has more fragments than the language allows.
  bool Prepare(std::string_view pattern) {
    hasStar_ = pattern.find('*') != kNone;
    if (!hasStar_) {
      fragments_.emplace_back(pattern);
    } else {
      leadingStar_ = pattern.front() == '*';
      trailingStar_ = pattern.back() == '*';
      for (std::size_t i = 0; i < pattern.size();) {
        if (pattern[i] == '*') {
          ++i;
          continue;
        }
        std::size_t j = pattern.find('*', i);
        if (j == kNone) j = pattern.size();
        if (fragments_.size() == static_cast<std::size_t>(kMaxFragments)) return false;
        fragments_.emplace_back(pattern.substr(i, j - i));
        i = j;
      }
    }
    Restart();
    return true;
  }

  // Forgets earlier searches, for an attempt on another text. The searches point into
  // fragments_, which must no longer grow.
  void Restart() {
    order_.clear();
    for (const Fragment& f : fragments_) order_.emplace_back(f);
    ends_.reset();
    if (!fragments_.empty()) ends_.emplace(fragments_.back());
  }

  bool Empty() const { return fragments_.empty(); }

  // One attempt from `from`; `written` is the length of the result already built before it.
  bool Attempt(std::string_view in, std::size_t from, std::size_t written, Match& match) {
    if (!hasStar_) {
      const std::size_t p = order_[0].Find(in, from);
      if (p == kNone) return false;
      match = {false, p, p + fragments_[0].size()};
      return true;
    }
    // Order test: each fragment must start at least one character behind the end of the one
    // before it.
    std::size_t next = from;
    std::size_t first = kNone;
    std::size_t lastFrom = from;
    std::size_t lastHit = kNone;
    for (std::size_t k = 0; k < fragments_.size(); ++k) {
      lastFrom = next;
      lastHit = order_[k].Find(in, next);
      if (lastHit == kNone) return false;
      if (k == 0) first = lastHit;
      next = lastHit + fragments_[k].size() + 1;
    }
    match.fromStart = leadingStar_;
    match.begin = leadingStar_ ? from : first;
    if (trailingStar_) {
      match.end = in.size();
    } else {
      // The first occurrence of the last fragment behind the first one: may lie before the
      // place the order test found it.
      const std::size_t endFrom = leadingStar_ ? from : first + fragments_.front().size();
      // For "*B" and "A*B" the order test has just searched from the same place, or from one
      // character further; only longer patterns need a search of their own.
      std::size_t e;
      if (lastFrom == endFrom)
        e = lastHit;
      else if (lastFrom == endFrom + 1)
        e = fragments_.back().MatchesAt(in, endFrom) ? endFrom : lastHit;
      else
        e = ends_->Find(in, endFrom);
      if (e == kNone) return false;
      match.end = e + fragments_.back().size();
    }
    const std::size_t length = leadingStar_ ? written + (match.end - from) : match.end - match.begin;
    return length > 0;
  }

 private:
  std::vector<Fragment> fragments_;
  std::vector<MonotoneSearch> order_;
  std::optional<MonotoneSearch> ends_;
  bool hasStar_ = false;
  bool leadingStar_ = false;
  bool trailingStar_ = false;
};

}  // namespace

long long MatchAt64(std::string_view pattern, std::string_view text, long long start) {
  if (pattern.empty() || text.empty() || start > static_cast<long long>(text.size())) return -1;
  if (start < 1) start = 1;
  const std::size_t p = Fragment(pattern).Find(text, static_cast<std::size_t>(start - 1));
  return p == kNone ? -1 : static_cast<long long>(p) + 1;
}

int MatchAt(std::string_view pattern, std::string_view text, int start) {
  const long long p = MatchAt64(pattern, text, start);
  return p > INT_MAX ? -1 : static_cast<int>(p);
}

bool FindFragment(std::string& buffer, std::string_view pattern, std::string_view replacement,
                  int maxCount, bool findOnly) {
  if (pattern.empty()) return false;
  Matcher matcher;
  if (!matcher.Prepare(pattern)) return false;

  const std::string_view in(buffer);
  std::size_t from = 0;  // search start, in the input
  std::string written;   // the result before `from`
  bool found = false;
  bool replaced = false;
  for (int attempts = 0;;) {
    Match match;
    if (!matcher.Attempt(in, from, written.size(), match)) break;
    found = true;
    if (findOnly) break;
    if (!replaced) {
      written.reserve(in.size() + replacement.size());
      replaced = true;
    }
    if (match.fromStart) {
      written.assign(replacement);
    } else {
      written.append(in.substr(from, match.begin - from));
      written.append(replacement);
    }
    from = match.end;
    // A pattern of only "*" would just replace the replacement by itself from now on.
    if (++attempts >= maxCount || matcher.Empty()) break;
  }
  if (replaced) {
    written.append(in.substr(from));
    buffer = std::move(written);
  }
  return found;
}

bool ContainsFragment(std::string_view buffer, std::string_view pattern) {
  if (pattern.empty()) return false;
  Matcher matcher;
  if (!matcher.Prepare(pattern)) return false;
  Match match;
  return matcher.Attempt(buffer, 0, 0, match);
}

std::optional<TextSpan> FindFragmentSpan(std::string_view buffer, std::string_view pattern) {
  Matcher matcher;
  Match match;
  if (pattern.empty() || !matcher.Prepare(pattern) || !matcher.Attempt(buffer, 0, 0, match)) return std::nullopt;
  return TextSpan{match.begin, match.end - match.begin};
}

class FragmentFinder::Impl {
 public:
  explicit Impl(std::string_view pattern) : pattern_(pattern) { ok_ = !pattern_.empty() && matcher_.Prepare(pattern_); }
  bool FoundIn(std::string_view text) {
    if (!ok_) return false;
    matcher_.Restart();
    Match match;
    return matcher_.Attempt(text, 0, 0, match);
  }

 private:
  std::string pattern_;  // the matcher's fragments point into it
  Matcher matcher_;
  bool ok_ = false;
};

FragmentFinder::FragmentFinder(std::string_view pattern) : impl_(std::make_unique<Impl>(pattern)) {}
FragmentFinder::~FragmentFinder() = default;
bool FragmentFinder::FoundIn(std::string_view text) { return impl_->FoundIn(text); }

std::string DecodedLink(std::string_view link) {
  if (link.find('%') == std::string_view::npos) return std::string();
  auto hex = [](char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
  };
  std::string bytes;
  bytes.reserve(link.size());
  bool decoded = false;
  for (std::size_t i = 0; i < link.size(); ++i) {
    if (link[i] == '%' && i + 2 < link.size() && hex(link[i + 1]) >= 0 && hex(link[i + 2]) >= 0) {
      bytes += static_cast<char>(hex(link[i + 1]) * 16 + hex(link[i + 2]));
      i += 2;
      decoded = true;
    } else {
      bytes += link[i];
    }
  }
  if (!decoded) return std::string();
  // A link of plain Windows-1251 letters besides the escapes is no UTF-8; its escapes are bytes.
  return IsValidUtf8(bytes) ? Utf8ToWin1251(bytes) : bytes;
}

LinkFinder::LinkFinder(std::string_view pattern) : finder_(pattern) {
  for (unsigned char c : pattern) beyondAscii_ = beyondAscii_ || c >= 0x80;
}

bool LinkFinder::FoundIn(std::string_view link) {
  if (finder_.FoundIn(link)) return true;
  if (!beyondAscii_) return false;
  const std::string decoded = DecodedLink(link);
  return !decoded.empty() && finder_.FoundIn(decoded);
}

void ReplaceAllText(std::string& text, std::string_view from, std::string_view to) {
  if (from.empty()) return;
  std::size_t at = text.find(from);
  if (at == std::string::npos) return;
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  for (; at != std::string::npos; at = text.find(from, pos)) {
    out.append(text, pos, at - pos);
    out += to;
    pos = at + from.size();
  }
  out.append(text, pos, std::string::npos);
  text.swap(out);
}

TextSpan AttributeValueAt(std::string_view text, std::size_t pos, std::string_view terminators) {
  const std::size_t n = text.size();
  auto lead = [](char c) { return c == '"' || c == ' ' || c == '=' || c == '\''; };
  while (pos + 1 < n && lead(text[pos])) ++pos;
  if (pos >= n) return {n, 0};
  std::size_t end = text.find_first_of(terminators, pos);
  return {pos, (end != std::string_view::npos ? end : n - 1) - pos};
}

}  // namespace skimlet
