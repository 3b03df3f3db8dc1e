#include "authoring/ChannelDryRun.h"

#include <future>
#include <map>
#include <set>

#include "page/Pagination.h"
#include "page/Html.h"
#include "platform/Text.h"
#include "platform/Url.h"

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

namespace {

// The address of the list's next page that a reader would follow from this page, links of
// articles aside; "" when none.
std::string SiteNextPage(const std::vector<ProposedLink>& taken, const std::string& page, const std::string& pageUrl) {
  UrlResolver resolver(pageUrl);
  std::set<std::string> articles;
  for (const ProposedLink& l : taken) articles.insert(l.url);
  return FindForwardLink(page, resolver, 0, [&](std::string_view href) {
           return articles.count(NewsAddress(resolver.Resolve(AttributeUrl(href)))) > 0;
         }).url;
}

}  // namespace

ChannelDryRun DryRunProposal(const ChannelProposal& proposal, const ProposalInput& input, const ProposalFetch& fetch,
                             int mostFetched, const std::function<bool()>& stopped, const SavedNewsLookup& savedBy) {
  ChannelDryRun out;
  auto stop = [&] { return stopped && stopped(); };
  std::vector<ProposedLink> links = proposal.links;
  std::set<std::string> read{WithoutFragment(input.indexUrl), WithoutFragment(input.startUrl)};
  out.listPages.push_back(input.indexUrl);
  std::string lastPage = input.indexPage, lastUrl = input.indexUrl;
  std::vector<ProposedLink> lastLinks = proposal.links;
  std::string next = input.pages > 1 ? ReadListPage(proposal, input.indexPage, input.indexUrl).next : std::string();
  for (int page = 2; page <= input.pages && !next.empty() && !stop(); ++page) {
    if (!read.insert(next).second) {
      out.warnings.push_back(W("страница списка уже пройдена: ") + next +
                             W(" — ссылка «дальше» ведёт назад, листание остановится"));
      next.clear();
      break;
    }
    PreviewFetch::Result more = fetch(next, true);
    if (!more.ok) {
      out.listFailedPage = page;
      out.listFailure = more.error;
      break;
    }
    out.listPages.push_back(next);
    read.insert(WithoutFragment(more.address));
    ListPageLinks found = ReadListPage(proposal, more.page, more.address);
    links.insert(links.end(), found.links.begin(), found.links.end());
    next = found.next;
    lastPage = std::move(more.page);
    lastUrl = more.address;
    lastLinks = std::move(found.links);
  }
  if (input.pages > 1 && static_cast<int>(out.listPages.size()) < input.pages && out.listFailedPage == 0 && !stop()) {
    const std::string more = SiteNextPage(lastLinks, lastPage, lastUrl);
    if (!more.empty() && read.count(more) == 0)
      out.warnings.push_back(W("листание остановится на странице ") + std::to_string(out.listPages.size()) +
                             W(" из ") + std::to_string(input.pages) + W(", а у сайта есть следующая: ") + more);
  }
  for (const std::string& url : proposal.notTaken)
    out.warnings.push_back(W("ссылка списка не будет взята: ") + url);

  int fetched = 0, elsewhere = 0;
  std::set<std::string> seen;
  std::map<std::string, std::pair<std::string, std::string>> named;  // name -> its address and link text
  std::string firstElsewhere;
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
    if (n.kind == ProposedNews::Kind::kNamed) {
      auto [at, fresh] = named.try_emplace(n.name, l.url, l.text);
      out.nameClash = out.nameClash || (!fresh && at->second.second != l.text);
      if (!fresh && at->second.second != l.text)
        out.warnings.push_back(W("две новости получат одно имя «") + n.name + W("»: ") + at->second.first + W(" и ") +
                               l.url);
    }
    if (!n.savedBy.empty() && n.kind != ProposedNews::Kind::kAgain && elsewhere++ == 0)
      firstElsewhere = n.savedBy;
    out.news.push_back(std::move(n));
  }
  if (elsewhere > 0)
    out.warnings.push_back(W("новостей, уже сохранённых другими папками: ") + std::to_string(elsewhere) +
                           W(" (первая — в «") + firstElsewhere + W("»); загрузка их пропустит"));
  return out;
}

ChannelProposal ProposeCompared(ProposalInput& input, const ProposalFetch& fetch, int more) {
  input.compareUrls.clear();
  input.comparePages.clear();
  ChannelProposal first = ProposeChannel(input);
  if (first.steps.empty() || !input.nameStart.empty() || more <= 0) return first;
  // Articles spread over the list: its second link, its middle and its end.
  std::set<std::string> examples;
  for (const std::string& e : input.exampleUrls) examples.insert(NewsAddress(e));
  std::vector<std::string> others;
  for (const ProposedLink& l : first.links)
    if (examples.count(l.url) == 0 && std::find(others.begin(), others.end(), l.url) == others.end())
      others.push_back(l.url);
  std::vector<std::string> chosen;
  for (std::size_t at : {std::size_t{0}, others.size() / 2, others.size() - 1})
    if (at < others.size() && std::find(chosen.begin(), chosen.end(), others[at]) == chosen.end() &&
        static_cast<int>(chosen.size()) < more)
      chosen.push_back(others[at]);
  if (chosen.empty()) return first;
  std::vector<std::future<PreviewFetch::Result>> pages;
  for (const std::string& url : chosen)
    pages.push_back(std::async(std::launch::async, [&fetch, url] { return fetch(url, false); }));
  for (std::size_t i = 0; i < chosen.size(); ++i) {
    PreviewFetch::Result r = pages[i].get();
    if (!r.ok || r.page.empty()) continue;
    input.compareUrls.push_back(chosen[i]);
    input.comparePages.push_back(std::move(r.page));
  }
  return input.compareUrls.empty() ? first : ProposeChannel(input);
}

}  // namespace skimlet
