// The attachment block at the head of a news page: one line per picture or style sheet
// ("<!-- SkimletAttLocal:" local name " SkimletAttURL:" URL " -->" LF CR, newest first),
// then the data-end marker, then the page.
#pragma once

#include <atomic>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace skimlet {

class UrlResolver;

inline constexpr std::string_view kDataEndMarker = "<!-- Skimlet DataEnd -->\n\r";
inline constexpr std::string_view kDataEnd = "Skimlet DataEnd -->";

struct AttachmentPair {
  std::string localName;
  std::string url;
};

struct DiscoveryOptions {
  UrlResolver* resolver = nullptr;          // makes addresses absolute; none: as the page writes them
  std::size_t headLength = 0;               // a block this program already put in front of the page
  const std::atomic<bool>* stop = nullptr;  // looked at while the page is read
};

// Builds the block: a line for every accepted reference not seen before, in front of the
// data-end marker (inserted unless `headLength` names a block already there). Accepted are
// pictures (gif, jpg, jpeg, png, bmp, pcx, webp, svg, avif) given by src, srcset, the lazy
// loaders' data-src and data-srcset, poster and background attributes, and style sheets
// given by href. Only attributes of real tags count, and their "src"/"href" names become
// upper case. `attachmentDir` (UTF-8, may not exist) is where local names must be new.
// False, and the page unchanged, when stopped.
bool MarkAttachments(std::string& html, std::mt19937& rng, const std::string& attachmentDir,
                     const DiscoveryOptions& options = {});

// Points the page part's references at "Attachment/" + local name, with the same resolver
// as MarkAttachments. A lazy picture's src is pointed at the local copy of its real
// address, and the page's <base> goes (it would lead the local references away).
void LocalizeAttachments(std::string& html, UrlResolver* resolver = nullptr);

// Replaces the remote picture sources left in the page part (src and srcset addresses on
// http, https or "//") by `target`. Returns how many it replaced.
int BlankRemoteSources(std::string& html, std::string_view target);

// The pairs of a text's head, in order. The head runs up to and including the data-end text
// (without it, it is as long as that text); a value runs up to the next blank, and a value
// without one ends the scan.
std::vector<AttachmentPair> ReadAttachmentPairs(std::string_view text);

// The block of a news file as SaveNews wrote it: attachment lines from the line after the
// header comment up to the data-end marker, nothing else. Pairs whose local name is not
// one this program makes are left out. Returned as block text for EnqueueAttachments, with
// the pictures and fonts of the file's style sheets already stored in `attachmentDir`.
std::string NewsFileAttachmentBlock(std::string_view fileText, const std::string& attachmentDir);

// A buffer about to be saved: unless it starts with `head` (the block FindAttachment made),
// text in it that a reader would take for a block is kept out of the file's head by an
// empty block in front.
void GuardAttachmentBlock(std::string& html, std::string_view head);

// The block text of some pairs, as FindAttachment writes it.
std::string AttachmentBlock(const std::vector<AttachmentPair>& pairs);

// A new local name: 15 random digits, "." and the URL's extension in lower case.
std::string MakeLocalName(std::mt19937& rng, std::string_view url);
// The text after the URL's last ".", lower case.
std::string UrlExtension(std::string_view url);
// A name this program gives a local copy: 15 digits, "." and a known extension.
bool IsLocalAttachmentName(std::string_view name);

// A style sheet just stored at `path` (UTF-8) from `url`: its url(...) and @import
// references to pictures, fonts and style sheets are pointed at local copies beside it
// (the sheet is rewritten, keeping a record of them at its end), and returned.
std::vector<AttachmentPair> LocalizeStyleSheet(const std::string& path, const std::string& url);
// The pairs recorded at the end of a localised style sheet.
std::vector<AttachmentPair> StyleSheetAttachments(std::string_view sheet);

}  // namespace skimlet
