#include "authoring/ui/MacroEditor.h"

#include <QAbstractListModel>
#include <QAction>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <algorithm>
#include <limits>

#include "authoring/MacroCheck.h"
#include "authoring/MacroSteps.h"
#include "platform/Files.h"
#include "authoring/ui/FolderDryRun.h"
#include "authoring/ui/MacroPreview.h"
#include "qt/Dialogs.h"
#include "qt/QtText.h"
#include "qt/WebViews.h"

namespace skimlet {

namespace {

const QColor kWarningRed(255, 0, 0);
const QColor kWarningMaroon(128, 0, 0);
const char* const kNoLabel = "------------------------------------";
constexpr int kFindingStepRole = Qt::UserRole + 1;

}  // namespace

// ListMacro's lines, read from the macro table as they are drawn, so that a refresh of every
// line costs one signal. The lines are counted apart from the table, the way the list and the
// table go through the steps of an edit one after the other.
class StepListModel : public QAbstractListModel {
 public:
  StepListModel(FolderMacro& macro, QObject* parent) : QAbstractListModel(parent), macro_(macro) {}

  int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : lines_; }
  Qt::ItemFlags flags(const QModelIndex& index) const override {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
  }
  QVariant data(const QModelIndex& index, int role) const override {
    const TTmpOneMacroComand* step = Step(index);
    if (!step) return {};
    switch (role) {
      case Qt::DisplayRole:
        return Q(StepLineText(index.row(), *step));
      case Qt::CheckStateRole:
        return step->Active ? Qt::Checked : Qt::Unchecked;
      case Qt::ToolTipRole:
        return PlainTip(Q(step->Description));
      default:
        return {};
    }
  }
  bool setData(const QModelIndex& index, const QVariant& value, int role) override {
    if (role != Qt::CheckStateRole || !Step(index)) return false;
    macro_.Table().steps[index.row()].Active = value.toInt() == Qt::Checked;
    emit dataChanged(index, index, {Qt::CheckStateRole});
    if (onCheck) onCheck(index.row());
    return true;
  }

  void SetLines(int lines) {
    beginResetModel();
    lines_ = lines;
    endResetModel();
  }
  void InsertLine(int row) {
    beginInsertRows({}, row, row);
    ++lines_;
    endInsertRows();
  }
  void RemoveLine(int row) {
    beginRemoveRows({}, row, row);
    --lines_;
    endRemoveRows();
  }
  void RefreshAll() {
    if (lines_ > 0) emit dataChanged(index(0), index(lines_ - 1), {Qt::DisplayRole, Qt::CheckStateRole});
  }

  std::function<void(int)> onCheck;

 private:
  const TTmpOneMacroComand* Step(const QModelIndex& index) const {
    const MacroTable& t = macro_.Table();
    if (!index.isValid() || index.row() >= lines_ || index.row() >= std::min(t.count, kMacroSlots)) return nullptr;
    return &t.steps[index.row()];
  }

  FolderMacro& macro_;
  int lines_ = 0;
};

void ParameterCombo::SetDropDown(bool on) {
  dropDown_ = on;
  setProperty("dropDown", on);
  // A plain field shows no arrow.
  setStyleSheet(on ? QString()
                   : QStringLiteral("QComboBox { border: 1px solid palette(mid); border-radius: 2px; padding: 1px 3px; "
                                    "background: palette(base); } "
                                    "QComboBox::drop-down { width: 0px; border: none; }"));
}

void ParameterCombo::showPopup() {
  if (dropDown_) QComboBox::showPopup();
}

MacroEditor::MacroEditor(FolderMacro& macro, const CommandCatalogue& catalogue, ChannelTree& tree, QWidget* parent)
    : QWidget(parent), macro_(macro), catalogue_(catalogue) {
  // The step list and its toolbar.
  auto* listPanel = new QWidget;
  auto* listLayout = new QVBoxLayout(listPanel);
  listLayout->setContentsMargins(0, 0, 0, 0);
  listLayout->setSpacing(1);
  toolBar_ = new QToolBar;
  toolBar_->setObjectName("ToolBarMacro");
  toolBar_->setIconSize(QSize(16, 16));
  toolBar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
  model_ = new StepListModel(macro_, this);
  model_->onCheck = [this](int row) { ListMacroClickCheck(row); };
  listMacro_ = new QListView;
  listMacro_->setObjectName("ListMacro");
  listMacro_->setModel(model_);
  listMacro_->setUniformItemSizes(true);
  listMacro_->setSelectionMode(QAbstractItemView::SingleSelection);
  listMacro_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  listMacro_->setFont(QFont(QStringLiteral("Monospace")));
  // A click on a toolbar button leaves the keyboard with the steps (not with the page around
  // them), so that Ctrl+Z and the arrows go on working there.
  toolBar_->setFocusPolicy(Qt::ClickFocus);
  toolBar_->setFocusProxy(listMacro_);
  connect(listMacro_->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] {
    if (!programmatic_) ListMacroClick();
  });
  findings_ = new QListWidget;
  findings_->setObjectName("MacroFindings");
  findings_->setMaximumHeight(120);
  // A finding is a sentence or two: wrapped to the list's width, whole in its tooltip.
  findings_->setWordWrap(true);
  findings_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  findings_->setResizeMode(QListView::Adjust);
  findings_->setTextElideMode(Qt::ElideNone);
  findings_->hide();
  connect(findings_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
    bool ok = false;
    int step = item->data(kFindingStepRole).toInt(&ok);
    if (ok && step >= 0 && step < model_->rowCount()) SelectStep(step);
  });
  listLayout->addWidget(toolBar_);
  listLayout->addWidget(listMacro_, 1);
  editNotice_ = new QLabel;
  editNotice_->setObjectName("MacroEditNotice");
  editNotice_->setTextFormat(Qt::PlainText);
  editNotice_->setWordWrap(true);
  editNotice_->setStyleSheet(QStringLiteral("color: rgb(128, 0, 0);"));
  editNotice_->hide();
  listLayout->addWidget(findings_);
  listLayout->addWidget(editNotice_);
  // What «Проверить папку» found goes under the steps: the fields and the preview fill their column.
  dryRun_ = new FolderDryRunPane;
  listLayout->addWidget(dryRun_, 1);

  // The fields of the selected step.
  auto* fieldPanel = new QWidget;
  auto* fieldLayout = new QVBoxLayout(fieldPanel);
  fieldLayout->setContentsMargins(4, 0, 4, 0);
  fieldLayout->setSpacing(2);
  labelProgramming_ = new QLabel(QStringLiteral("ВНИМАНИЕ!!! РЕЖИМ ПРОГРАММИРОВАНИЯ ЗАГРУЗКИ!!!"));
  labelProgramming_->setObjectName("LabelProgramming");
  QFont warning = labelProgramming_->font();
  warning.setBold(true);
  warning.setUnderline(true);
  labelProgramming_->setFont(warning);
  labelProgramming_->setStyleSheet(QStringLiteral("color: rgb(128, 0, 0);"));
  labelProgramming_->setProperty("colour", kWarningMaroon);
  auto* label3 = new QLabel(QStringLiteral("Макрокоманда (шаг)"));
  label3->setObjectName("Label3");
  label3->setStyleSheet(QStringLiteral("font-weight: bold; color: rgb(128, 0, 0);"));
  autoActionSelect_ = new QComboBox;
  autoActionSelect_->setObjectName("AutoActionSelect");
  autoActionSelect_->setEditable(false);
  autoActionSelect_->setMaxVisibleItems(20);
  autoActionSelect_->setStyleSheet(QStringLiteral("QComboBox { background: #ffffe1; color: rgb(128, 0, 0); }"));
  connect(autoActionSelect_, &QComboBox::activated, this, [this](int index) { AutoActionSelectSelect(index); });
  auto* label1 = new QLabel(QStringLiteral("Описание действия (можно ввести любое)."));
  label1->setObjectName("Label1");
  autoActionMemoHint_ = new QLineEdit;
  autoActionMemoHint_->setObjectName("AutoActionMemoHint");
  autoActionMemoHint_->setStyleSheet(QStringLiteral("QLineEdit { background: #ffffe1; }"));
  autoActionMemoHint_->setMaxLength(std::numeric_limits<int>::max());  // a long description is kept whole
  connect(autoActionMemoHint_, &QLineEdit::textChanged, this,
          [this](const QString& text) { AutoActionMemoHintChange(text); });
  fieldLayout->addWidget(labelProgramming_);
  fieldLayout->addWidget(label3);
  fieldLayout->addWidget(autoActionSelect_);
  fieldLayout->addWidget(label1);
  fieldLayout->addWidget(autoActionMemoHint_);
  for (int n = 1; n <= kParameters; ++n) {
    const QString name = QStringLiteral("P%1").arg(n);
    auto* label = new QLabel(QString::fromLatin1(kNoLabel));
    label->setTextFormat(Qt::PlainText);
    label->setObjectName(name + "Label");
    auto* field = new ParameterCombo;
    field->setObjectName(name);
    field->setEditable(true);
    field->setInsertPolicy(QComboBox::NoInsert);
    field->lineEdit()->setMaxLength(std::numeric_limits<int>::max());
    field->hide();
    connect(field, &QComboBox::editTextChanged, this, [this, n] {
      if (!programmatic_) P1234Change(n);
    });
    labels_[n - 1] = label;
    fields_[n - 1] = field;
    fieldLayout->addWidget(label);
    fieldLayout->addWidget(field);
  }
  preview_ = new MacroPreviewPane(tree);
  fieldLayout->addWidget(preview_, 1);
  bitBtn1_ = new QPushButton(QStringLiteral("Сохранить шаги"));
  bitBtn1_->setObjectName("BitBtn1");
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(bitBtn1_);
  buttons->addWidget(dryRun_->Button());
  buttons->addStretch(1);
  fieldLayout->addLayout(buttons);

  // The help page of the command.
  auto* helpPanel = new QWidget;
  auto* helpLayout = new QVBoxLayout(helpPanel);
  helpLayout->setContentsMargins(0, 0, 0, 0);
  auto* label12 = new QLabel(QStringLiteral("Справочник по командам"));
  label12->setObjectName("Label12");
  helpLayout->addWidget(label12);
  helpLayout_ = helpLayout;

  auto* splitter = new QSplitter(Qt::Horizontal);
  splitter->setObjectName("SplitterMacro");
  splitter->addWidget(listPanel);
  splitter->addWidget(fieldPanel);
  splitter->addWidget(helpPanel);
  splitter->setStretchFactor(0, 3);
  splitter->setStretchFactor(1, 4);
  splitter->setStretchFactor(2, 3);
  splitter->setSizes({300, 420, 300});
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->addWidget(splitter);
}

MacroEditor::~MacroEditor() = default;

void MacroEditor::CatalogueLoaded() {
  programmatic_ = true;
  autoActionSelect_->clear();
  for (const std::string& name : SelectorNames(catalogue_)) autoActionSelect_->addItem(Q(name));
  autoActionSelect_->setCurrentIndex(-1);
  programmatic_ = false;
}

void MacroEditor::AttachView(FolderMacro::View& view) {
  view.selectedLine = [this] { return SelectedStep(); };
  // A load (also the one after a save) starts the edit history afresh.
  view.clear = [this] {
    dryRun_->Stop();  // a check speaks of the folder it was started on
    model_->SetLines(0);
    history_.Reset(macro_.Table());
    editNotice_->hide();
    UpdateUndoActions();
    StepChanged();
  };
  view.show = [this](std::int32_t count, int select) {
    model_->SetLines(count);
    SelectLine(select);
    RefreshStepList();
    ++composite_;  // showing the step sets its fields: no edit
    ShowSelectedStep();
    --composite_;
    history_.Reset(macro_.Table());
    UpdateUndoActions();
  };
  view.setTitle = [this, title = std::move(view.setTitle)](const std::string& folderPath) {
    folderPath_ = folderPath;
    lastChecked_.clear();
    fileChecked_ = false;
    CheckMacro();
    if (title) title(folderPath);
  };
}

void MacroEditor::CheckMacro() {
  std::string text;
  const bool asLoaded = !macro_.MacroModified();
  if (asLoaded && fileChecked_) return;  // the file is read once per load, not every tick
  fileChecked_ = asLoaded;
  if (!asLoaded || folderPath_.empty() || !ReadWholeFile(folderPath_ + "Skimlet-macros.ini", text))
    text = FormatMacroFile(macro_.Table());
  if (text == lastChecked_ && !text.empty()) return;
  lastChecked_ = text;
  std::vector<std::pair<int, QString>> shown;
  for (const MacroFinding& f : CheckMacroText(text, KnownCommands(catalogue_))) {
    QString message = QString::fromStdString(f.message);
    // Line numbers only mean something while the file is what is shown.
    if (asLoaded && f.line > 0 && f.step < 0) message = QStringLiteral("строка %1: %2").arg(f.line).arg(message);
    shown.emplace_back(f.step, message);
  }
  ShowFindings(shown);
}

void MacroEditor::SetHelpDir(std::string dir) { helpDir_ = std::move(dir); }

void MacroEditor::SetActions(QAction* saveMacro, QAction* newMacro, QAction* up, QAction* down, QAction* deleteMacro) {
  saveMacro_ = saveMacro;
  toolBar_->addAction(saveMacro);
  toolBar_->addSeparator();
  for (QAction* a : {newMacro, up, down, deleteMacro}) toolBar_->addAction(a);
  connect(bitBtn1_, &QPushButton::clicked, saveMacro, &QAction::trigger);
  connect(saveMacro, &QAction::changed, bitBtn1_, [this] { bitBtn1_->setEnabled(saveMacro_->isEnabled()); });
}

void MacroEditor::SetEditActions(QAction* insert, QAction* copy, QAction* undo, QAction* redo) {
  undo_ = undo;
  redo_ = redo;
  toolBar_->addSeparator();
  for (QAction* a : {insert, copy, undo, redo}) {
    toolBar_->addAction(a);
    // Only here: Ctrl+Z on the news page must not undo a step edit out of sight.
    a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(a);
  }
  UpdateUndoActions();
}

int MacroEditor::SelectedStep() const {
  // The current line: a click makes it current before it selects it.
  const QModelIndex current = listMacro_->currentIndex();
  return current.isValid() ? current.row() : -1;
}

void MacroEditor::SelectLine(int line) {
  programmatic_ = true;
  if (line >= 0 && line < model_->rowCount())
    listMacro_->setCurrentIndex(model_->index(line));
  else
    listMacro_->setCurrentIndex({});
  programmatic_ = false;
}

void MacroEditor::SelectStep(int line) {
  SelectLine(line);
  ListMacroClick();
}

void MacroEditor::StepChanged() { preview_->SetStep(&macro_.Table(), SelectedStep()); }

void MacroEditor::RefreshStepList() { model_->RefreshAll(); }

void MacroEditor::SetFieldText(int n, const QString& text) {
  ParameterCombo* field = fields_[n - 1];
  field->setEditText(text);
}

void MacroEditor::SetupParameterField(int n, const TAutoAction& entry) {
  const ParameterFieldSetup setup = skimlet::SetupParameterField(n, entry);
  ParameterCombo* field = fields_[n - 1];
  const bool wasProgrammatic = programmatic_;
  programmatic_ = true;
  field->clear();
  for (const std::string& v : setup.variants) field->addItem(Q(v));
  variants_[n - 1] = setup.variants;
  field->SetDropDown(setup.dropDown);
  field->setVisible(setup.visible);
  SetFieldText(n, Q(setup.text));
  labels_[n - 1]->setText(Q(setup.label));
  labels_[n - 1]->setVisible(!setup.label.empty());  // an empty caption takes no room
  programmatic_ = wasProgrammatic;
}

void MacroEditor::ShowHelp(const std::string& command) {
  const QString page = QPath(helpDir_) + Q(command) + QStringLiteral(".html");
  helpShown_ = page;
  ++helpLoads_;
  // A command name comes from the macro file: it names a page of the help, never a path.
  const bool ownPage = command.find('/') == std::string::npos && !command.starts_with('.');
  helpMissing_ = ownPage && QFile::exists(page) ? QString() : Q(command);
  if (macroHelp_ || isVisible()) LoadHelp();
}

void MacroEditor::LoadHelp() {
  if (!macroHelp_) {
    // Made when the page is first shown: a web view holds a renderer process even while hidden.
    macroHelp_ = NewSavedPageView();
    macroHelp_->setObjectName("MacroHelp");
    // A help page that takes the keyboard as it loads would take Ctrl+Z from the steps.
    macroHelp_->page()->settings()->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);
    helpLayout_->addWidget(macroHelp_, 1);
  }
  if (helpShown_.isEmpty()) return;
  if (helpMissing_.isEmpty())
    macroHelp_->load(QUrl::fromLocalFile(helpShown_));
  else
    macroHelp_->setHtml(QStringLiteral("<p>Справки по команде «%1» нет.</p>").arg(helpMissing_.toHtmlEscaped()));
}

void MacroEditor::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!macroHelp_) LoadHelp();
}

void MacroEditor::ApplyCommand(const std::string& procedureName) {
  for (const TAutoAction& entry : catalogue_.entries) {
    if (entry.ProcedureName != procedureName) continue;
    for (int n = 1; n <= kParameters; ++n) SetupParameterField(n, entry);
    autoActionMemoHint_->setText(Q(entry.Hint));
    ShowHelp(procedureName);
  }
}

void MacroEditor::ShowSelectedStep() {
  const int s = SelectedStep();
  if (s < 0 || s >= macro_.Table().count) {
    StepChanged();
    return;
  }
  const TTmpOneMacroComand step = macro_.Table().steps[s];
  const int e = FindByProcedureName(catalogue_, step.Command);
  const TAutoAction& entry = catalogue_.entries[e];
  programmatic_ = true;
  autoActionSelect_->setCurrentIndex(e < autoActionSelect_->count() ? e : -1);
  for (int n = 1; n <= kParameters; ++n) SetupParameterField(n, entry);
  const std::string* stored[] = {&step.P1, &step.P2, &step.P3, &step.P4};
  for (int n = 1; n <= kParameters; ++n) SetFieldText(n, Q(DecodeParameter(entry, n, *stored[n - 1])));
  programmatic_ = false;
  autoActionMemoHint_->setText(Q(step.Description));
  if (!helpShown_.contains(Q(step.Command) + QStringLiteral(".html"))) ShowHelp(step.Command);
  StepChanged();
}

void MacroEditor::StoreSelectedStep() {
  const int s = SelectedStep();
  if (s < 0 || s >= macro_.Table().count) return;
  TTmpOneMacroComand& step = macro_.Table().steps[s];
  // Without a selector line (a command the catalogue does not know) the command stays.
  const int line = autoActionSelect_->currentIndex();
  if (line >= 0 && line < kCatalogueEntries) step.Command = catalogue_.entries[line].ProcedureName;
  std::string* stored[] = {&step.P1, &step.P2, &step.P3, &step.P4};
  for (int n = 1; n <= kParameters; ++n)
    *stored[n - 1] = EncodeParameter(Win(fields_[n - 1]->currentText()), variants_[n - 1]);
  step.Description = Win(autoActionMemoHint_->text());
}

void MacroEditor::ListMacroClick() { ShowSelectedStep(); }

void MacroEditor::ListMacroClickCheck(int row) {
  // The toggled line's step takes the mark (the model has written it); its line is selected.
  const int before = SelectedStep();
  if (row != before) {
    ++composite_;
    SelectStep(row);
    --composite_;
  }
  StepChanged();
  RecordEdit(before, row);
}

void MacroEditor::AutoActionSelectSelect(int index) {
  const int e = FindByDisplayName(catalogue_, Win(autoActionSelect_->itemText(index)));
  if (e < 0) return;
  ++composite_;  // the command's defaults and hint arrive field by field
  ApplyCommand(catalogue_.entries[e].ProcedureName);
  StoreSelectedStep();
  --composite_;
  RefreshStepList();
  StepChanged();
  const int s = SelectedStep();
  RecordEdit(s, s);
}

void MacroEditor::P1234Change(int n) {
  StoreSelectedStep();
  RefreshStepList();
  StepChanged();
  const int s = SelectedStep();
  RecordEdit(s, s, "P" + std::to_string(n) + "@" + std::to_string(s));
}

void MacroEditor::AutoActionMemoHintChange(const QString& text) {
  const int s = SelectedStep();
  if (s < 0 || s >= macro_.Table().count) return;
  macro_.Table().steps[s].Description = Win(text);
  RefreshStepList();
  RecordEdit(s, s, "D@" + std::to_string(s));
}

void MacroEditor::RecordEdit(int selectedBefore, int selectedAfter, const std::string& mergeKey) {
  if (composite_ > 0) return;
  history_.Record(macro_.Table(), selectedBefore, selectedAfter, mergeKey);
  UpdateUndoActions();
}

void MacroEditor::UpdateUndoActions() {
  if (undo_) undo_->setEnabled(history_.CanUndo());
  if (redo_) redo_->setEnabled(history_.CanRedo());
}

void MacroEditor::ShowLostJumps(const std::vector<LostJump>& lost) {
  QStringList lines;
  for (const LostJump& j : lost)
    lines << QStringLiteral("Шаг %1 переходил к удалённому шагу %2: теперь он переходит к шагу %3, концу папки.")
                 .arg(j.step)
                 .arg(j.target)
                 .arg(j.end);
  editNotice_->setText(lines.join('\n'));
  editNotice_->setVisible(!lines.isEmpty());
}

void MacroEditor::ShowRestored(std::optional<int> select) {
  if (!select) return;
  emit pageWanted();
  const int count = macro_.Table().count;
  programmatic_ = true;
  model_->SetLines(count);
  programmatic_ = false;
  SelectLine(count == 0 ? -1 : std::clamp(*select, 0, count - 1));
  RefreshStepList();
  editNotice_->hide();
  ++composite_;
  ShowSelectedStep();
  --composite_;
  UpdateUndoActions();
}

void MacroEditor::UndoExecute() { ShowRestored(history_.Undo(macro_.Table())); }

void MacroEditor::RedoExecute() { ShowRestored(history_.Redo(macro_.Table())); }

void MacroEditor::InsertMacroExecute() {
  emit pageWanted();
  MacroTable& table = macro_.Table();
  const int s = SelectedStep();
  const std::int32_t at = s >= 0 && s < table.count ? s + 1 : table.count;
  TTmpOneMacroComand step;
  step.Command = FollowingCommand(at > 0 ? std::string_view(table.steps[at - 1].Command) : std::string_view());
  step.Active = true;
  if (InsertStep(table, at, step) < 0) {
    AppDialogs().Message(this, QStringLiteral("В папке уже %1 шаг — больше шагов в макросе быть не может. "
                                              "Новая макрокоманда не добавлена.")
                                   .arg(kMacroSlots));
    return;
  }
  ++composite_;
  model_->InsertLine(at);
  SelectLine(at);
  const int e = FindByProcedureName(catalogue_, step.Command);
  if (e >= 0 && e < autoActionSelect_->count()) {
    programmatic_ = true;
    autoActionSelect_->setCurrentIndex(e);
    programmatic_ = false;
    AutoActionSelectSelect(e);  // the catalogue's defaults
  } else {
    ShowSelectedStep();
  }
  RefreshStepList();
  --composite_;
  editNotice_->hide();
  RecordEdit(s, at);
}

void MacroEditor::CopyMacroExecute() {
  emit pageWanted();
  MacroTable& table = macro_.Table();
  const int s = SelectedStep();
  if (s < 0 || s >= table.count) return;
  if (InsertStep(table, s + 1, TTmpOneMacroComand(table.steps[s])) < 0) {
    AppDialogs().Message(this, QStringLiteral("В папке уже %1 шаг — больше шагов в макросе быть не может. "
                                              "Шаг не скопирован.")
                                   .arg(kMacroSlots));
    return;
  }
  ++composite_;
  model_->InsertLine(s + 1);
  SelectLine(s + 1);
  ShowSelectedStep();
  RefreshStepList();
  --composite_;
  editNotice_->hide();
  RecordEdit(s, s + 1);
}

void MacroEditor::ANewMacroExecute() {
  emit pageWanted();
  MacroTable& table = macro_.Table();
  const std::int32_t c = AppendStep(table, catalogue_.entries[0].ProcedureName);
  if (c < 0) {
    AppDialogs().Message(this, QStringLiteral("В папке уже %1 шаг — больше шагов в макросе быть не может. "
                                              "Новая макрокоманда не добавлена.")
                                   .arg(kMacroSlots));
    return;
  }
  const int before = SelectedStep();
  ++composite_;
  model_->InsertLine(c);
  SelectLine(c);
  programmatic_ = true;
  autoActionSelect_->setCurrentIndex(0);
  programmatic_ = false;
  AutoActionSelectSelect(0);
  RefreshStepList();
  --composite_;
  editNotice_->hide();
  RecordEdit(before, c);
}

void MacroEditor::DeleteMacroExecute() {
  emit pageWanted();
  const int s = SelectedStep();
  if (s < 0) return;
  std::vector<LostJump> lost;
  const std::int32_t next = DeleteStep(macro_.Table(), s, &lost);
  ++composite_;
  programmatic_ = true;
  model_->RemoveLine(s);
  programmatic_ = false;
  if (next >= 0) {
    SelectLine(next);
    ShowSelectedStep();
    RefreshStepList();
  } else {
    SelectLine(-1);
    StepChanged();
  }
  --composite_;
  ShowLostJumps(lost);
  RecordEdit(s, next);
}

void MacroEditor::MacroUpExecute() {
  emit pageWanted();
  const int s = SelectedStep();
  if (s <= 0 || !SwapSteps(macro_.Table(), s - 1, s)) return;
  SelectLine(s - 1);
  RefreshStepList();
  ++composite_;
  ShowSelectedStep();  // a jump field of the step may have been renumbered
  --composite_;
  editNotice_->hide();
  RecordEdit(s, s - 1);
}

void MacroEditor::MacroDownExecute() {
  emit pageWanted();
  const int s = SelectedStep();
  if (s < 0 || s >= model_->rowCount() - 1 || !SwapSteps(macro_.Table(), s, s + 1)) return;
  SelectLine(s + 1);
  RefreshStepList();
  ++composite_;
  ShowSelectedStep();
  --composite_;
  editNotice_->hide();
  RecordEdit(s, s + 1);
}

void MacroEditor::SetStandartHintExecute() {
  emit pageWanted();
  if (std::optional<std::string> hint = StandardHint(catalogue_, Win(autoActionSelect_->currentText())))
    autoActionMemoHint_->setText(Q(*hint));
}

void MacroEditor::SelectFirstCommand() {
  programmatic_ = true;
  if (autoActionSelect_->count() > 0) autoActionSelect_->setCurrentIndex(0);
  programmatic_ = false;
}

void MacroEditor::Tick(bool pageShown) {
  const QColor next = labelProgramming_->property("colour").value<QColor>() == kWarningRed ? kWarningMaroon : kWarningRed;
  labelProgramming_->setProperty("colour", next);
  labelProgramming_->setStyleSheet(QStringLiteral("color: %1;").arg(next.name()));
  if (pageShown) {
    if (saveMacro_) saveMacro_->setEnabled(macro_.MacroModified());
    CheckMacro();
    preview_->CheckRunPages();
  }
}

void MacroEditor::ShowFindings(const std::vector<std::pair<int, QString>>& findings) {
  findings_->clear();
  for (const auto& [step, text] : findings) {
    auto* item = new QListWidgetItem(step >= 0 ? QStringLiteral("%1: %2").arg(step, 2, 10, QChar('0')).arg(text) : text);
    if (step >= 0) item->setData(kFindingStepRole, step);
    item->setToolTip(PlainTip(item->text()));  // findings quote the file's own text
    findings_->addItem(item);
  }
  findings_->setVisible(!findings.empty());
}

}  // namespace skimlet
