#include "attachments/Discovery.h"

#include <unordered_set>

#include "engine/Tools.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace skimlet {

namespace {

bool Accepted(std::string_view attribute, const std::string& ext) {
  if (attribute == "src=")
    return ext == "gif" || ext == "jpg" || ext == "jpeg" || ext == "png" || ext == "bmp" || ext == "pcx";
  return ext == "css";
}

}  // namespace

std::string UrlExtension(std::string_view url) {
  std::size_t dot = url.rfind('.');
  std::string ext(dot == std::string_view::npos ? url : url.substr(dot + 1));
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return ext;
}

std::string MakeLocalName(std::mt19937& rng, std::string_view url) {
  std::uniform_int_distribution<int> digit(0, 9);
  std::string name;
  for (int i = 0; i < 15; ++i) name += static_cast<char>('0' + digit(rng));
  return name + "." + UrlExtension(url);
}

void MarkAttachments(std::string& html, std::mt19937& rng, const std::string& attachmentDir) {
  html.insert(0, kDataEndMarker);
  // New lines go in front of the page in one piece at the end, newest first; until then
  // the "found before" test looks at both.
  std::vector<std::string> lines;
  std::string added;  // the new lines' text, for the "found before" test
  std::unordered_set<std::string> names;
  for (std::string_view attribute : {std::string_view("src="), std::string_view("href=")}) {
    std::string upper = UpperWin1251(attribute);
    ReplaceAllText(html, upper, attribute);
    for (std::size_t at = html.find(attribute); at != std::string::npos; at = html.find(attribute, at)) {
      html.replace(at, attribute.size(), upper);
      TextSpan value = AttributeValueAt(html, at + attribute.size(), "\"' ");
      std::string url = html.substr(value.start, value.length);
      at = value.start;
      if (url.empty() || html.find(" url=" + url) != std::string::npos) continue;
      if (!Accepted(attribute, UrlExtension(url))) continue;
      std::string key = "SkimletAttURL:" + url;
      if (html.find(key) != std::string::npos || added.find(key) != std::string::npos) continue;
      std::string name;
      do {
        name = MakeLocalName(rng, url);
      } while (names.count(name) || FileExists(JoinPath(attachmentDir, name)));
      names.insert(name);
      std::string line = "<!-- SkimletAttLocal:" + name + " SkimletAttURL:" + url + " -->\n\r";
      added += line;
      lines.push_back(std::move(line));
    }
  }
  std::string head;
  for (auto it = lines.rbegin(); it != lines.rend(); ++it) head += *it;
  html.insert(0, head);
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

void LocalizeAttachments(std::string& html) {
  std::size_t end = html.find(kDataEnd);
  if (end == std::string::npos) return;
  std::size_t split = end + kDataEnd.size();
  std::string page = html.substr(split);
  // Plain text replacement: a URL holding "*", "?" or "~" is not a pattern, and a local
  // name that happens to contain the URL cannot make the loop run for ever.
  for (const AttachmentPair& pair : ReadAttachmentPairs(html))
    if (!pair.url.empty()) ReplaceAllText(page, pair.url, "Attachment/" + pair.localName);
  html.resize(split);
  html += page;
}

}  // namespace skimlet
