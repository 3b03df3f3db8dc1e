// The link of a list page that leads to its next page, as a reader picks it. Pagers also
// link back ("« Назад", the first page, "Page 2 / 4" with arrows both ways), so the first
// link after the pager's start is often the wrong one.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "platform/Url.h"

namespace skimlet {

struct ForwardLink {
  enum How { kNone = 0, kNumber = 1, kClass = 2, kText = 3, kRel = 4 };
  How how = kNone;
  std::size_t at = std::string::npos;  // where the href value begins in the page
  std::string href;                    // the value as written
  std::string url;                     // absolute, without a fragment
};

// In order of trust: the link with rel="next"; else the one whose text says "next" (», ›, →,
// «Следующая», «Далее», «Вперёд», «Ещё», Next, Older); else one whose class (or its element's)
// says "next"; else the link to the page numbered one above this one. Links before `from`, links back to this page and other schemes don't count.
// `page` is Windows-1251; `resolver` holds the page's own address (after redirects, <base>).
// `skip`, when given, passes over links by their href as written (an article's "Далее »").
ForwardLink FindForwardLink(std::string_view page, UrlResolver& resolver, std::size_t from = 0,
                            const std::function<bool(std::string_view href)>& skip = {});

}  // namespace skimlet
