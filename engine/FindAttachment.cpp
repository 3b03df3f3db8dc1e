// The FindAttachment command: the page's pictures and style sheets into the attachment
// block, its references pointed at the local copies, the pairs handed to the queue.
#include "attachments/DownLoadAttachment.h"
#include "engine/DownLoad.h"
#include "page/Discovery.h"
#include "page/Tools.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Text.h"

namespace skimlet {

namespace {

constexpr const char* kLogo = "SkimletLogo.gif";

// The picture that stands in for remote ones, beside the news that refer to it.
void PutLogo(const std::string& folderPath, const std::string& dataDir) {
  const std::string target = folderPath + kLogo;
  if (FileExists(target)) return;
  std::string logo;
  if (ReadWholeFile(ResourceDir(dataDir) + kLogo, logo)) WriteFileAtomic(target, logo, nullptr, false, false);
}

}  // namespace

void TDownload::FindAttachment(const std::string& p1, const std::string& p2, const std::string& p3) {
  AddRunLog(Prefix() + W(">> FindAttachment. Идет обработка новости."), kBlue);
  const std::string attachmentDir = currentFolderPath_ + "Attachment/";
  std::string html = buf_.HTML;
  UrlResolver resolver = PageResolver();
  DiscoveryOptions options;
  options.resolver = resolver.HasBase() ? &resolver : nullptr;
  if (!attachmentHead_.empty() && html.starts_with(attachmentHead_)) options.headLength = attachmentHead_.size();
  options.stop = &finished_;
  if (!MarkAttachments(html, rng_, attachmentDir, options)) return;  // the run was stopped
  if (p1 == "StandartParameter=0") LocalizeAttachments(html, options.resolver);
  attachmentHead_ = html.substr(0, html.find(kDataEndMarker) + kDataEndMarker.size());
  {
    std::lock_guard lock(mutex_);
    buf_.HTML = html;
  }
  if (p2 == "StandartParameter=0" && attachments_ && !dryRun_) {
    try {
      // The pictures go with the identification and address of the page they belong to.
      attachments_->EnqueueAttachments(html, attachmentDir, false, {runId_, agent_, buf_.NewsURL});
    } catch (const std::exception&) {
      // A failed hand-off must not stop the command; the pictures can be fetched later.
    }
  }
  AddRunLog(Prefix() + W(">> FindAttachment. ГОТОВО."), kBlue);
  if (p1 == "StandartParameter=0" && (p3 == "StandartParameter=0" || p3 == "StandartParameter=1")) {
    // Whatever still loads from the network (other picture types, scripts) is blanked.
    const bool logo = p3 == "StandartParameter=0";
    if (BlankRemoteSources(html, logo ? kLogo : "#") > 0 && logo && !dryRun_) PutLogo(currentFolderPath_, tree_.DataDir());
    std::lock_guard lock(mutex_);
    buf_.HTML = std::move(html);
  }
}

}  // namespace skimlet
