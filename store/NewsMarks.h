// What the news list's actions do on disk: the read mark, the favourite mark, renaming, and
// finding a news's lines in the download history. A rename never replaces another file.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace skimlet {

// Why a name typed for a news cannot be its file name (Windows-1251 text for a message), or
// empty when it can. `utf8Name` is the trimmed text; with `extension` it must fit 255 bytes.
std::string NewsNameProblem(const std::string& utf8Name, std::string_view extension);

// The message for a name that another news of the folder already has.
std::string NewsNameTakenText();

struct NewsRenameResult {
  std::string newPath;  // the news's path now (the old one when nothing changed)
  std::string problem;  // empty when renamed; otherwise why not (Windows-1251)
};

// Gives the news at `path` the name `typedUtf8` (trimmed here), keeping its ending. Refused
// when the name is unusable or any news of the folder has it, as ".html" or ".htm".
NewsRenameResult RenameNewsFile(const std::string& path, const std::string& typedUtf8);

// Makes a news favourite (".html" -> ".htm") or ordinary again. Its read mark stays.
// Refused, changing nothing, when the other name is taken.
NewsRenameResult SetNewsFavourite(const std::string& path, bool favourite);

// True when a history line records `url` exactly as the download lookup reads it:
// "NewsURL=" + url + two blanks.
bool HistoryLineHoldsUrl(std::string_view line, std::string_view url);

// The attachment files (full paths, existing) that these news list and no other news of
// their folders does: what goes into the trash with them.
std::vector<std::string> AttachmentsOnlyTheyList(const std::vector<std::string>& newsPaths);

}  // namespace skimlet
