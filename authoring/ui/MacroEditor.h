// The page TabMacro ("Макросы папки"): the steps of the selected folder's macro (ListMacro)
// with their toolbar, the fields of the selected step, the command's help page and the live
// preview. Every edit goes straight into the FolderMacro's table; saving it, and the question
// when the folder is left, belong to the window.
#pragma once

#include <QComboBox>
#include <QStringList>
#include <QWidget>
#include <array>
#include <string>
#include <utility>
#include <vector>

#include "authoring/Auto.h"
#include "engine/MacroFile.h"
#include "library/ChannelFolders.h"

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

  // The actions' work.
  void ANewMacroExecute();
  void DeleteMacroExecute();
  void MacroUpExecute();
  void MacroDownExecute();
  void SetStandartHintExecute();
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
  QListView* ListMacro() const { return listMacro_; }
  QComboBox* AutoActionSelect() const { return autoActionSelect_; }
  QLineEdit* AutoActionMemoHint() const { return autoActionMemoHint_; }
  ParameterCombo* Parameter(int n) const { return fields_[n - 1]; }
  QLabel* ParameterLabel(int n) const { return labels_[n - 1]; }
  QLabel* LabelProgramming() const { return labelProgramming_; }
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
  void P1234Change();
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
  MacroPreviewPane* preview_ = nullptr;
  QAction* saveMacro_ = nullptr;
};

}  // namespace skimlet
