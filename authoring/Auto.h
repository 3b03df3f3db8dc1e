// The command catalogue: how the macro editor presents each macro command (display name,
// hint, labels, defaults, visibility, predefined variants), read from Actions/ActionsList.txt.
// The download run never uses it; it knows commands by their procedure names.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace skimlet {

inline constexpr int kCatalogueEntries = 13;  // entries 0..12
inline constexpr int kSelectorEntries = 12;   // entries 0..11 can be listed in the selector; 12 stays blank
inline constexpr int kVariantSlots = 9;
inline constexpr int kParameters = 4;
inline constexpr std::size_t kCatalogueValueMax = 99999;
inline constexpr std::string_view kStandardParameter = "StandartParameter=";

// One catalogue entry. Index 0 of each array is parameter P1.
struct TAutoAction {
  std::string Name;
  std::string Hint;
  std::string ProcedureName;
  std::array<std::string, kParameters> P;                                // default values
  std::array<std::string, kParameters> PLabel;                           // label captions
  std::array<bool, kParameters> PEnable{};                               // the field is shown
  std::array<std::array<std::string, kVariantSlots>, kParameters> PVar;  // filled from slot 0
};

struct CommandCatalogue {
  std::array<TAutoAction, kCatalogueEntries> entries;
};

// Fills `catalogue` (cleared first) from the text of a catalogue file. Lines that do not fit
// the bounds (a key before the first "Name", a fourteenth "Name" and its keys, a tenth variant
// of one parameter) are dropped; each drop, an over-long value and a nameless entry add a
// UTF-8 message to `problems`.
void ParseCommandCatalogue(std::string_view text, CommandCatalogue& catalogue,
                           std::vector<std::string>& problems);

struct CatalogueLoadResult {
  bool exists = false;                // false: the caller shows MissingCatalogueMessage and quits
  std::vector<std::string> problems;  // UTF-8, each naming the file and the line
};
CatalogueLoadResult LoadCommandCatalogue(const std::string& filePath, CommandCatalogue& catalogue);

// resourceDir (ending in '/') + "Actions/ActionsList.txt".
std::string CatalogueFilePath(const std::string& resourceDir);
// "Нет файла " and the path, Windows-1251.
std::string MissingCatalogueMessage(const std::string& filePath);

// The lines of the command selector: the names of entries 0..11 that are not empty.
std::vector<std::string> SelectorNames(const CommandCatalogue& catalogue);

// Entries 0..11 whose Name equals `name`; the last match counts. -1 when none.
int FindByDisplayName(const CommandCatalogue& catalogue, std::string_view name);

// Entries below the selector's line count whose ProcedureName equals `command`; the first
// match counts. Without one, the line count itself (12, the blank entry, for twelve commands).
int FindByProcedureName(const CommandCatalogue& catalogue, std::string_view command);

// Hint of the last entry 1..12 whose Name equals the selector's text (SetStandartHint).
std::optional<std::string> StandardHint(const CommandCatalogue& catalogue, std::string_view selectorText);

// The drop-down list of parameter n (1..4) of an entry: its variants that are not empty.
std::vector<std::string> VariantList(const TAutoAction& entry, int n);

// The value stored for a parameter field: "StandartParameter=" and i when the text equals
// line i of the field's list (the last such line), else the text itself.
std::string EncodeParameter(std::string_view text, const std::vector<std::string>& list);

// The variant index named by a stored value: after the last "=" of a value that contains
// "StandartParameter=". Empty when the value is no reference or the index is not a number.
std::optional<long long> ReferenceIndex(std::string_view stored);

// The text shown for a stored value of parameter n (1..4). A reference to a variant that the
// entry does not have (not a number, outside 0..8, an empty slot) is shown as stored, so that
// storing the field again keeps it.
std::string DecodeParameter(const TAutoAction& entry, int n, std::string_view stored);

}  // namespace skimlet
