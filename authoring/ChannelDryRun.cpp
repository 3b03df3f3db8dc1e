#include "authoring/ChannelDryRun.h"

#include <set>

#include "platform/Text.h"

namespace skimlet {

std::string ProposedNewsText(const ProposedNews& news, const std::string& newsKey) {
  std::string text;
  switch (news.kind) {
    case ProposedNews::Kind::kAgain: text = W("(уже взята выше)"); break;
    case ProposedNews::Kind::kFailed: text = W("(не получена: ") + news.detail + ")"; break;
    case ProposedNews::Kind::kRefused: text = W("(нет фрагмента ") + newsKey + ")"; break;
    case ProposedNews::Kind::kUntitled: text = W("(без заголовка)"); break;
    case ProposedNews::Kind::kNamed:
    case ProposedNews::Kind::kLinkText: text = news.name; break;
  }
  if (!news.savedBy.empty()) text += (text.empty() ? "" : " ") + W("(уже сохранена в «") + news.savedBy + W("»)");
  return text;
}

ChannelDryRun DryRunProposal(const ChannelProposal& proposal, const ProposalInput& input, const ProposalFetch& fetch,
                             int mostFetched, const std::function<bool()>& stopped,
                             const SavedNewsLookup& savedBy) {
  ChannelDryRun out;
  auto stop = [&] { return stopped && stopped(); };
  std::vector<ProposedLink> links = proposal.links;
  std::string next = input.pages > 1 ? ReadListPage(proposal, input.indexPage, input.indexUrl).next : std::string();
  for (int page = 2; page <= input.pages && !next.empty() && !stop(); ++page) {
    PreviewFetch::Result more = fetch(next, true);
    if (!more.ok) {
      out.listFailedPage = page;
      out.listFailure = more.error;
      break;
    }
    ListPageLinks found = ReadListPage(proposal, more.page, more.address);
    links.insert(links.end(), found.links.begin(), found.links.end());
    next = found.next;
  }
  int fetched = 0;
  std::set<std::string> seen;
  for (const ProposedLink& l : links) {
    if (stop()) break;
    ProposedNews n;
    n.url = l.url;
    if (savedBy) n.savedBy = savedBy(l.url);
    if (!seen.insert(l.url).second) {
      n.kind = ProposedNews::Kind::kAgain;
    } else if (fetched < mostFetched) {
      ++fetched;
      PreviewFetch::Result page = fetch(l.url, false);
      if (!page.ok) {
        n.kind = ProposedNews::Kind::kFailed;
        n.detail = page.error;
      } else if (!ProposedNewsAccepted(proposal, page.page)) {
        n.kind = ProposedNews::Kind::kRefused;
      } else {
        n.name = ProposedNewsName(proposal, page.page);
        n.kind = n.name.empty() ? ProposedNews::Kind::kUntitled : ProposedNews::Kind::kNamed;
        if (!n.name.empty()) ++out.named;
      }
    } else {
      n.kind = ProposedNews::Kind::kLinkText;
      n.name = l.text;
    }
    out.news.push_back(std::move(n));
  }
  return out;
}

}  // namespace skimlet

namespace skimlet {

ChannelProposal ProposeCompared(ProposalInput& input, const ProposalFetch& fetch, int more) {
  (void)fetch;
  (void)more;
  return ProposeChannel(input);
}

}  // namespace skimlet
