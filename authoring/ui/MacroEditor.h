// The page TabMacro ("Макросы папки"): the steps of the selected folder's macro (ListMacro)
// with their toolbar, the fields of the selected step, the command's help page and the live
// preview. Every edit goes straight into the FolderMacro's table; saving it, and the question
// when the folder is left, belong to the window.
#pragma once

#include <QComboBox>
#include <QStringList>
#include <QWidget>
#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "authoring/Auto.h"
#include "authoring/MacroSteps.h"
#include "store/ChannelFolders.h"
#include "store/MacroFile.h"

class QAction;
class QBoxLayout;
class QLabel;
class QLineEdit;
class QListView;
class QListWidget;
class QPushButton;
class QToolBar;
class QWebEngineView;

namespace skimlet {

class FolderDryRunPane;
class MacroPreviewPane;
class StepListModel;

// A parameter field: always editable; a plain field offers no drop-down list, though it keeps
// its variants, so that typing a variant's text still stores the reference.
class ParameterCombo : public QComboBox {
  Q_OBJECT
 public:
  using QComboBox::QComboBox;
  void SetDropDown(bool on);
  bool DropDown() const { return dropDown_; }
  void showPopup() override;

 private:
  bool dropDown_ = true;
};

class MacroEditor : public QWidget {
  Q_OBJECT

 public:
  MacroEditor(FolderMacro& macro, const CommandCatalogue& catalogue, ChannelTree& tree, QWidget* parent = nullptr);
  ~MacroEditor() override;

  // The command selector takes the names of the catalogue, once it is loaded.
  void CatalogueLoaded();
  // Fills in what FolderMacro::LoadFolderMacro needs of the step list.
  void AttachView(FolderMacro::View& view);
  // Where the help pages "<command>.html" are (UTF-8, ending in '/').
  void SetHelpDir(std::string dir);
  // The window's macro actions: the list's toolbar shows them, BitBtn1 triggers SaveMacro.
  void SetActions(QAction* saveMacro, QAction* newMacro, QAction* up, QAction* down, QAction* deleteMacro);
  // Insert, copy, undo and redo: on the toolbar, and their keys work while the page has the focus.
  void SetEditActions(QAction* insert, QAction* copy, QAction* undo, QAction* redo);

  // The actions' work.
  void ANewMacroExecute();
  void DeleteMacroExecute();
  void MacroUpExecute();
  void MacroDownExecute();
  void SetStandartHintExecute();
  // A step after the selected one (at the end without a selection), running the command that
  // usually follows the step before it, with the catalogue's defaults.
  void InsertMacroExecute();
  // A copy of the selected step right after it.
  void CopyMacroExecute();
  // Every edit since the folder's macro was loaded or saved can be undone and redone.
  void UndoExecute();
  void RedoExecute();
  // Every 250 ms: the warning blinks; while the page is shown, SaveMacro is enabled exactly
  // when the macro differs from its file.
  void Tick(bool pageShown);
  // Line 0 of the command selector, as before another folder's macro is loaded.
  void SelectFirstCommand();

  // Findings about the macro (a checker's), one line each; a finding with a step number
  // selects that step when clicked. The list is hidden while empty.
  void ShowFindings(const std::vector<std::pair<int, QString>>& findings);
  // Runs the macro checker when the macro changed: on the folder's file while the macro is as
  // loaded (a stray line shows where it is), on the edited steps once they differ.
  void CheckMacro();

  int SelectedStep() const;
  void SelectStep(int line);  // as a click on the line does
  MacroPreviewPane* Preview() const { return preview_; }
  FolderDryRunPane* DryRun() const { return dryRun_; }
  QListView* ListMacro() const { return listMacro_; }
  QComboBox* AutoActionSelect() const { return autoActionSelect_; }
  QLineEdit* AutoActionMemoHint() const { return autoActionMemoHint_; }
  ParameterCombo* Parameter(int n) const { return fields_[n - 1]; }
  QLabel* ParameterLabel(int n) const { return labels_[n - 1]; }
  QLabel* LabelProgramming() const { return labelProgramming_; }
  // What the last edit did beyond what it shows: jumps to a deleted step. Hidden while empty.
  QLabel* EditNotice() const { return editNotice_; }
  // The help page MacroHelp was last told to show, and how many pages it was told to load.
  const QString& HelpShown() const { return helpShown_; }
  int HelpLoads() const { return helpLoads_; }

 signals:
  // An action wants TabMacro to be the active page.
  void pageWanted();

 private:
  void RefreshStepList();
  void ShowSelectedStep();
  void StoreSelectedStep();
  void SetupParameterField(int n, const TAutoAction& entry);
  void ApplyCommand(const std::string& procedureName);
  void ShowHelp(const std::string& command);
  void showEvent(QShowEvent* event) override;
  void LoadHelp();  // into MacroHelp, made on the first call
  void SetFieldText(int n, const QString& text);
  void SelectLine(int line);  // without the click handling
  void StepChanged();         // the preview follows

  void ListMacroClick();
  void ListMacroClickCheck(int row);
  void AutoActionSelectSelect(int index);
  void P1234Change(int n);
  // The table after an edit goes into the history (not while an edit made of several is under way).
  void RecordEdit(int selectedBefore, int selectedAfter, const std::string& mergeKey = {});
  void ShowRestored(std::optional<int> select);
  void UpdateUndoActions();
  void ShowLostJumps(const std::vector<LostJump>& lost);
  void AutoActionMemoHintChange(const QString& text);

  FolderMacro& macro_;
  const CommandCatalogue& catalogue_;
  std::string helpDir_;
  std::string folderPath_;   // the folder whose macro is loaded
  std::string lastChecked_;  // the text the findings were made from
  bool fileChecked_ = false;  // the findings are those of the file as loaded
  QString helpShown_;
  int helpLoads_ = 0;
  bool programmatic_ = false;  // the program, not the user, is setting fields
  int composite_ = 0;          // an edit of several steps is under way: it is recorded once, at its end
  MacroEditHistory history_;
  QAction* undo_ = nullptr;
  QAction* redo_ = nullptr;
  std::array<std::vector<std::string>, kParameters> variants_;  // each field's list, Windows-1251

  StepListModel* model_ = nullptr;
  QToolBar* toolBar_ = nullptr;
  QListView* listMacro_ = nullptr;
  QLabel* labelProgramming_ = nullptr;
  QComboBox* autoActionSelect_ = nullptr;
  QLineEdit* autoActionMemoHint_ = nullptr;
  std::array<QLabel*, kParameters> labels_{};
  std::array<ParameterCombo*, kParameters> fields_{};
  QWebEngineView* macroHelp_ = nullptr;
  QBoxLayout* helpLayout_ = nullptr;
  QString helpMissing_;  // the command whose help page is missing
  QPushButton* bitBtn1_ = nullptr;
  QListWidget* findings_ = nullptr;
  QLabel* editNotice_ = nullptr;
  MacroPreviewPane* preview_ = nullptr;
  FolderDryRunPane* dryRun_ = nullptr;
  QAction* saveMacro_ = nullptr;
};

}  // namespace skimlet
