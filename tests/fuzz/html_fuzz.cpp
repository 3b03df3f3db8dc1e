// libFuzzer target: any page is read by the tokenizer without a crash, every tag it reports
// lies inside the page in order, and the rewriting helpers and link resolution cope with it.
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <string_view>

#include "page/Discovery.h"
#include "page/Html.h"
#include "platform/Url.h"

namespace {

using namespace skimlet;

void Check(bool ok) {
  if (!ok) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view page(reinterpret_cast<const char*>(data), size);
  HtmlTokenizer tokens(page, 0, true);
  HtmlTag tag;
  std::size_t last = 0;
  while (tokens.Next(tag)) {
    Check(tag.begin >= last && tag.begin < tag.end && tag.end <= tag.rawTextEnd && tag.rawTextEnd <= size);
    for (const HtmlAttribute& a : tag.attributes)
      Check(a.begin > tag.begin && a.begin <= a.valueBegin && a.valueBegin <= a.valueEnd && a.valueEnd <= a.end &&
            a.end < tag.end);
    last = tag.rawTextEnd;
  }
  for (const SrcsetCandidate& c : SrcsetCandidates(page)) Check(c.begin < c.end && c.end <= size);
  (void)HtmlText(page);
  (void)MapSrcset(page.substr(0, 512), '"', [](const std::string& u) { return u + "x"; });

  UrlResolver resolver("http://h.ru/a/b/c.html?q#f");
  const std::string link = AttributeUrl(page.substr(0, 256));
  (void)resolver.Resolve(link);

  std::string html(page);
  std::mt19937 rng(1);
  UrlResolver base("http://h.ru/d/");
  DiscoveryOptions options;
  options.resolver = &base;
  MarkAttachments(html, rng, "", options);
  LocalizeAttachments(html, &base);
  BlankRemoteSources(html, "#");
  (void)NewsFileAttachmentBlock(page, "");
  return 0;
}
