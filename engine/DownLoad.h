// A download run: one thread that walks a channel and its rubrics in tree order and
// executes each checked folder's macro, step by step, reading every step afresh from the
// folder's macro file.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <unordered_set>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/LookAhead.h"
#include "engine/RunHost.h"
#include "platform/Http.h"
#include "platform/Url.h"
#include "store/ChannelFolders.h"
#include "store/History.h"
#include "store/MacroFile.h"
#include "store/NewsFolder.h"

namespace skimlet {

class AttachmentQueue;

// Log colours: 24-bit values with red in the low byte.
enum LogColour : std::uint32_t {
  kBlack = 0,
  kDarkRed = 128,
  kRed = 255,
  kGreen = 32768,
  kOlive = 32896,
  kBlue = 16711680,
};

// Special values of StepIndex.
inline constexpr std::int32_t kEndFolder = -1;
inline constexpr std::int32_t kEndRun = -999;

// A channel's run holds this dot-file of the channel folder locked (flock), so that a second
// run of the channel, in this process or another, does not start.
inline constexpr const char* kChannelLockFile = ".skimlet-lock";

// What keeps a wild macro from running for ever or eating the memory.
struct RunLimits {
  // Steps a folder may execute in a row without a page fetched or a news saved.
  int maxStepsWithoutProgress = 10000;
  // Fetches of one address in one run.
  int maxFetchesPerAddress = 100;
  // Lines the run's log keeps (its start is then dropped, with a line that says so).
  std::size_t maxLogLines = 20000;
};
inline constexpr std::size_t kMaxRunLogLines = RunLimits{}.maxLogLines;

// The line that stands first in a log whose start was dropped to keep `maxLines` lines.
std::string LogCutNotice(std::size_t maxLines);

// The news of the 50 most recently written news of a folder are looked at for missing
// pictures when a run first saves into the folder.
inline constexpr int kRepairNewestNews = 50;

// The buffers of a run, as the window's debug views see them.
struct RunBuffers {
  std::string StartURL;
  std::string IndexHTML;
  std::string NewsURL;
  std::string HTML;
  std::string NewsName;
};

// The last index page GetStart fetched and the last news page GetNews fetched, as they
// arrived, before any command changed them: what the macro editor's preview works on. The
// pages are shared read-only, so handing them to another thread copies no text.
struct FetchedPages {
  std::shared_ptr<const std::string> index;  // null until a GetStart has fetched
  std::string indexURL;
  std::shared_ptr<const std::string> news;   // null until a GetNews has fetched
  std::string newsURL;
};

// What a dry run found: it fetches and works as a run does and writes nothing (no news,
// history, pictures, cookies or cache entries), keeping these instead.
struct DryRunEntry {
  enum class Kind {
    kWouldSave,  // SaveNews would have written this news
    kInHistory,  // GetNews passed over this address: the history holds it
    kFolderEnd,  // how the folder ended
  };
  Kind kind = Kind::kWouldSave;
  NodePtr folder;
  std::string url;   // kWouldSave, kInHistory
  std::string text;  // Windows-1251: kWouldSave the news name, kFolderEnd how it ended
};

class TDownload {
 public:
  TDownload(ChannelTree& tree, RunHost& host);
  ~TDownload();  // stops the run and waits for its thread
  TDownload(const TDownload&) = delete;
  TDownload& operator=(const TDownload&) = delete;

  // Set before Start().
  void SetChannel(const NodePtr& channel);
  void SetHistorySnapshot(std::string text);
  void SetStepMode(bool on) { stepMode_ = on; }
  // Where FindAttachment hands its pictures (none: they are not queued).
  void SetAttachmentQueue(AttachmentQueue* queue) { attachments_ = queue; }
  // A line the log shows right after the run's first one (who started the run).
  void SetStartNote(std::string note) { startNote_ = std::move(note); }
  // Tests shorten the idle time-out of transfers.
  void SetHttpTimeouts(long connectMs, long idleMs);
  // A dry run writes nothing; DryRunRecord() tells what it would have done.
  void SetDryRun(bool on) { dryRun_ = on; }
  bool DryRun() const { return dryRun_; }
  std::vector<DryRunEntry> DryRunRecord() const;
  // The run goes through its channel's own folder and then this one only, checked or not
  // (the macro page's check of a folder: a rubric goes on from the channel's IndexHTML).
  void SetOnlyFolder(NodePtr folder) { onlyFolder_ = std::move(folder); }
  // Tests lower the guards against endless runs.
  void SetLimits(const RunLimits& limits) { limits_ = limits; }

  // Starts the thread running Execute().
  void Start();
  void Join();
  bool Joinable() const { return thread_.joinable(); }

  // Any thread.
  void StopRun();
  void Pause();
  void Resume();
  bool Finished() const { return finished_; }
  bool Paused() const { return paused_; }
  bool StepMode() const { return stepMode_; }
  std::int32_t StepIndex() const { return stepIndex_; }
  NodePtr ChannelNode() const;
  std::int32_t SavedCount() const { return savedCount_; }
  // Pages this run could not fetch (network failures, HTTP errors, limits; a stop is none),
  // and whether one of them was an index page.
  int FailedFetches() const { return failedFetches_; }
  // News this run could not write (a folder it cannot write to, a full disk).
  int UnwrittenNews() const { return unwrittenNews_; }
  bool IndexFailed() const { return indexFailed_; }
  RunBuffers Buffers() const;
  // News pages fetched ahead and not yet taken, and those still arriving.
  int PagesAhead() const { return lookAhead_.Pending(); }
  int PagesAheadArriving() const { return lookAhead_.Running(); }
  int PagesTakenAhead() const { return takenAhead_; }
  // How many news pages of `host` (HostKey) the run fetches ahead: the setting, halved for
  // every 429 the host answered in this run. Run thread, or after the run.
  int LookAheadFor(const std::string& host) const;
  // The pages the folder's steps worked on in this run (the index page may come from an
  // earlier folder's GetStart); the run's last pages for a folder it has not reached.
  FetchedPages Fetched(const NodePtr& folder) const;
  std::vector<std::string> RunLog() const;
  // Brings the window up to date with the run (also called by the window on selection).
  void ShowRunState();

  // The thread body; public so tests can run it in their own thread.
  void Execute();

  // The commands, as the step interpreter calls them. Run thread only.
  void GetStart(const std::string& p1, const std::string& p2, const std::string& p3);
  void FindUrlNews(const std::string& p1, const std::string& p2);
  void EditUrlNews(const std::string& p1, const std::string& p2, const std::string& p3, const std::string& p4);
  void GetNews(const std::string& p1, const std::string& p4);
  void EditHTMLNews(const std::string& p1, const std::string& p2, const std::string& p3, const std::string& p4);
  void FindNameNews(const std::string& p1, const std::string& p2);
  void FindAttachment(const std::string& p1, const std::string& p2, const std::string& p3);
  void SaveNews();
  void GotoMacro(const std::string& p1, const std::string& p2, const std::string& p3, const std::string& p4);
  void GetNextIndex(const std::string& p1, const std::string& p2, const std::string& p3, const std::string& p4);
  void NoteListPageRead(const std::string& address);
  void EditIndexHTML(const std::string& p1, const std::string& p2);

  // A link of the index page made absolute: against the address the index page came from
  // (after redirects, and its <base href>), "" without a StartURL.
  std::string ResolveURL(const std::string& link) const;
  UrlResolver IndexResolver() const;  // the same resolution, for many links
  // Makes the values of one attribute ("href=", "src=") of the HTML buffer absolute.
  void AbsolutizeAttribute(const std::string& name);
  // Sets NewsName to a usable file name and returns the news file's path (UTF-8).
  std::string BuildNewsFileName();

  // The page fetcher.
  bool OpenStartPage(const std::string& url);
  std::string FetchPage(const std::string& url);
  std::uint32_t OpenFlags() const { return openFlags_; }
  // The address a page fetched from `requested` came from, with its <base href> applied:
  // what its links resolve against.
  std::string PageBase(const std::string& requested, const std::string& page) const;

  // For tests and the window's debug views: the run's fields, set directly. Run thread only.
  RunBuffers& MutableBuffers() { return buf_; }
  void SetCurrentFolder(const NodePtr& folder);
  void SetExecutingStep(std::int32_t step) { executingStep_ = step; }
  void SetStepIndex(std::int32_t step) { stepIndex_ = step; }
  const HistorySnapshot& History() const { return history_; }

 private:
  void AddRunLog(const std::string& message, std::uint32_t colour);
  std::string Prefix() const;  // "step " + number of the executing step
  void Dispatch(const TTmpOneMacroComand& step);
  void SetNodeImage(const NodePtr& node, int image);
  void WaitWhilePaused();
  void Jump(const std::string& target);  // StepIndex := target, or -1
  HttpSettings MakeHttpSettings() const;
  bool OpenUrl(const std::string& url, bool withHeaderBlock);
  // What a fetch that arrived whole leaves behind (the run's counters, the status bar), and
  // the page, converted when the settings say so.
  std::string PageArrived(const std::string& url, std::string page, const std::string& contentType,
                          const std::string& effectiveUrl);
  // GetNews's page when it was fetched ahead: as FetchPage would have given it.
  std::string TakeAheadPage(const std::string& url, AheadPage&& ahead);
  // After FindUrlNews took a link: when the steps that follow lead to GetNews, the pages the
  // next links will ask for start arriving.
  void PlanLookAhead(const std::string& fragment);
  // What EditUrlNews makes of `url` with these parameters.
  std::string EditedUrl(std::string url, const std::string& p1, const std::string& p2, const std::string& p3,
                        const std::string& p4) const;
  // A host that answered 429 gets half its look-ahead for the rest of the run.
  void CutLookAhead(const std::string& host);
  // Notes why the current fetch failed (Windows-1251) and closes it.
  void FetchFailed(const std::string& reason);
  void RecordDownload(const std::string& line);
  // Before the first save into a folder: its news by address, stale attachment files, missing pictures.
  void PrepareFolderForSaving();
  // Counts a fetch of `url`; one too many ends the folder (throws LoopStop).
  void CountFetch(const std::string& url);
  void EndLoop(const std::string& what);  // logs the loop and ends the folder
  // Link resolution for the HTML buffer: against the article's own address when it was
  // fetched by this run.
  const std::string& IndexBase() const;  // the index page's final address or <base href>
  UrlResolver PageResolver() const;
  void KeepFetched(bool indexPage, const std::string& url, const std::string& page);
  // Fetches `url` into IndexHTML as the index page (StartURL := url), logging as `command`.
  enum class IndexLoad { kLoaded, kNoAnswer, kNoPage };
  IndexLoad LoadIndex(const std::string& url, const std::string& command);
  void WriteFeed(const NodePtr& channel);
  void Record(DryRunEntry::Kind kind, std::string url, std::string text);

  ChannelTree& tree_;
  RunHost& host_;
  std::thread thread_;

  // Shared with the window thread.
  mutable std::mutex mutex_;  // guards buf_ writes seen by Buffers(), runLog_, channel_, currentFolder_
  RunBuffers buf_;
  FetchedPages fetched_;
  std::map<NodePtr, FetchedPages> fetchedByFolder_;
  std::deque<std::string> runLog_;
  NodePtr channel_;
  NodePtr currentFolder_;
  std::atomic<bool> finished_{false};
  std::atomic<bool> paused_{false};
  std::atomic<bool> stepMode_{false};
  std::atomic<std::int32_t> stepIndex_{0};
  std::atomic<std::int32_t> savedCount_{0};
  std::atomic<int> failedFetches_{0};
  std::atomic<int> unwrittenNews_{0};
  std::atomic<bool> indexFailed_{false};
  std::atomic<int> takenAhead_{0};
  std::mutex pauseMutex_;
  std::condition_variable pauseCv_;

  // Run thread only.
  std::string currentFolderPath_;
  TTmpOneMacroComand currentStep_;
  std::int32_t executingStep_ = 0;
  HistorySnapshot history_;
  std::unordered_set<std::string> refetch_;  // addresses the user wants fetched again
  std::uint32_t openFlags_ = 0;
  HttpClient http_;
  bool httpOpen_ = false;
  std::string fetchError_;  // why the last fetch failed (Windows-1251); empty when it worked
  std::string agent_;       // the browser identification of the last request
  std::uint64_t runId_;     // pictures of one run are fetched once per address
  std::string lastFetchUrl_;               // where the last page fetched came from (wire form)
  std::string indexBase_, indexBaseFor_;   // base of IndexHTML, and the StartURL it belongs to
  mutable std::unique_ptr<UrlResolver> indexResolver_;  // ResolveURL's, for the base below
  mutable std::string indexResolverFor_;
  std::string pageBase_;                   // base of the HTML buffer, "" when not fetched by the run
  std::string attachmentHead_;             // the block FindAttachment put in front of the buffer
  // The last page fetched, and the HTML buffer's page, were recoded without a charset
  // declaration: SaveNews adds one to the file, outside what the macro's commands see.
  bool fetchedUndeclared_ = false, htmlUndeclared_ = false;
  std::mt19937 rng_;
  AttachmentQueue* attachments_ = nullptr;
  RunLimits limits_;
  int stepsWithoutProgress_ = 0;
  int nextPages_ = 0;  // pages GetNextIndex followed since the last GetStart or folder start
  std::set<std::string> listPagesRead_;  // the list pages read since then, without fragments
  std::unordered_map<std::string, int> fetches_;  // per address, this run
  // Addresses (wire form) that failed, or were no page, in this run: not fetched again.
  std::unordered_set<std::string> failedUrls_;
  std::string openedUrl_;  // the wire address of the last request
  struct timespec runStart_ {};                 // wall clock, for the age of leftover files
  NewsFolderIndex newsIndex_;                     // of the folder being saved into

  std::string startNote_;
  bool dryRun_ = false;
  std::vector<DryRunEntry> dryRunRecord_;  // guarded by mutex_
  NodePtr onlyFolder_;
  std::set<std::string> dryRunFiles_;      // the news files a dry run would have written
  std::string folderEnd_;                  // how the current folder ended, when a command says
  // The last macro file read, kept while the file is unchanged on disk (every save replaces
  // it, so a changed file is always read again).
  struct MacroCache {
    std::string path;
    std::uint64_t inode = 0, size = 0;
    std::int64_t mtimeNs = 0;
    std::string text;
  } macroCache_;
  TTmpOneMacroComand ReadStep(const std::string& folderPath, std::int32_t k);
  long connectTimeoutMs_ = 30000;
  long idleTimeoutMs_ = 60000;
  std::unordered_map<std::string, int> aheadByHost_;  // hosts whose look-ahead was cut
  LookAhead lookAhead_;  // last: its transfers end before anything they could touch
};

// Parses a jump target: an optionally signed decimal integer, leading blanks allowed.
bool ParseStepNumber(const std::string& text, std::int32_t& value);

// Body normalisation of a news file: every run of control characters after the first
// character becomes one CR LF.
std::string NormalizeNewsBody(const std::string& html);

// The links FindUrlNews looks at, in page order: the value behind each "HREF=" (any case) up
// to a quote, a blank or ">", at most 10000 of them. `visit` returns false to stop.
void ForEachIndexLink(std::string_view page, const std::function<bool(std::string_view link)>& visit);

// The next-page link GetNextIndex follows: the first link of the page that begins at or
// behind the match of `fragment` and ends past it; empty when there is none.
std::string NextIndexLink(std::string_view page, std::string_view fragment);
// With `forward` (GetNextIndex's P3 "StandartParameter=1"), the link that leads forward at or
// behind the fragment's start (FindForwardLink), the whole page when the fragment is empty.
std::string NextIndexLink(std::string_view page, std::string_view fragment, bool forward, UrlResolver& resolver);
bool NextIndexForward(const std::string& p3);

}  // namespace skimlet
