// The main window's macro side: the editor page, the "Макро" menu, saving a folder's macro
// (also when the folder is left or the window closes), the preview's view of the channel's
// last run, and the channel files.
#include <QAction>
#include <QApplication>
#include <QMenuBar>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <memory>

#include "authoring/MacroPreview.h"
#include "authoring/ui/ChannelAssistant.h"
#include "authoring/ui/FolderDryRun.h"
#include "authoring/ui/MacroEditor.h"
#include "authoring/ui/MacroPreview.h"
#include "library/ui/AccountsTree.h"
#include "library/ui/NewsList.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "qt/Dialogs.h"
#include "qt/QtText.h"
#include "shell/ChannelFileActions.h"
#include "shell/MainUnit.h"

namespace skimlet {

void TMainForm::CreateMacroActions() {
  struct Def {
    const char* name;
    const char* caption;
    const char* hint;
    const char* category;
    const char* icon;
    QStyle::StandardPixmap fallback;
  };
  const Def defs[] = {
      {"SaveMacro", "Сохранить шаги",
       "Сохранить макропоследовательность (шаги)|Сохранить макропоследовательность (шаги) для текущей папки в файл "
       "Skimlet-macros.ini",
       "Макро", "document-save", QStyle::SP_DialogSaveButton},
      {"ANewMacro", "Новая макрокоманда", "Создание шага|Создает макрокоманду (шаг) в текущей папке (рубрике)", "Макро",
       "list-add", QStyle::SP_FileDialogNewFolder},
      {"DeleteMacro", "Удалить макрокоманду", "Удаление шага|Удаляет макрокоманду (шаг) в текущей папке (рубрике)",
       "Макро", "list-remove", QStyle::SP_DialogDiscardButton},
      {"MacroUp", "Переместить вверх", "Переместить вверх|Перемещает макрокоманду (шаг) вверх по списку", "Макро",
       "go-up", QStyle::SP_ArrowUp},
      {"MacroDown", "Переместить вниз", "Переместить вниз|Перемещает макрокоманду (шаг) вниз по списку", "Макро",
       "go-down", QStyle::SP_ArrowDown},
      {"InsertMacro", "Вставить шаг",
       "Вставить шаг|Вставляет после выбранного шага шаг с командой, которая обычно идёт следом", "Макро",
       "insert-object", QStyle::SP_FileDialogNewFolder},
      {"CopyMacro", "Копировать шаг", "Копировать шаг|Вставляет копию выбранного шага сразу после него", "Макро",
       "edit-copy", QStyle::SP_FileDialogContentsView},
      {"MacroUndo", "Отменить", "Отменить|Отменяет последнюю правку шагов", "Макро", "edit-undo",
       QStyle::SP_ArrowBack},
      {"MacroRedo", "Повторить", "Повторить|Повторяет отменённую правку шагов", "Макро", "edit-redo",
       QStyle::SP_ArrowForward},
      {"SetStandartHint", "Установить стандартную подсказку", "", "Макро", nullptr, QStyle::SP_CustomBase},
      {"OpenCannel", "Добавить/восстановить канал", "Добавить/восстановить канал|Загрузка конфигурации канала",
       "Файл", "document-open", QStyle::SP_DialogOpenButton},
      {"NewChannelByAddress", "Новый канал по адресу…",
       "Новый канал по адресу|Предлагает шаги канала по странице со списком статей и щелчкам по ним", "Файл",
       "document-new", QStyle::SP_FileDialogNewFolder},
      {"SaveChannel", "Сохранить канал", "Сохранить канал|Сохранение кофигурации канала", "Файл",
       "document-save-as", QStyle::SP_DialogSaveButton},
  };
  for (const Def& d : defs) {
    QAction* a = NewAction(d.name, QString::fromUtf8(d.caption), QString::fromUtf8(d.hint), QString::fromUtf8(d.category));
    if (d.icon) a->setIcon(QIcon::fromTheme(d.icon, QApplication::style()->standardIcon(d.fallback)));
  }
  connect(Action("SaveMacro"), &QAction::triggered, this, [this] { SaveMacroExecute(); });
  connect(Action("ANewMacro"), &QAction::triggered, this, [this] { macroEditor_->ANewMacroExecute(); });
  connect(Action("DeleteMacro"), &QAction::triggered, this, [this] { macroEditor_->DeleteMacroExecute(); });
  connect(Action("MacroUp"), &QAction::triggered, this, [this] { macroEditor_->MacroUpExecute(); });
  connect(Action("MacroDown"), &QAction::triggered, this, [this] { macroEditor_->MacroDownExecute(); });
  Action("InsertMacro")->setShortcut(QKeySequence(Qt::Key_Insert));
  Action("CopyMacro")->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
  Action("MacroUndo")->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
  Action("MacroRedo")->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Y));
  connect(Action("InsertMacro"), &QAction::triggered, this, [this] { macroEditor_->InsertMacroExecute(); });
  connect(Action("CopyMacro"), &QAction::triggered, this, [this] { macroEditor_->CopyMacroExecute(); });
  connect(Action("MacroUndo"), &QAction::triggered, this, [this] { macroEditor_->UndoExecute(); });
  connect(Action("MacroRedo"), &QAction::triggered, this, [this] { macroEditor_->RedoExecute(); });
  connect(Action("SetStandartHint"), &QAction::triggered, this, [this] { macroEditor_->SetStandartHintExecute(); });
  connect(Action("OpenCannel"), &QAction::triggered, this, [this] { channelFiles_->OpenCannelExecute(); });
  connect(Action("SaveChannel"), &QAction::triggered, this, [this] { channelFiles_->SaveChannelExecute(); });
  Action("NewChannelByAddress")->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N));
  connect(Action("NewChannelByAddress"), &QAction::triggered, this, [this] {
    if (auto* open = findChild<ChannelAssistant*>()) {
      open->raise();
      open->activateWindow();
      return;
    }
    auto* assistant = new ChannelAssistant(tree_, dataDir_, [this] { return liveSettings_.Get(); }, this);
    assistant->setAttribute(Qt::WA_DeleteOnClose);
    connect(assistant, &ChannelAssistant::created, this, [this](const NodePtr& folder, bool openInEditor, const QString& said) {
      statusBar()->showMessage(said);
      if (!folder) return;
      // Said again once the new folder's list has come, whose count would replace it.
      auto once = std::make_shared<QMetaObject::Connection>();
      *once = connect(listNews_, &NewsList::filled, this, [this, said, once] {
        statusBar()->showMessage(said);
        disconnect(*once);
      });
      accounts_->AddNodeItem(ChannelTree::RootChannel(folder));  // a rubric's channel may be new too
      accounts_->AddNodeItem(folder);
      accounts_->RefreshAll();
      accounts_->SelectNode(folder);
      accounts_->AccountsClick();  // the list and the macro page follow; F9 takes this channel
      if (openInEditor) pageDown_->setCurrentWidget(tabMacro_);
    });
    assistant->show();
  });
}

QWidget* TMainForm::CreateMacroPage() {
  macroEditor_ = new MacroEditor(macro_, catalogue_, tree_);
  macroEditor_->SetActions(Action("SaveMacro"), Action("ANewMacro"), Action("MacroUp"), Action("MacroDown"),
                           Action("DeleteMacro"));
  macroEditor_->SetEditActions(Action("InsertMacro"), Action("CopyMacro"), Action("MacroUndo"), Action("MacroRedo"));
  connect(macroEditor_, &MacroEditor::pageWanted, this, [this] { pageDown_->setCurrentWidget(tabMacro_); });
  return macroEditor_;
}

void TMainForm::CreateMacroMenu() {
  QMenu* macro = menuBar()->addMenu(QString::fromUtf8("Макро"));
  macro->setObjectName("MenuMacro");
  macro->addAction(Action("SaveMacro"));
  macro->addSeparator();
  macro->addAction(Action("MacroUndo"));
  macro->addAction(Action("MacroRedo"));
  macro->addSeparator();
  macro->addAction(Action("ANewMacro"));
  macro->addAction(Action("InsertMacro"));
  macro->addAction(Action("CopyMacro"));
  macro->addAction(Action("DeleteMacro"));
  macro->addSeparator();
  macro->addAction(Action("MacroUp"));
  macro->addAction(Action("MacroDown"));
  macro->addSeparator();
  macro->addAction(Action("SetStandartHint"));
}

void TMainForm::WireMacroEditor(FolderMacro::View& view) {
  macroEditor_->AttachView(view);
  macroEditor_->SetHelpDir(ResourceDir(dataDir_) + "Help/");
  connect(timerAutoStart_, &QTimer::timeout, macroEditor_, [this] {
    if (!closing_) macroEditor_->Tick(pageDown_->currentWidget() == tabMacro_);
  });
  macroEditor_->Preview()->SetContextSource([this] {
    MacroPreviewPane::Context c;
    c.folder = macroNode_;
    const NodePtr channel = ChannelTree::RootChannel(macroNode_);
    const int slot = SlotOf(channel);
    if (slot >= 0 && runs_[slot]) c.runPages = runs_[slot]->Fetched(macroNode_);
    c.history = &history_;
    c.settings = liveSettings_.Get();
    c.channelStartURL = [this, channel] {
      if (!channel) return std::string();
      if (channel == macroNode_) return FirstStartURL(macro_.Table());
      MacroTable table;
      ReadMacroFile(JoinPath(tree_.FolderPath(channel), kMacroFileName), table);
      return FirstStartURL(table);
    };
    return c;
  });

  macroEditor_->DryRun()->SetContextSource([this] {
    FolderDryRunPane::Context c;
    c.dataDir = dataDir_;
    if (macroNode_) c.folderPath = tree_.FolderPath(macroNode_);
    c.macroEdited = macro_.MacroModified();
    c.settings = liveSettings_.Get();
    c.historyText = [this] { return history_.SnapshotText(); };
    return c;
  });

  ChannelFileActions::Hooks hooks;
  hooks.parent = this;
  hooks.tree = &tree_;
  hooks.accounts = accounts_;
  hooks.dataDir = dataDir_;
  hooks.beforeExport = [this](const NodePtr& channel) {
    // The export takes the files: the edits of the channel's folder in the editor go there first, if wanted.
    return !macroNode_ || ChannelTree::RootChannel(macroNode_) != channel || SaveMacroOf(macroNode_, true);
  };
  hooks.afterImport = [this](const NodePtr& channel, const std::vector<NodePtr>& written) {
    // The editor's folder was overwritten as the user asked: it shows the new file.
    if (macroNode_ && std::find(written.begin(), written.end(), macroNode_) != written.end())
      macro_.LoadFolderMacro(tree_.FolderPath(macroNode_));
    accounts_->SelectNode(channel);
    accounts_->AccountsClick();  // the list shows the channel the tree now shows
  };
  hooks.status = [this](const QString& text) { statusBar()->showMessage(text); };
  channelFiles_ = std::make_unique<ChannelFileActions>(std::move(hooks));
}

bool TMainForm::SaveMacroOf(const NodePtr& node, bool ask) {
  const std::string path = tree_.FolderPath(node);
  const bool modified = macro_.MacroModified();
  bool yes = !ask;
  FolderMacro::Question question;
  if (ask)
    question = [this, &yes](const std::string& caption, const std::string& text) {
      return yes = AppDialogs().Question(this, Q(caption), Q(text), false);
    };
  std::string error;
  if (!macro_.SaveFolderMacro(path, tree_.Caption(node), question, &error)) {
    AppDialogs().Message(this, QString::fromUtf8("Шаги папки «%1» не сохранены: %2\rИзменения остались в редакторе.")
                                   .arg(Q(tree_.Caption(node)), QString::fromStdString(error)));
    return false;
  }
  // Written: the editor takes the file again, so that its snapshot is what was written.
  if (modified && yes) macro_.LoadFolderMacro(path);
  return true;
}

void TMainForm::MacroFolderChanging(const NodePtr& node, const NodePtr& old) {
  if (node && node == macroNode_) return;  // back at the folder whose edits the editor keeps
  if (old && old == macroNode_) {
    const bool asks = macro_.MacroModified();
    const bool saved = SaveMacroOf(old, true);
    if (!saved) {
      // The save failed: the edits stay in the editor, and the tree goes back to their folder.
      QTimer::singleShot(0, this, [this, old] {
        if (tree_.AbsoluteIndex(old) >= 0) accounts_->SelectNode(old);
      });
    }
    // The question is modal and swallows the release of the click that lists a folder: once
    // it is answered, the list follows the tree.
    if (asks) QTimer::singleShot(0, accounts_, [this] { accounts_->AccountsClick(); });
    if (!saved) return;
  }
  // Only now: a failed save above leaves the editor showing exactly what it showed.
  macroEditor_->SelectFirstCommand();
  macroNode_ = node;
  macro_.LoadFolderMacro(node ? tree_.FolderPath(node) : std::string());
}

void TMainForm::SaveMacroExecute() {
  if (macroNode_ && SaveMacroOf(macroNode_, false)) Action("SaveMacro")->setEnabled(false);
}

bool TMainForm::SaveMacroOnClose() {
  if (!accounts_->SelectedNode()) {
    if (NodePtr first = tree_.NodeAt(0)) accounts_->SelectNode(first);
  }
  return !macroNode_ || SaveMacroOf(macroNode_, true);
}

void TMainForm::OfferChannelImport(const QString& path) {
  if (isMinimized()) showNormal();
  raise();
  activateWindow();
  channelFiles_->OfferImport(path);
}

}  // namespace skimlet
