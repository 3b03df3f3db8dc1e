#include "authoring/Auto.h"

#include <algorithm>
#include <charconv>

#include "platform/Files.h"
#include "platform/Text.h"

namespace skimlet {

namespace {

// Calls fn(line, number) for every line; a line ends at CR LF, LF or a lone CR.
template <typename Fn>
void ForEachLine(std::string_view text, Fn&& fn) {
  std::size_t pos = 0;
  long long number = 0;
  while (pos < text.size()) {
    std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    fn(text.substr(pos, end - pos), ++number);
    pos = end;
    if (pos < text.size() && text[pos] == '\r') ++pos;
    if (pos < text.size() && text[pos] == '\n') ++pos;
  }
}


enum class ParamField { kDefault, kLabel, kEnable, kVar };

// "P1" .. "P4", optionally followed by "Label", "Enable" or "Var".
bool ParseParamKey(std::string_view key, int& index, ParamField& field) {
  if (key.size() < 2 || key[0] != 'P' || key[1] < '1' || key[1] > '4') return false;
  index = key[1] - '1';
  std::string_view rest = key.substr(2);
  if (rest.empty())
    field = ParamField::kDefault;
  else if (rest == "Label")
    field = ParamField::kLabel;
  else if (rest == "Enable")
    field = ParamField::kEnable;
  else if (rest == "Var")
    field = ParamField::kVar;
  else
    return false;
  return true;
}

bool IsKnownKey(std::string_view key) {
  int index = 0;
  ParamField field{};
  return key == "Name" || key == "ProcedureName" || key == "Hint" || ParseParamKey(key, index, field);
}

}  // namespace

void ParseCommandCatalogue(std::string_view text, CommandCatalogue& catalogue,
                           std::vector<std::string>& problems) {
  catalogue = CommandCatalogue{};
  int current = -1;  // kCatalogueEntries once the entries are used up
  ForEachLine(text, [&](std::string_view line, long long number) {
    std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) return;
    std::string_view key = line.substr(0, eq);
    std::string_view value = line.substr(eq + 1);
    if (!IsKnownKey(key)) return;
    std::string where = "строка " + std::to_string(number) + ": ";
    if (value.size() > kCatalogueValueMax) {
      problems.push_back(where + "значение «" + std::string(key) + "» длиннее " + std::to_string(kCatalogueValueMax) +
                         " знаков; остаток отброшен.");
      value = value.substr(0, kCatalogueValueMax);
    }
    if (key == "Name") {
      if (current < kCatalogueEntries) ++current;
      if (current == kCatalogueEntries) {
        problems.push_back(where + "запись " + QuotedForMessage(value) + " не помещается: в каталоге не больше " +
                           std::to_string(kCatalogueEntries) + " записей; она пропущена.");
        return;
      }
      catalogue.entries[current].Name = value;
      if (value.empty() && current < kSelectorEntries)
        problems.push_back(where + "у записи " + std::to_string(current) +
                           " пустое имя: её нет в списке команд, и записи после неё не совпадают со строками "
                           "списка.");
      return;
    }
    if (current < 0) {
      problems.push_back(where + "«" + std::string(key) + "» стоит раньше первой строки «Name»; строка пропущена.");
      return;
    }
    if (current >= kCatalogueEntries) return;  // belongs to an entry already reported
    TAutoAction& entry = catalogue.entries[current];
    if (key == "ProcedureName") {
      entry.ProcedureName = value;
      return;
    }
    if (key == "Hint") {
      entry.Hint = value;
      return;
    }
    int index = 0;
    ParamField field{};
    ParseParamKey(key, index, field);
    switch (field) {
      case ParamField::kDefault:
        entry.P[index] = value;
        break;
      case ParamField::kLabel:
        entry.PLabel[index] = value;
        break;
      case ParamField::kEnable:
        entry.PEnable[index] = value == "True";
        break;
      case ParamField::kVar: {
        if (value.empty()) break;  // leaves its slot for the next variant line
        auto& slots = entry.PVar[index];
        auto slot = std::find_if(slots.begin(), slots.end(), [](const std::string& s) { return s.empty(); });
        if (slot == slots.end()) {
          problems.push_back(where + "вариант " + QuotedForMessage(value) + " параметра P" + std::to_string(index + 1) +
                             " в записи " + std::to_string(current) + " " + QuotedForMessage(entry.Name) +
                             " не помещается: у параметра не больше " + std::to_string(kVariantSlots) +
                             " вариантов; он пропущен.");
          break;
        }
        *slot = value;
        break;
      }
    }
  });
}

CatalogueLoadResult LoadCommandCatalogue(const std::string& filePath, CommandCatalogue& catalogue) {
  CatalogueLoadResult result;
  catalogue = CommandCatalogue{};
  std::string text, error;
  if (!FileExists(filePath)) return result;
  result.exists = true;
  if (!ReadWholeFile(filePath, text, &error)) {
    result.problems.push_back(error);
    return result;
  }
  std::vector<std::string> problems;
  ParseCommandCatalogue(text, catalogue, problems);
  for (std::string& p : problems) result.problems.push_back(filePath + ", " + p);
  return result;
}

std::string CatalogueFilePath(const std::string& resourceDir) {
  return JoinPath(resourceDir, "Actions/ActionsList.txt");
}

std::string MissingCatalogueMessage(const std::string& filePath) {
  return W("Нет файла ") + Utf8ToWin1251(filePath);
}

std::vector<std::string> SelectorNames(const CommandCatalogue& catalogue) {
  std::vector<std::string> names;
  for (int i = 0; i < kSelectorEntries; ++i)
    if (!catalogue.entries[i].Name.empty()) names.push_back(catalogue.entries[i].Name);
  return names;
}

int FindByDisplayName(const CommandCatalogue& catalogue, std::string_view name) {
  int found = -1;
  for (int i = 0; i < kSelectorEntries; ++i)
    if (catalogue.entries[i].Name == name) found = i;
  return found;
}

int FindByProcedureName(const CommandCatalogue& catalogue, std::string_view command) {
  int lines = static_cast<int>(SelectorNames(catalogue).size());
  for (int i = 0; i < lines; ++i)
    if (catalogue.entries[i].ProcedureName == command) return i;
  return lines;
}

std::optional<std::string> StandardHint(const CommandCatalogue& catalogue, std::string_view selectorText) {
  std::optional<std::string> hint;
  for (int i = 1; i < kCatalogueEntries; ++i)
    if (catalogue.entries[i].Name == selectorText) hint = catalogue.entries[i].Hint;
  return hint;
}

std::vector<std::string> VariantList(const TAutoAction& entry, int n) {
  std::vector<std::string> list;
  if (n < 1 || n > kParameters) return list;
  for (const std::string& v : entry.PVar[n - 1])
    if (!v.empty()) list.push_back(v);
  return list;
}

std::string EncodeParameter(std::string_view text, const std::vector<std::string>& list) {
  std::string result(text);
  if (text.empty()) return result;
  for (std::size_t i = 0; i < 10 && i < list.size(); ++i)
    if (list[i] == text) result = std::string(kStandardParameter) + std::to_string(i);
  return result;
}

std::optional<long long> ReferenceIndex(std::string_view stored) {
  if (stored.find(kStandardParameter) == std::string_view::npos) return std::nullopt;
  std::string_view digits = stored.substr(stored.rfind('=') + 1);
  long long n = 0;
  auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
  if (digits.empty() || ec != std::errc() || ptr != digits.data() + digits.size()) return std::nullopt;
  return n;
}

std::string DecodeParameter(const TAutoAction& entry, int n, std::string_view stored) {
  std::optional<long long> index = ReferenceIndex(stored);
  if (!index || n < 1 || n > kParameters || *index < 0 || *index >= kVariantSlots ||
      entry.PVar[n - 1][*index].empty())
    return std::string(stored);
  return entry.PVar[n - 1][*index];
}

}  // namespace skimlet
