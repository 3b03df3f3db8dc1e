// The FindAttachment command: the page's pictures and style sheets into the attachment
// block, its references pointed at the local copies, the pairs handed to the queue.
#include "attachments/Discovery.h"
#include "attachments/DownLoadAttachment.h"
#include "engine/DownLoad.h"
#include "engine/Tools.h"
#include "platform/Text.h"

namespace skimlet {

void TDownload::FindAttachment(const std::string& p1, const std::string& p2, const std::string& p3) {
  AddRunLog(Prefix() + W(">> FindAttachment. Идет обработка новости."), kBlue);
  const std::string attachmentDir = currentFolderPath_ + "Attachment/";
  std::string html = buf_.HTML;
  MarkAttachments(html, rng_, attachmentDir);
  if (p1 == "StandartParameter=0") LocalizeAttachments(html);
  {
    std::lock_guard lock(mutex_);
    buf_.HTML = html;
  }
  if (p2 == "StandartParameter=0" && attachments_) {
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
    // The logo is written bare in an unquoted source, "#" always quoted.
    const bool logo = p3 == "StandartParameter=0";
    const std::string quoted = logo ? "SRC=\"SkimletLogo.gif\"" : "SRC=\"#\"";
    FindFragment(html, "SRC=\"http*\"", quoted, 999, false);
    FindFragment(html, "SRC=http* ", logo ? std::string("SRC=SkimletLogo.gif ") : quoted + " ", 999, false);
    std::lock_guard lock(mutex_);
    buf_.HTML = std::move(html);
  }
}

}  // namespace skimlet
