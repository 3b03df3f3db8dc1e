// What a proposed channel would save, before it is written: every link the proposal takes,
// page after page of the list, with the name its news would get. Shared by skimlet-cli new
// --dry-run and the window's assistant; the pages come through the caller's fetch (as a run
// fetches them), so this fetches nothing itself.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "authoring/ChannelProposal.h"
#include "authoring/MacroPreview.h"

namespace skimlet {

struct ProposedNews {
  enum class Kind {
    kNamed,     // fetched, accepted by GetNews, named by FindNameNews
    kUntitled,  // fetched and accepted, but the markers miss
    kRefused,   // fetched, without the GetNews key
    kFailed,    // not fetched (`detail` says why)
    kAgain,     // a link taken above already
    kLinkText,  // not fetched (more than the most asked for): named by the link's text
  };
  std::string url;
  Kind kind = Kind::kNamed;
  std::string name;    // Windows-1251
  std::string detail;  // Windows-1251: why it was not fetched
  std::string savedBy;  // Windows-1251: the folder ("Канал/Рубрика") that already holds this news, if any
};

struct ChannelDryRun {
  std::vector<ProposedNews> news;
  int named = 0;             // news that got a name from their page
  int listFailedPage = 0;    // the list page that could not be fetched (2 and on), 0 when none
  std::string listFailure;   // Windows-1251
  std::vector<std::string> listPages;  // every list page the run would read, in order, the first too
  // Windows-1251, one sentence each: what a user would find wrong after the download (two news
  // of one name, pages left unturned, links of the list not taken, news another folder holds).
  std::vector<std::string> warnings;
  bool nameClash = false;  // two news of different links would get one name
};

using ProposalFetch = std::function<PreviewFetch::Result(const std::string& url, bool indexPage)>;
// The folder caption ("Канал/Рубрика", Windows-1251) of the collection that already holds a
// news of this address, "" when none does.
using SavedNewsLookup = std::function<std::string(const std::string& url)>;

// `page` is the list page the proposal was made from; `stopped`, when given, ends the walk.
ChannelDryRun DryRunProposal(const ChannelProposal& proposal, const ProposalInput& input, const ProposalFetch& fetch,
                             int mostFetched = 100, const std::function<bool()>& stopped = {},
                             const SavedNewsLookup& savedBy = {});

// What the trial run's list says of one news (Windows-1251): its name, or why it has none, and
// the folder that saved it already (the shared history makes a download skip that news).
std::string ProposedNewsText(const ProposedNews& news, const std::string& newsKey);

// The proposal with the headline chosen by comparison: up to `more` further articles of the
// list are fetched (at once, each through `fetch`, which must bear being called from several
// threads) and `input` keeps them. Returns the proposal made from the example alone when no
// further article can be had.
ChannelProposal ProposeCompared(ProposalInput& input, const ProposalFetch& fetch, int more = 3);

}  // namespace skimlet
