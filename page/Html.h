// Reading HTML as a browser does, for the commands that rewrite pages: a small tokenizer
// that reports start and end tags with the exact positions of their attributes (so a page
// can be rewritten in place, byte for byte elsewhere), character references, and a list
// of edits applied in one pass.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace skimlet {

// The first `needle` in `text` at or after `from`, or npos: a search that stays fast when
// the needle starts with a character as common as a blank.
std::size_t FindText(std::string_view text, std::string_view needle, std::size_t from = 0);

// ASCII case-insensitive comparison with a lower-case word.
bool EqualsLower(std::string_view s, std::string_view lowerWord);

struct HtmlAttribute {
  std::string_view name;       // as written
  std::size_t begin = 0;       // first character of the name
  std::size_t end = 0;         // one past the attribute, closing quote included
  std::size_t valueBegin = 0;  // the value as written, quotes excluded
  std::size_t valueEnd = 0;
  char quote = 0;  // '"' or '\'' around the value; 0 when unquoted or without a value
  bool hasValue = false;

  bool NameIs(std::string_view lowerName) const { return EqualsLower(name, lowerName); }
};

struct HtmlTag {
  std::size_t begin = 0;  // the "<"
  std::size_t end = 0;    // one past the ">"
  std::string_view name;  // as written
  bool closing = false;   // an end tag
  bool comment = false;   // a comment, doctype or processing instruction (when asked for)
  std::vector<HtmlAttribute> attributes;
  // For the start tag of an element whose content is text (script, style, textarea, title,
  // xmp, iframe, noembed, noframes): where that text ends, which is the "<" of its end tag or
  // the end of the page. Otherwise equal to `end`.
  std::size_t rawTextEnd = 0;

  bool NameIs(std::string_view lowerName) const { return EqualsLower(name, lowerName); }
  const HtmlAttribute* Attribute(std::string_view lowerName) const;
};

// Start and end tags in page order. Text, comments, doctypes, processing instructions and
// the content of text-only elements are passed over (comments and the like are reported
// as tags with `comment` set when asked for); so is a tag the page leaves unfinished at
// its end (a browser drops it too).
class HtmlTokenizer {
 public:
  explicit HtmlTokenizer(std::string_view text, std::size_t from = 0, bool comments = false)
      : text_(text), pos_(from), comments_(comments) {}
  bool Next(HtmlTag& tag);  // false at the end of the page
  std::size_t Position() const { return pos_; }

 private:
  bool ParseTag(std::size_t lt, bool closing, HtmlTag& tag);
  std::size_t SkipMarkup(std::size_t lt) const;  // comment, doctype, "<?", "</ ...": past it
  std::size_t RawTextEnd(std::string_view name, std::size_t from) const;

  std::string_view text_;
  std::size_t pos_;
  bool comments_;
};

// Character references of an HTML text decoded into Windows-1251: named ones ("&amp;",
// "&nbsp;", "&laquo;" ...) and numeric ones ("&#39;", "&#x41;"). A character without a
// Windows-1251 form becomes `unknown`; with `unknown` 0 it becomes its UTF-8 bytes
// percent-escaped, which is what it means inside an address. In an attribute value a
// reference without ";" followed by a letter, digit or "=" stays as written.
std::string DecodeCharacterReferences(std::string_view text, bool attribute, char unknown = '?');

// An attribute value as an address: references decoded, TAB, CR and LF removed, blanks and
// control characters at both ends removed.
std::string AttributeUrl(std::string_view rawValue);

// `value` made fit to stand as the value of an attribute written with `quote` ('"', '\''
// or 0): "&" and the quote as references; an unquoted value that would not survive
// unquoted gets double quotes around it.
std::string AttributeValueText(std::string_view value, char quote);
// The same for a piece of a value: references only, no quotes added.
std::string EscapeAttributeText(std::string_view text, char quote);

// Attributes whose value is an address, or a srcset list of addresses.
enum class UrlAttribute { kNone, kSingle, kSrcset };
UrlAttribute UrlAttributeKind(std::string_view name);
// The attributes of lazy-loading scripts that hold a picture's real address.
bool IsLazySource(std::string_view name);
bool IsLazySrcset(std::string_view name);

// The raw href of the page's first <base> element, or "" when it has none.
std::string BaseHref(std::string_view page);

// The candidates of a srcset value: each address with its position in the value.
struct SrcsetCandidate {
  std::size_t begin = 0, end = 0;
};
std::vector<SrcsetCandidate> SrcsetCandidates(std::string_view value);
// A srcset value written with `quote` with every candidate's address (references decoded)
// replaced by map(address); descriptors and separators stay.
std::string MapSrcset(std::string_view value, char quote, const std::function<std::string(const std::string&)>& map);

// The text of a piece of HTML: tags and the content of scripts and style sheets left out
// (a line break counts as a blank), character references decoded with `unknown` for
// characters without a Windows-1251 form.
std::string HtmlText(std::string_view html, char unknown = '?');

// Replacements of non-overlapping ranges of a text, applied in one pass.
class TextEdits {
 public:
  void Replace(std::size_t begin, std::size_t end, std::string text);
  void Insert(std::size_t at, std::string text) { Replace(at, at, std::move(text)); }
  bool Empty() const { return edits_.empty(); }
  std::size_t Count() const { return edits_.size(); }
  // The text with every edit made. Edits are taken in position order; one that overlaps an
  // earlier one is dropped.
  std::string Apply(std::string_view text);

 private:
  struct Edit {
    std::size_t begin, end;
    std::string text;
  };
  std::vector<Edit> edits_;
};

}  // namespace skimlet
