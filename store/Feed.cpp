#include "store/Feed.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <unordered_set>
#include <vector>

#include "page/Discovery.h"
#include "page/Tools.h"
#include "platform/Charset.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "store/MacroFile.h"

namespace skimlet {

namespace {

// Ids are tag: URIs under the maker's name; the date is fixed so that an id depends on the
// article's address alone.
constexpr std::string_view kTagPrefix = "tag:skimlet.example,2026:";
constexpr std::size_t kHeadBytes = 4096;

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Percent-encodes every byte outside `keep` and the unreserved characters; a "%" that
// already starts an escape stays when `keepEscapes`.
std::string PercentEncode(std::string_view s, std::string_view keep, bool keepEscapes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                      c == '.' || c == '_' || c == '~';
    bool escape = c == '%' && keepEscapes && i + 2 < s.size() && IsHex(s[i + 1]) && IsHex(s[i + 2]);
    if (unreserved || escape || (c != '%' && keep.find(static_cast<char>(c)) != std::string_view::npos)) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string TagUri(std::string_view specificUtf8) {
  return std::string(kTagPrefix) + PercentEncode(specificUtf8, "!$&'()*+,;=:@/?", true);
}

// Bytes that XML escaping must look at: markup characters, control characters, and the
// lead byte of U+FFFE and U+FFFF.
bool NeedsCare(unsigned char c) { return c < 0x20 || c == '&' || c == '<' || c == '>' || c == '"' || c == 0xEF; }

// Appends UTF-8 text escaped for XML; characters XML does not allow (control characters,
// U+FFFE, U+FFFF) are left out, and so are carriage returns (XML reads CR LF as LF anyway).
void AppendXml(std::string& out, std::string_view utf8) {
  std::size_t run = 0;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (!NeedsCare(c)) continue;
    out.append(utf8.data() + run, i - run);
    run = i + 1;
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\t':
      case '\n': out += static_cast<char>(c); break;
      case 0xEF:
        if (i + 2 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) == 0xBF &&
            (static_cast<unsigned char>(utf8[i + 2]) & 0xFE) == 0xBE) {
          i += 2;  // U+FFFE or U+FFFF: left out
          run = i + 1;
        } else {
          run = i;  // an ordinary lead byte: it stays
        }
        break;
      default: break;  // another control character: left out
    }
  }
  out.append(utf8.data() + run, utf8.size() - run);
}

// The same for Windows-1251 text, converted on the way: one pass over the page, each byte
// copied as its ready-made form.
void AppendXmlFrom1251(std::string& out, std::string_view win) {
  struct Form {
    char bytes[8];  // copied whole; `size` of them count
    std::size_t size;
  };
  static const std::array<Form, 256> kForms = [] {
    std::array<Form, 256> forms{};
    for (int b = 0; b < 256; ++b) {
      std::string escaped;
      AppendXml(escaped, Win1251ToUtf8(std::string(1, static_cast<char>(b))));
      forms[b].size = escaped.size();  // at most 6: "&quot;"
      escaped.copy(forms[b].bytes, escaped.size());
    }
    return forms;
  }();
  char buffer[4096 * 6 + sizeof(Form::bytes)];
  while (!win.empty()) {
    std::string_view piece = win.substr(0, 4096);
    win.remove_prefix(piece.size());
    char* p = buffer;
    for (char c : piece) {
      const Form& form = kForms[static_cast<unsigned char>(c)];
      std::memcpy(p, form.bytes, sizeof form.bytes);
      p += form.size;
    }
    out.append(buffer, static_cast<std::size_t>(p - buffer));
  }
}

void AppendElement(std::string& out, std::string_view indent, std::string_view name, std::string_view utf8) {
  out += indent;
  out += '<';
  out += name;
  out += '>';
  AppendXml(out, utf8);
  out += "</";
  out += name;
  out += ">\n";
}

// The first bytes of a file, enough for its header comment.
std::string ReadHead(const std::string& path, std::size_t max, struct stat& st) {
  std::string head;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return head;
  if (::fstat(fd, &st) == 0) {
    head.resize(std::min<std::size_t>(max, static_cast<std::size_t>(st.st_size)));
    std::size_t got = 0;
    while (got < head.size()) {
      ssize_t n = ::read(fd, head.data() + got, head.size() - got);
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    head.resize(got);
  }
  ::close(fd);
  return head;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool AtNoCase(std::string_view text, std::size_t at, std::string_view lowerTag) {
  if (text.size() - at < lowerTag.size()) return false;
  for (std::size_t i = 0; i < lowerTag.size(); ++i)
    if (Lower(text[at + i]) != lowerTag[i]) return false;
  return true;
}

// Where `lowerTag` ("<body", "</head>") first or last stands in `text`, in any letter case.
std::size_t FindTag(std::string_view text, std::string_view lowerTag, bool last = false) {
  if (last) {
    for (std::size_t at = text.rfind('<'); at != std::string_view::npos; at = at ? text.rfind('<', at - 1) : std::string_view::npos)
      if (AtNoCase(text, at, lowerTag)) return at;
    return std::string_view::npos;
  }
  for (std::size_t at = text.find('<'); at != std::string_view::npos; at = text.find('<', at + 1))
    if (AtNoCase(text, at, lowerTag)) return at;
  return std::string_view::npos;
}

// What lies between <body ...> and </body>; without a body, the page without its head.
std::string PageBody(std::string_view page) {
  std::size_t open = FindTag(page, "<body");
  if (open != std::string_view::npos) {
    std::size_t start = page.find('>', open);
    if (start == std::string_view::npos) return {};
    std::size_t end = FindTag(page, "</body", true);
    if (end == std::string_view::npos || end < start) end = page.size();
    return std::string(page.substr(start + 1, end - start - 1));
  }
  std::size_t head = FindTag(page, "<head"), headEnd = FindTag(page, "</head>");
  if (head != std::string_view::npos && headEnd != std::string_view::npos && headEnd > head)
    return std::string(page.substr(0, head)) + std::string(page.substr(headEnd + 7));
  return std::string(page);
}

// A saved text in UTF-8: news are Windows-1251 unless the page was kept in the encoding
// it came in (pages are recoded only while the setting says so).
std::string TextToUtf8(const std::string& text, const std::string& charset) {
  if (charset == "utf-8" && IsValidUtf8(text)) return text;
  if (charset == "koi8-r") return Win1251ToUtf8(ConvertKoiToWin(text));
  return Win1251ToUtf8(text);
}

void AppendXmlText(std::string& out, const std::string& text, const std::string& charset) {
  if (charset == "utf-8" && IsValidUtf8(text)) AppendXml(out, text);
  else if (charset == "koi8-r") AppendXmlFrom1251(out, ConvertKoiToWin(text));
  else AppendXmlFrom1251(out, text);
}

bool IsWebAddress(std::string_view url) { return StartsWith(url, "http://") || StartsWith(url, "https://"); }

// The index page a folder's macro starts from (its first GetStart), else its channel's.
std::string IndexAddress(const ChannelTree& tree, const NodePtr& folder) {
  for (NodePtr node = folder; node; node = tree.Parent(node)) {
    for (std::int32_t k = 0; k < 1001; ++k) {
      TTmpOneMacroComand step = ReadMacroStep(tree.FolderPath(node), k);
      if (step.Command.empty()) break;
      if (step.Active && step.Command == "GetStart" && IsWebAddress(step.P1)) return Win1251ToUtf8(step.P1);
    }
  }
  return {};
}

struct Candidate {
  std::string path;
  std::string folderPath;
  std::string category;  // the rubric's caption, UTF-8; empty for the channel itself
  std::string relative;  // below Accounts/, UTF-8
  NewsHeader header;
  std::time_t when = 0;
  std::int64_t mtimeNs = 0;
  std::size_t size = 0;
};

// Appends the entry of a news; false (and nothing appended) when it cannot be read.
bool AppendEntry(std::string& out, const Candidate& c) {
  std::string text;
  if (!ReadWholeFile(c.path, text)) return false;
  NewsHeader header;
  std::size_t bodyStart = ParseNewsHeader(text, header);
  if (bodyStart == std::string::npos) return false;
  std::string_view body = std::string_view(text).substr(bodyStart);
  std::vector<AttachmentPair> pairs = ReadAttachmentPairs(body);
  std::size_t dataEnd = body.find(kDataEnd);
  std::string_view page = dataEnd == std::string_view::npos ? body : body.substr(dataEnd + kDataEnd.size());
  while (!page.empty() && (page.front() == '\r' || page.front() == '\n')) page.remove_prefix(1);
  // Declarations stand near the top; a whole page need not be searched for them.
  std::string charset = DeclaredCharset(page.substr(0, 8192), "");
  std::string content = PageBody(page);
  // The page points at "Attachment/<name>": the local copy when it is there, else the original.
  for (const AttachmentPair& pair : pairs) {
    if (pair.localName.empty() || pair.localName[0] == '.' || pair.localName.find('/') != std::string::npos) continue;
    std::string local = c.folderPath + "Attachment/" + pair.localName;
    ReplaceAllText(content, "Attachment/" + pair.localName, FileExists(local) ? FileUrl(local) : pair.url);
  }
  std::string name = TextToUtf8(header.name, charset);
  if (name.empty()) name = c.path.substr(c.path.rfind('/') + 1);
  std::string url = TextToUtf8(header.url, charset);

  out += "  <entry>\n";
  AppendElement(out, "    ", "title", name);
  if (!url.empty()) {
    out += "    <link rel=\"alternate\" type=\"text/html\" href=\"";
    AppendXml(out, url);
    out += "\"/>\n";
  }
  AppendElement(out, "    ", "id", TagUri(url.empty() ? "news/" + c.relative : url));
  AppendElement(out, "    ", "updated", Rfc3339Utc(c.when));
  if (!c.category.empty()) {
    out += "    <category term=\"";
    AppendXml(out, c.category);
    out += "\"/>\n";
  }
  out += "    <content type=\"html\"";
  if (IsWebAddress(url)) {
    // Links the page left relative are read against the article's address.
    out += " xml:base=\"";
    AppendXml(out, url);
    out += "\"";
  }
  out += ">";
  AppendXmlText(out, content, charset);
  out += "</content>\n  </entry>\n";
  return true;
}

}  // namespace

Feed BuildFeed(const ChannelTree& tree, const NodePtr& folder, int limit, std::time_t now, const std::string& selfUrl) {
  std::vector<NodePtr> folders = {folder};
  if (tree.Level(folder) == 0)
    for (const NodePtr& rubric : tree.Children(folder)) folders.push_back(rubric);

  std::vector<Candidate> candidates;
  for (const NodePtr& f : folders) {
    std::string dir = tree.FolderPath(f);
    std::string relative = tree.RelativePath(f);
    std::string category = tree.Level(f) > 0 ? Win1251ToUtf8(tree.Caption(f)) : std::string();
    for (const std::string& name : ListNewsFiles(dir)) {
      Candidate c;
      c.path = dir + name;
      struct stat st {};
      std::string head = ReadHead(c.path, kHeadBytes, st);
      std::size_t bodyStart = ParseNewsHeader(head, c.header);
      if (bodyStart == std::string::npos && head.size() == kHeadBytes) {
        ReadWholeFile(c.path, head);  // a header longer than usual (a very long address)
        bodyStart = ParseNewsHeader(head, c.header);
      }
      if (bodyStart == std::string::npos) continue;  // not a news file
      c.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
      c.size = static_cast<std::size_t>(st.st_size);
      c.when = ParseDateTimeStamp(c.header.date, c.header.time).value_or(st.st_mtim.tv_sec);
      c.folderPath = dir;
      c.category = category;
      c.relative = relative + "/" + name;
      candidates.push_back(std::move(c));
    }
  }
  std::sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
    if (a.when != b.when) return a.when > b.when;
    if (a.mtimeNs != b.mtimeNs) return a.mtimeNs > b.mtimeNs;
    return a.path < b.path;
  });

  // The newest `limit`, each address once (an older copy of a news saved again is left out).
  std::vector<const Candidate*> chosen;
  std::unordered_set<std::string> urls;
  std::size_t bytes = 0;
  for (const Candidate& c : candidates) {
    if (static_cast<int>(chosen.size()) >= limit) break;
    if (!c.header.url.empty() && !urls.insert(c.header.url).second) continue;
    chosen.push_back(&c);
    bytes += c.size;
  }

  std::string channel = Win1251ToUtf8(tree.Caption(ChannelTree::RootChannel(folder)));
  std::string title = folder == ChannelTree::RootChannel(folder) ? channel
                                                                  : channel + " / " + Win1251ToUtf8(tree.Caption(folder));
  Feed feed;
  std::string& x = feed.xml;
  x.reserve(bytes * 2 + 4096);  // Cyrillic takes two bytes in UTF-8
  x += "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<feed xmlns=\"http://www.w3.org/2005/Atom\">\n";
  AppendElement(x, "  ", "title", title);
  AppendElement(x, "  ", "id", TagUri("feed/" + tree.RelativePath(folder)));
  AppendElement(x, "  ", "updated", Rfc3339Utc(chosen.empty() ? now : chosen.front()->when));
  if (std::string index = IndexAddress(tree, folder); !index.empty()) {
    x += "  <link rel=\"alternate\" type=\"text/html\" href=\"";
    AppendXml(x, index);
    x += "\"/>\n";
  }
  if (!selfUrl.empty()) {
    x += "  <link rel=\"self\" type=\"application/atom+xml\" href=\"";
    AppendXml(x, selfUrl);
    x += "\"/>\n";
  }
  x += "  <author>\n";
  AppendElement(x, "    ", "name", channel);
  x += "  </author>\n  <generator version=\"1.1\">Skimlet</generator>\n";
  for (const Candidate* c : chosen) feed.entries += AppendEntry(x, *c) ? 1 : 0;
  x += "</feed>\n";
  return feed;
}

std::string FeedFilePath(const ChannelTree& tree, const NodePtr& channel) {
  return tree.DataDir() + "feeds/" + tree.RelativePath(ChannelTree::RootChannel(channel)) + ".atom";
}

bool WriteChannelFeed(const ChannelTree& tree, const NodePtr& channel, std::string* path, std::string* error) {
  std::string file = FeedFilePath(tree, channel);
  if (path) *path = file;
  if (!MakeDirs(tree.DataDir() + "feeds", error)) return false;
  Feed feed = BuildFeed(tree, ChannelTree::RootChannel(channel), kDefaultFeedLimit, std::time(nullptr), FileUrl(file));
  return WriteFileAtomic(file, feed.xml, error, /*readOnly=*/false, /*durable=*/false, 0600);
}

// With the host spelled out: some feed parsers fold "file:///" into "file://", which would
// make the first directory the host; browsers read "localhost" as the local machine.
std::string FileUrl(std::string_view path) { return "file://localhost" + PercentEncode(path, "/", false); }

}  // namespace skimlet
