// The fragment language of every macro parameter that names a piece of text:
// "*" any run of characters, "?" any one character, "~" one decimal digit (or "~" itself).
// Comparisons are byte for byte and case-sensitive; positions are 1-based.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace skimlet {

inline constexpr int kMaxFragments = 100;

// Position (1-based) of the first match of `pattern` (no "*") in `text` at or after `start`,
// or -1. Empty pattern or text, or a start beyond the end of the text, gives -1.
int MatchAt(std::string_view pattern, std::string_view text, int start);
// The same for texts above 2 GiB.
long long MatchAt64(std::string_view pattern, std::string_view text, long long start);

// Finds `pattern` in `buffer` and, unless findOnly, replaces up to maxCount matches by
// `replacement`, each search starting behind the previous replacement. True when at least
// one match was found. A pattern of more than kMaxFragments fragments is rejected (false).
bool FindFragment(std::string& buffer, std::string_view pattern, std::string_view replacement,
                  int maxCount, bool findOnly);

// Find only, without a buffer to change.
bool ContainsFragment(std::string_view buffer, std::string_view pattern);

// ContainsFragment for many texts and one pattern, prepared once.
class FragmentFinder {
 public:
  explicit FragmentFinder(std::string_view pattern);
  ~FragmentFinder();
  FragmentFinder(const FragmentFinder&) = delete;
  FragmentFinder& operator=(const FragmentFinder&) = delete;
  bool FoundIn(std::string_view text);  // == ContainsFragment(text, pattern)

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

// A link as a fragment typed in Cyrillic sees it: its percent-escapes decoded, as UTF-8 when
// the bytes are UTF-8, else as Windows-1251 bytes; an escape that is not one ("%zz") stays as
// it is. Empty when the link holds no escape.
std::string DecodedLink(std::string_view link);

// FragmentFinder for links: a fragment that holds characters beyond ASCII also matches the
// link with its percent-escapes decoded. What the caller takes stays the link as found.
class LinkFinder {
 public:
  explicit LinkFinder(std::string_view pattern);
  bool FoundIn(std::string_view link);

 private:
  FragmentFinder finder_;
  bool beyondAscii_ = false;
};

// Replaces every occurrence of the plain text `from` (no wildcards), left to right, in one pass.
void ReplaceAllText(std::string& text, std::string_view from, std::string_view to);

// The value of an HTML attribute whose name ends just before `pos` (0-based): blanks,
// quotes and "=" in front of it are passed over, and it ends before the first of
// `terminators`, or before the text's last character when none follows. Returns the
// value's start and length; the start may be the text's end.
struct TextSpan {
  std::size_t start = 0, length = 0;
};
TextSpan AttributeValueAt(std::string_view text, std::size_t pos, std::string_view terminators);

// Where ContainsFragment finds `pattern`: the 0-based start and the length of the match that
// FindFragment would replace first. Empty when it finds nothing.
std::optional<TextSpan> FindFragmentSpan(std::string_view buffer, std::string_view pattern);

}  // namespace skimlet
