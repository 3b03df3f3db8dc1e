// Channel configuration files (.skc): a channel's macro and the macros of its rubrics in one
// Windows-1251 text with CR LF, for export and for import on this or another machine.
//
//   Name Channel
//   description channel
//   Skimlet: Start Channel Setting
//   <folder name>, <step count>, 7 lines per step as in Skimlet-macros.ini   (the channel)
//   ... one such block per rubric, in tree order
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "store/ChannelFolders.h"
#include "store/MacroFile.h"

namespace skimlet {

inline constexpr std::string_view kChannelFileHeader = "Skimlet: Start Channel Setting";
inline constexpr const char* kChannelFilesDirName = "Configure Channells";

struct ChannelBlock {
  std::string name;                       // Windows-1251 caption
  std::vector<TTmpOneMacroComand> steps;  // at most kMacroSlots
  long long line = 0;                     // line of the name in the file (1-based), 0 if none
};

struct ChannelFileContent {
  bool hasHeader = false;
  std::vector<ChannelBlock> blocks;   // the channel first, then its rubrics
  std::vector<std::string> errors;    // UTF-8; a file with errors is not imported at all
  std::vector<std::string> warnings;  // UTF-8; what was read leniently (short last block, ...)
};

// Reads a .skc text. Lines before the header are ignored; empty and blank lines where a folder
// name or a step count is due are passed over, so trailing blank lines make no folder. A name
// with nothing after it is dropped with a warning. A count that is not a number, negative or
// above 1001 stops the reading with an error; step lines missing at the end read as empty.
ChannelFileContent ParseChannelFile(std::string_view text);

// The file's bytes: the three fixed lines, then every block.
std::string FormatChannelFile(const std::vector<ChannelBlock>& blocks);

// Why a name from a shared file cannot be a folder under Accounts/ (UTF-8), or empty when it
// can: IsSafeFolderName, plus names the tree never shows (dot-names, "Attachment", blank) and
// names that change on their way to the disk and back.
std::string FolderNameProblem(const std::string& win1251Name);

// The overwrite questions, Windows-1251 (a path is UTF-8 and converted). true = Yes.
using OverwriteQuestion = std::function<bool(const std::string& text)>;
std::string ExportFileQuestion(const std::string& filePath);
std::string ImportChannelQuestion(const std::string& channelName);

// "Channel " + the channel's caption + ".skc" (Windows-1251), the name the save dialog proposes.
std::string ProposedExportFileName(const std::string& channelCaption);
// dataDir + "Configure Channells/": where the dialogs start.
std::string ChannelFilesDir(const std::string& dataDir);

struct ChannelExportResult {
  enum class Status { kWritten, kNoFolder, kDeclined, kFailed };
  Status status = Status::kNoFolder;
  int folders = 0;
  std::vector<std::string> warnings;  // UTF-8: macro files that were damaged or clipped
  std::string error;                  // UTF-8, with kFailed
};

// Writes the channel of `selected` (the channel and its rubrics, in tree order, each macro
// read from its file) to `filePath` atomically. An existing file is replaced only after
// `ask` says Yes (no `ask` = No). A folder whose caption could not be read back makes the
// export fail rather than write a file that imports wrongly. The caller reloads the selected
// folder's macro into the editor afterwards.
ChannelExportResult ExportChannel(const ChannelTree& tree, const NodePtr& selected,
                                  const std::string& filePath, const OverwriteQuestion& ask);

struct ChannelImportResult {
  enum class Status { kImported, kNoHeader, kRefused, kDeclined, kFailed };
  Status status = Status::kNoHeader;
  NodePtr channel;                    // the channel node, when imported
  std::vector<std::string> written;   // captions of the folders written, in file order
  std::vector<std::string> created;   // captions of the folders created for the import
  std::vector<std::string> errors;    // UTF-8: why nothing (or not everything) was imported
  std::vector<std::string> warnings;  // UTF-8
};

// Imports a .skc file into the tree: the whole file is checked first, and a file with any
// error writes nothing. An existing channel is overwritten only after `ask` says Yes (no
// `ask` = No); rubrics named in the file are created or overwritten, others stay. Every
// written folder is marked for download. Nothing is written outside tree.AccountsDir().
ChannelImportResult ImportChannel(ChannelTree& tree, const std::string& filePath,
                                  const OverwriteQuestion& ask);
ChannelImportResult ImportChannelText(ChannelTree& tree, std::string_view text, const OverwriteQuestion& ask);

// A new folder for a macro of its own: a channel (rubric empty) or a rubric, of an existing
// channel or of a new one made with it; names are Windows-1251. Why it cannot be made (UTF-8,
// Russian, saying what to do instead), or "" when it can: an unsafe name, a channel or rubric
// of that name already there, something else in the new channel's place.
std::string NewMacroFolderProblem(const ChannelTree& tree, const std::string& channel, const std::string& rubric);

struct MadeMacroFolder {
  std::string path;   // the folder the steps went into (ends in '/'), "" when nothing was made
  NodePtr node;       // its node in the tree
  std::string said;   // UTF-8: what was made, «Создан канал «…» и рубрика «…»»
  std::string error;  // UTF-8: why nothing was made
};

// Makes that folder with the macro `steps` (a new channel of a rubric gets an empty macro),
// each folder made marked for download and added to the tree. Refuses what
// NewMacroFolderProblem refuses: nothing that exists is ever overwritten, and a channel made
// for a rubric that cannot be written is taken away again.
MadeMacroFolder CreateMacroFolder(ChannelTree& tree, const std::string& channel, const std::string& rubric,
                                  const std::vector<TTmpOneMacroComand>& steps);

}  // namespace skimlet
