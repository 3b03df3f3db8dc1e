// The macro editor's live preview: what one step of a macro would do, worked out on the pages
// the channel's last run fetched (or on a page fetched for the preview) by the run's own
// commands, on a scratch run that reaches neither the network, the window nor the tree.
//
// The preview follows the macro as a run would: a step after FindUrlNews works on the link
// that FindUrlNews would take next (the first matching link that the history does not hold,
// as GetNews tests it), a step after EditUrlNews or EditHTMLNews on what those steps made.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/DownLoad.h"
#include "page/Tools.h"
#include "store/ChannelFolders.h"
#include "store/History.h"
#include "store/MacroFile.h"
#include "store/Settings.h"

namespace skimlet {

// What the preview may keep from one update to the next: each link of the index page as GetNews
// would test it (its URL after the EditUrlNews steps, and whether the history holds it), valid
// while the page, the history and those steps stay the same. Typing a FindUrlNews fragment
// then costs only the search.
struct PreviewCache {
  std::shared_ptr<const std::string> page;  // kept, so that another page cannot take its place
  std::string key;                          // the rest of what the entries depend on
  std::vector<std::optional<std::pair<std::string, bool>>> byPlace;  // by the link's place on the page
};

struct PreviewInput {
  const MacroTable* table = nullptr;         // the macro as edited, saved or not
  std::int32_t step = -1;                    // the step to preview
  FetchedPages pages;                        // the index page and the news page
  const HistorySnapshot* history = nullptr;  // what counts as loaded before; null: nothing
  bool checkHistory = true;                  // false while NotCheckHistory is ticked
  NodePtr folder;                            // the macro's folder (news names are checked in it)
  std::string channelStartURL;               // GetStart's URL in the channel folder's macro
  PreviewCache* cache = nullptr;             // may be null
  std::uint64_t historyVersion = 0;          // changes whenever *history does
};

// One place where a command changed a text: beforeLength bytes at beforeStart became
// afterLength bytes at afterStart (0-based).
struct TextChange {
  std::size_t beforeStart = 0, beforeLength = 0, afterStart = 0, afterLength = 0;
};

struct PreviewLink {
  std::string link;           // as the page writes it
  std::string url;            // as GetNews tests it against the history
  bool loadedBefore = false;  // the history holds it: GetNews would skip it
  bool next = false;          // the news the macro would download next
};

inline constexpr std::size_t kMaxPreviewChanges = 30;

struct StepPreview {
  enum class Kind {
    kNone,   // nothing to work on (see summary)
    kFind,   // a fragment looked for (also GetNextIndex): excerpt and match
    kLinks,  // FindUrlNews: links
    kEdit,   // EditUrlNews, EditHTMLNews, EditIndexHTML: before, after, changes
    kName,   // FindNameNews: title, name
    kNote,   // a command the preview does not work out
  };
  Kind kind = Kind::kNone;
  bool positive = false;             // found, jumps, takes a link, finds a title
  std::string summary;               // Windows-1251: what the step would do
  std::string source;                // Windows-1251: the page it worked on
  std::string excerpt;               // kFind: the match with some text around it
  std::optional<TextSpan> match;     // kFind: the match within the excerpt
  std::vector<PreviewLink> links;    // kLinks: the matching links, in page order
  std::size_t pageLinks = 0;         // kLinks: every link of the page (at most 10000)
  std::string before, after;         // kEdit
  std::vector<TextChange> changes;   // kEdit: the first kMaxPreviewChanges places
  bool moreChanges = false;          // kEdit: there are more
  std::string title;                 // kName: the title between the markers
  std::string name;                  // kName: the news name the run would give
  std::vector<std::string> log;      // the run's log lines for the command, colour first
};

// Works out step input.step. Fetches nothing.
StepPreview PreviewStep(ChannelTree& tree, const PreviewInput& input);

// The places where `after` differs from `before`, in order, at most maxChanges of them;
// `more` says whether there were further ones. Every stretch outside the places is equal.
std::vector<TextChange> ChangedPlaces(std::string_view before, std::string_view after, std::size_t maxChanges,
                                      bool* more = nullptr);

// The URL of the first active GetStart of a macro; empty without one.
std::string FirstStartURL(const MacroTable& table);

// The page the preview's fetch button brings for a step: the news page it works on when
// that is known, else the index page.
struct PreviewPageRequest {
  std::string url;  // empty: there is nothing to fetch
  bool indexPage = true;
};
PreviewPageRequest PageForStep(ChannelTree& tree, const PreviewInput& input);

// Fetches one page for the preview the way GetStart (index page) or GetNews fetches it, with
// the page cache and cookies of the data directory. Holds nothing of the caller's, so it may
// outlive the window's tree in another thread.
class PreviewFetch {
 public:
  PreviewFetch(const std::string& dataDir, const RunSettings& settings);
  ~PreviewFetch();
  PreviewFetch(const PreviewFetch&) = delete;
  PreviewFetch& operator=(const PreviewFetch&) = delete;

  struct Result {
    bool ok = false;
    std::string page;   // Windows-1251, as the run would have it
    std::string address;  // what the page's links resolve against (after redirects, <base href>)
    std::string error;  // Windows-1251
  };
  Result Fetch(const std::string& url, bool indexPage);  // blocking; once per object
  void Stop();                                           // any thread: the fetch ends at once

 private:
  class Host;
  ChannelTree tree_;
  std::unique_ptr<Host> host_;
  std::unique_ptr<TDownload> run_;
};

}  // namespace skimlet
