// The attachment block at the head of a news page: one line per picture or style sheet
// ("<!-- SkimletAttLocal:" local name " SkimletAttURL:" URL " -->" LF CR, newest first),
// then the data-end marker, then the page.
#pragma once

#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace skimlet {

inline constexpr std::string_view kDataEndMarker = "<!-- Skimlet DataEnd -->\n\r";
inline constexpr std::string_view kDataEnd = "Skimlet DataEnd -->";

struct AttachmentPair {
  std::string localName;
  std::string url;
};

// Builds the block: inserts the data-end marker, then a line for every accepted reference
// ("src=" to a picture, "href=" to a style sheet) not seen before; "src="/"href=" become
// upper case. `attachmentDir` (UTF-8, may not exist) is where local names must be new.
void MarkAttachments(std::string& html, std::mt19937& rng, const std::string& attachmentDir);

// Points the page part's references at "Attachment/" + local name.
void LocalizeAttachments(std::string& html);

// The pairs of a text's head, in order. The head runs up to and including the data-end text
// (without it, it is as long as that text); a value runs up to the next blank, and a value
// without one ends the scan.
std::vector<AttachmentPair> ReadAttachmentPairs(std::string_view text);

// A new local name: 15 random digits, "." and the URL's extension in lower case.
std::string MakeLocalName(std::mt19937& rng, std::string_view url);
// The text after the URL's last ".", lower case.
std::string UrlExtension(std::string_view url);

}  // namespace skimlet
