// A folder's macro program and its file "Skimlet-macros.ini": a count, then seven lines per
// step (command, ON/OFF, P1..P4, description), Windows-1251, CR LF.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace skimlet {

inline constexpr int kMacroSlots = 1001;
inline constexpr const char* kMacroFileName = "Skimlet-macros.ini";

struct TTmpOneMacroComand {
  std::string Command;
  std::string P1, P2, P3, P4;
  std::string Description;
  bool Active = false;

  bool operator==(const TTmpOneMacroComand&) const = default;
};

// 1001 step slots and a count; slots from the count upwards are ignored.
struct MacroTable {
  std::vector<TTmpOneMacroComand> steps = std::vector<TTmpOneMacroComand>(kMacroSlots);
  std::int32_t count = 0;
};

// What reading a macro file found.
struct MacroReadResult {
  bool exists = false;     // the file was there
  std::int32_t count = 0;  // steps loaded into the table
  std::string error;       // UTF-8 message for the user; empty when the file was sound
};

// Reads a whole macro file into `table`. A count that is not a number loads nothing; a
// negative count loads nothing; a count above 1001 loads the first 1001 steps. Each of
// these says why in `error`. Missing lines read as empty strings.
MacroReadResult ReadMacroFile(const std::string& filePath, MacroTable& table);

// The file's bytes for the first `count` steps of `table`.
std::string FormatMacroFile(const MacroTable& table);

// Step k of the folder's macro file, read afresh from the start of the file; the empty
// step when there is no file or k is outside 0..count-1. Any thread may call it.
TTmpOneMacroComand ReadMacroStep(const std::string& folderPath, std::int32_t k);
// Step k of a macro file's text.
TTmpOneMacroComand MacroStepFromText(std::string_view text, std::int32_t k);

// The working copy of the selected folder's macro and the snapshot it was loaded as.
// Belongs to the window thread. The editor's list and the question box are seams.
class FolderMacro {
 public:
  // The editor's step list: what LoadFolderMacro needs of it.
  struct View {
    std::function<int()> selectedLine;                       // -1 when none
    std::function<void()> clear;
    std::function<void(std::int32_t count, int select)> show;  // fill count lines, select one
    std::function<void(const std::string& folderPath)> setTitle;
    std::function<void(const std::string& message)> error;   // UTF-8
  };
  // The Yes/No question of SaveFolderMacro: caption and text (Windows-1251); true = Yes.
  using Question = std::function<bool(const std::string& caption, const std::string& text)>;

  MacroTable& Table() { return table_; }
  const MacroTable& Table() const { return table_; }
  const MacroTable& Snapshot() const { return snapshot_; }
  void SetView(View view) { view_ = std::move(view); }

  // Replaces the table and the snapshot with the macro of `folderPath` (empty: no folder).
  void LoadFolderMacro(const std::string& folderPath);
  // Writes the table if it was modified, after `ask` says Yes when `ask` is given.
  // `folderCaption` is the node's own caption (Windows-1251). False when a write failed.
  bool SaveFolderMacro(const std::string& folderPath, const std::string& folderCaption,
                       const Question& ask, std::string* error = nullptr);
  // Writes the table unconditionally, creating the folder's directory if needed.
  bool WriteFolderMacroFile(const std::string& folderPath, std::string* error = nullptr);
  bool MacroModified() const;

 private:
  MacroTable table_;
  MacroTable snapshot_;
  View view_;
};

// The question's caption and text for a folder (Windows-1251, lines split by CR).
std::string SaveMacroQuestionCaption(const std::string& folderCaption);
std::string SaveMacroQuestionText(const std::string& folderCaption);

}  // namespace skimlet
