// After a crash or a cut-off transfer a folder may hold half-fetched attachment files and
// news whose pictures never arrived. A run mends both before it first saves into the folder.
#pragma once

#include <ctime>
#include <string>

namespace skimlet {

class AttachmentQueue;

// Removes the ".SK-tmp" files of an attachment folder last written before `before`; a
// transfer that is still going writes its file often. Returns how many went.
int RemoveStaleTempFiles(const std::string& attachmentDir, const timespec& before);

// Queues again the attachments missing from the `newest` most recently written news of a
// folder (ends in '/'), unless picture downloading is off. Returns how many were missing.
int RequeueMissingAttachments(AttachmentQueue& queue, const std::string& folderPath, std::size_t newest);

}  // namespace skimlet
