#include "authoring/MacroCheck.h"

#include <algorithm>
#include <charconv>
#include <functional>
#include <optional>

#include "authoring/MacroSteps.h"
#include "engine/DownLoad.h"
#include "platform/Text.h"
#include "store/MacroFile.h"

namespace skimlet {

namespace {

constexpr int kRecordLines = 7;

// The lines of a text as the macro reader sees them: a line ends at CR LF, LF or a lone CR,
// and a break at the very end starts no further line.
std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    lines.push_back(text.substr(pos, end - pos));
    pos = end;
    if (pos < text.size() && text[pos] == '\r') ++pos;
    if (pos < text.size() && text[pos] == '\n') ++pos;
  }
  return lines;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Quoted(std::string_view win1251) { return "«" + Win1251ToUtf8(win1251) + "»"; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      std::size_t up = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (Lower(a[i - 1]) == Lower(b[j - 1]) ? 0 : 1)});
      diagonal = up;
    }
  }
  return row[b.size()];
}

std::string StepList(const std::vector<int>& steps) {
  std::string out;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    if (i == 8) return out + " ...";
    out += (i ? ", " : "") + std::to_string(steps[i]);
  }
  return out;
}

// One step as the run reads it, and where its lines are.
struct Record {
  std::string_view command, p[4];
  bool active = false;
  int firstLine = 0;  // file line of the command
};

// The steps a step can go on with: the next one, and the targets of its jumps.
struct Flow {
  std::vector<std::vector<int>> next;
  std::vector<bool> findsLinks;  // an active FindUrlNews
  std::vector<bool> reloads;     // an active GetStart or GetNextIndex: a new IndexHTML
};

class Checker {
 public:
  Checker(std::string_view text, const std::vector<std::string>& known) : lines_(SplitLines(text)), known_(known) {}

  std::vector<MacroFinding> Run() {
    if (!ReadCount()) return Done();
    CheckLineCount();
    CheckActiveLines();
    for (int k = 0; k < checked_; ++k) records_.push_back(RecordAt(k));
    CheckCommands();
    BuildFlow();
    CheckLinkLoops();
    CheckLoopsWithoutLinks();
    return Done();
  }

 private:
  std::string_view LineAt(std::size_t index) const { return index < lines_.size() ? lines_[index] : std::string_view(); }
  int FileLine(std::size_t index) const { return static_cast<int>(index) + 1; }
  std::size_t RecordIndex(int step, int field) const {
    return first_ + static_cast<std::size_t>(step) * kRecordLines + static_cast<std::size_t>(field);
  }

  void Add(MacroFinding::Kind kind, int line, int step, std::string message) {
    findings_.push_back({kind, line, step, std::move(message)});
  }

  std::vector<MacroFinding> Done() {
    std::stable_sort(findings_.begin(), findings_.end(),
                     [](const MacroFinding& a, const MacroFinding& b) { return a.line < b.line; });
    return std::move(findings_);
  }

  // The count: the first word of the first line that is not blank, as the reader takes it.
  bool ReadCount() {
    std::size_t i = 0;
    while (i < lines_.size() && std::all_of(lines_[i].begin(), lines_[i].end(), IsBlank)) ++i;
    if (i == lines_.size()) return false;  // an empty macro
    std::string_view line = lines_[i];
    std::size_t start = 0;
    while (IsBlank(line[start])) ++start;
    std::size_t end = start;
    while (end < line.size() && !IsBlank(line[end])) ++end;
    std::string_view token = line.substr(start, end - start);
    first_ = i + 1;
    long long n = 0;
    std::string_view digits = !token.empty() && token[0] == '+' ? token.substr(1) : token;
    auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
    if (digits.empty() || ec != std::errc() || ptr != digits.data() + digits.size()) {
      Add(MacroFinding::Kind::kStepCount, FileLine(i), -1,
          "в первой строке должно стоять число шагов, а стоит " + Quoted(token) + ": загрузка не прочтёт ни одного шага");
      return false;
    }
    if (n < 0) {
      Add(MacroFinding::Kind::kStepCount, FileLine(i), -1,
          "файл объявляет шагов: " + std::to_string(n) + "; загрузка не прочтёт ни одного");
      return false;
    }
    if (n > kMacroSlots) {
      Add(MacroFinding::Kind::kStepCount, FileLine(i), -1,
          "файл объявляет шагов: " + std::to_string(n) + "; прочтены будут только первые " +
              std::to_string(kMacroSlots));
      n = kMacroSlots;
    }
    count_ = static_cast<int>(n);
    checked_ = count_;
    countLine_ = FileLine(i);
    return true;
  }

  void CheckLineCount() {
    const std::size_t have = lines_.size() - first_, want = static_cast<std::size_t>(count_) * kRecordLines;
    if (have < want) {
      int step = static_cast<int>(have / kRecordLines);
      Add(MacroFinding::Kind::kStepCount, countLine_, step,
          "файл объявляет шагов: " + std::to_string(count_) + ", но его строки кончаются на шаге " +
              std::to_string(step) + " (последняя строка " + std::to_string(lines_.size()) +
              "): недостающие строки читаются пустыми");
    } else if (have > want) {
      std::size_t stray = 0;
      for (std::size_t i = first_ + want; i < lines_.size(); ++i)
        if (!lines_[i].empty()) ++stray;
      if (stray > 0)
        Add(MacroFinding::Kind::kStepCount, countLine_, -1,
            "после шагов (" + std::to_string(count_) + ") в файле ещё строк: " + std::to_string(have - want) +
                " (со строки " + std::to_string(FileLine(first_ + want)) +
                "); загрузка их не читает. Лишняя строка выше или число шагов мало?");
    }
    lineCountFits_ = have == want;
  }

  void CheckActiveLines() {
    std::vector<int> bad;
    for (int k = 0; k < count_ && RecordIndex(k, 1) < lines_.size(); ++k) {
      std::string_view value = lines_[RecordIndex(k, 1)];
      if (value != "ON" && value != "OFF") bad.push_back(k);
    }
    if (bad.empty()) return;
    const bool shifted = bad.size() > 1 || !lineCountFits_;
    if (!shifted) {
      int k = bad[0];
      Add(MacroFinding::Kind::kActiveLine, FileLine(RecordIndex(k, 1)), k,
          "в строке ON/OFF шага " + std::to_string(k) + " стоит " + Quoted(lines_[RecordIndex(k, 1)]) +
              ": загрузка считает шаг выключенным");
      return;
    }
    int k = bad[0];
    int goodLine = k == 0 ? countLine_ : FileLine(RecordIndex(k - 1, 1));
    Add(MacroFinding::Kind::kShiftedRecords, FileLine(RecordIndex(k, 1)), k,
        "в строке ON/OFF шага " + std::to_string(k) + " стоит " + Quoted(lines_[RecordIndex(k, 1)]) +
            ": между строками " + std::to_string(goodLine) + " и " + std::to_string(FileLine(RecordIndex(k, 1))) +
            " добавлена или потеряна строка, и этот шаг со всеми следующими сдвинут");
    checked_ = k;  // what follows is not what its author wrote
  }

  Record RecordAt(int k) const {
    Record r;
    r.command = LineAt(RecordIndex(k, 0));
    r.active = LineAt(RecordIndex(k, 1)) == "ON";
    for (int i = 0; i < 4; ++i) r.p[i] = LineAt(RecordIndex(k, 2 + i));
    r.firstLine = FileLine(RecordIndex(k, 0));
    return r;
  }

  void CheckCommands() {
    bool emptySeen = false;
    for (int k = 0; k < checked_; ++k) {
      const Record& r = records_[static_cast<std::size_t>(k)];
      if (r.command.empty()) {
        if (!emptySeen && k + 1 < count_)
          Add(MacroFinding::Kind::kEmptyCommand, r.firstLine, k,
              "у шага " + std::to_string(k) + " нет команды: папка на нём кончается, шаги с " +
                  std::to_string(k + 1) + " по " + std::to_string(count_ - 1) + " не выполняются");
        emptySeen = true;
      } else if (std::find(known_.begin(), known_.end(), r.command) == known_.end()) {
        std::string message = "шаг " + std::to_string(k) + ": неизвестная команда " + Quoted(r.command);
        if (!known_.empty()) message += " (ближайшая: «" + NearestName(r.command, known_) + "»)";
        Add(MacroFinding::Kind::kUnknownCommand, r.firstLine, k, message + "; загрузка её пропускает");
      }
    }
  }

  // The step a jump parameter leads to inside the macro, if any; a wrong target is reported.
  std::optional<int> Target(int k, int param) {
    const Record& r = records_[static_cast<std::size_t>(k)];
    std::string_view value = r.p[param - 1];
    if (value.empty()) return std::nullopt;  // ends the folder, as meant
    const int line = r.firstLine + 1 + param;
    std::int32_t target = 0;
    if (!ParseStepNumber(std::string(value), target)) {
      Add(MacroFinding::Kind::kJumpTarget, line, k,
          "шаг " + std::to_string(k) + " (" + Win1251ToUtf8(r.command) + ") переходит к " + Quoted(value) +
              ", а это не номер шага: переход завершает папку");
      return std::nullopt;
    }
    if (target >= 0 && target < count_) {
      if (target < checked_) return target;
      return std::nullopt;
    }
    // Just past the last step and past the last step slot are the usual ways to end a folder;
    // a slot further on that could be a step but is not one is a slip (steps renumbered, a
    // step deleted).
    if (target > count_ && target < kMacroSlots)
      Add(MacroFinding::Kind::kJumpTarget, line, k,
          "шаг " + std::to_string(k) + " (" + Win1251ToUtf8(r.command) + ") переходит к шагу " +
              std::to_string(target) + ", а шаги идут от 0 до " + std::to_string(count_ - 1) +
              ": переход завершает папку");
    return std::nullopt;
  }

  void BuildFlow() {
    flow_.next.assign(static_cast<std::size_t>(checked_), {});
    flow_.findsLinks.assign(static_cast<std::size_t>(checked_), false);
    flow_.reloads.assign(static_cast<std::size_t>(checked_), false);
    jumpOut_.assign(static_cast<std::size_t>(checked_), -1);
    for (int k = 0; k < checked_; ++k) {
      const Record& r = records_[static_cast<std::size_t>(k)];
      auto& next = flow_.next[static_cast<std::size_t>(k)];
      if (r.command.empty()) continue;  // the folder ends
      bool fallsThrough = true;
      std::optional<int> jump;
      if (r.active) {
        if (const int p = JumpParameter(r.command)) jump = Target(k, p);
        if (r.command == "GotoMacro") {
          fallsThrough = r.p[1] == "StandartParameter=1" || r.p[1] == "StandartParameter=2";
        } else if (r.command == "GetStart" || r.command == "GetNextIndex") {
          flow_.reloads[static_cast<std::size_t>(k)] = true;
        } else if (r.command == "FindUrlNews") {
          flow_.findsLinks[static_cast<std::size_t>(k)] = true;
          if (jump) jumpOut_[static_cast<std::size_t>(k)] = *jump;
        }
      }
      if (fallsThrough && k + 1 < checked_) next.push_back(k + 1);
      if (jump) next.push_back(*jump);
    }
  }

  // Steps reachable from `from` without passing a step that loads a new IndexHTML.
  std::vector<bool> Reach(int from) const {
    std::vector<bool> seen(flow_.next.size(), false);
    std::vector<int> todo{from};
    seen[static_cast<std::size_t>(from)] = true;
    while (!todo.empty()) {
      int k = todo.back();
      todo.pop_back();
      for (int n : flow_.next[static_cast<std::size_t>(k)]) {
        if (seen[static_cast<std::size_t>(n)] || flow_.reloads[static_cast<std::size_t>(n)]) continue;
        seen[static_cast<std::size_t>(n)] = true;
        todo.push_back(n);
      }
    }
    return seen;
  }

  void CheckLinkLoops() {
    for (int f = 0; f < checked_; ++f) {
      int t = jumpOut_[static_cast<std::size_t>(f)];
      // A page loaded on the way back brings links of its own.
      if (t < 0 || flow_.reloads[static_cast<std::size_t>(t)] || !Reach(t)[static_cast<std::size_t>(f)]) continue;
      const Record& r = records_[static_cast<std::size_t>(f)];
      Add(MacroFinding::Kind::kEndlessLinkLoop, r.firstLine + 3, f,
          "шаг " + std::to_string(f) + " (FindUrlNews), когда новых ссылок больше нет, переходит " +
              (t == f ? std::string("к самому себе") : "к шагу " + std::to_string(t) + ", который ведёт обратно к нему") +
              ": цикл никогда не кончится");
    }
  }

  // Cycles where nothing takes a new link or loads a new IndexHTML: strongly connected parts
  // of the flow without FindUrlNews, GetStart and GetNextIndex.
  void CheckLoopsWithoutLinks() {
    const int n = checked_;
    std::vector<int> index(static_cast<std::size_t>(n), -1), low(static_cast<std::size_t>(n), 0), stack;
    std::vector<bool> onStack(static_cast<std::size_t>(n), false);
    int counter = 0;
    std::function<void(int)> visit = [&](int v) {
      auto V = static_cast<std::size_t>(v);
      index[V] = low[V] = counter++;
      stack.push_back(v);
      onStack[V] = true;
      for (int w : flow_.next[V]) {
        auto W = static_cast<std::size_t>(w);
        if (Progresses(w)) continue;
        if (index[W] < 0) {
          visit(w);
          low[V] = std::min(low[V], low[W]);
        } else if (onStack[W]) {
          low[V] = std::min(low[V], index[W]);
        }
      }
      if (low[V] != index[V]) return;
      std::vector<int> part;
      int w;
      do {
        w = stack.back();
        stack.pop_back();
        onStack[static_cast<std::size_t>(w)] = false;
        part.push_back(w);
      } while (w != v);
      auto& selfNext = flow_.next[V];
      bool loops = part.size() > 1 || std::find(selfNext.begin(), selfNext.end(), v) != selfNext.end();
      if (!loops) return;
      std::sort(part.begin(), part.end());
      Add(MacroFinding::Kind::kLoopWithoutLinks, records_[static_cast<std::size_t>(part[0])].firstLine, part[0],
          (part.size() == 1 ? "шаг " + StepList(part) + " повторяет сам себя" : "шаги " + StepList(part) + " идут по кругу") +
              " без FindUrlNews, GetStart и GetNextIndex: этот цикл остановит только защита от бесконечной загрузки");
    };
    for (int v = 0; v < n; ++v)
      if (index[static_cast<std::size_t>(v)] < 0 && !Progresses(v)) visit(v);
  }

  bool Progresses(int k) const {
    return flow_.findsLinks[static_cast<std::size_t>(k)] || flow_.reloads[static_cast<std::size_t>(k)];
  }

  std::vector<std::string_view> lines_;
  const std::vector<std::string>& known_;
  std::vector<MacroFinding> findings_;
  std::size_t first_ = 0;  // index of the first record line
  int count_ = 0, checked_ = 0, countLine_ = 0;
  bool lineCountFits_ = true;
  std::vector<Record> records_;
  Flow flow_;
  std::vector<int> jumpOut_;  // per FindUrlNews: where it goes when no link is left
};

}  // namespace

std::vector<std::string> KnownCommands(const CommandCatalogue& catalogue) {
  std::vector<std::string> names;
  for (const TAutoAction& entry : catalogue.entries)
    if (!entry.ProcedureName.empty() &&
        std::find(names.begin(), names.end(), entry.ProcedureName) == names.end())
      names.push_back(entry.ProcedureName);
  return names;
}

std::string NearestName(std::string_view name, const std::vector<std::string>& candidates) {
  std::string best;
  std::size_t bestDistance = std::string::npos;
  for (const std::string& c : candidates) {
    std::size_t d = EditDistance(name, c);
    if (d < bestDistance) {
      bestDistance = d;
      best = c;
    }
  }
  return best;
}

std::vector<MacroFinding> CheckMacroText(std::string_view text, const std::vector<std::string>& knownCommands) {
  return Checker(text, knownCommands).Run();
}

}  // namespace skimlet
