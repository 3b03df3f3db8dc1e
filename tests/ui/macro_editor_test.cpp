// The macro editor in the main window as a user drives it: steps edited, moved and deleted
// and saved byte for byte, the parameter fields of every command, the save question, a failed
// save, the step limit, and the live preview after a run.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <filesystem>

#include "authoring/MacroSteps.h"
#include "authoring/ui/FolderDryRun.h"
#include "authoring/ui/MacroEditor.h"
#include "authoring/ui/MacroPreview.h"
#include "library/ui/AccountsTree.h"
#include "library/ui/NewsList.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "qt/QtText.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/UiTestSupport.h"

namespace skimlet {
namespace {

using test::Cp;
using test::MacroStep;

TTmpOneMacroComand Off(TTmpOneMacroComand s) {
  s.Active = false;
  return s;
}

std::string MacroOf(const std::string& folder) { return test::ReadFile(folder + kMacroFileName); }

std::string Format(const std::vector<TTmpOneMacroComand>& steps) {
  MacroTable t;
  for (const auto& s : steps) t.steps[t.count++] = s;
  return FormatMacroFile(t);
}

struct Editor : test::WindowFixture {
  std::unique_ptr<TMainForm> w;
  MacroEditor* e = nullptr;

  // Channel "Site" (one GetStart) with rubrics "A" and "B".
  void Make(const std::vector<TTmpOneMacroComand>& a, const std::vector<TTmpOneMacroComand>& b = {}) {
    ASSERT_TRUE(test::WriteMacro(data / "Accounts/Site/", {MacroStep("GetStart", "http://127.0.0.1:1/", "x", "-999")}));
    ASSERT_TRUE(test::WriteMacro(data / "Accounts/Site/A/", a));
    ASSERT_TRUE(test::WriteMacro(data / "Accounts/Site/B/", b));
    w = Open();
    e = w->Editor();
    Show();
  }
  // The window on screen with the macro page in front, so that lines can be clicked.
  void Show() {
    w->show();
    w->findChild<QTabWidget*>("PageDown")->setCurrentWidget(w->findChild<QWidget*>("TabMacro"));
    QApplication::processEvents();
  }
  std::string Folder(const char* name) { return data / ("Accounts/Site/" + std::string(name) + "/"); }
  NodePtr Node(const char* caption) {
    for (const NodePtr& n : w->Tree().InTreeOrder())
      if (w->Tree().Caption(n) == caption) return n;
    return nullptr;
  }
  void Select(const char* caption) { w->Accounts()->SelectNode(Node(caption)); }
  // A click on a line of ListMacro (beside its check box).
  void Click(int row) {
    QListView* list = e->ListMacro();
    const QModelIndex index = list->model()->index(row, 0);
    list->scrollTo(index);
    const QRect rect = list->visualRect(index);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(rect.left() + rect.width() / 2, rect.center().y()));
  }
  QString Line(int row) { return e->ListMacro()->model()->index(row, 0).data().toString(); }
  int Lines() { return e->ListMacro()->model()->rowCount(); }
  // As the user types into a parameter field (ASCII key by key, other text as a paste).
  void Type(int n, const QString& text) {
    QLineEdit* edit = e->Parameter(n)->lineEdit();
    edit->selectAll();
    bool ascii = std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 128; });
    if (ascii)
      QTest::keyClicks(edit, text);
    else
      edit->insert(text);
  }
  void Pick(int selectorLine) {
    e->AutoActionSelect()->setCurrentIndex(selectorLine);
    emit e->AutoActionSelect()->activated(selectorLine);
  }
  void Trigger(const char* action) { w->Action(action)->trigger(); }
  // SaveMacro as the user reaches it: on the macro page, once the timer has enabled it.
  void Save() {
    w->findChild<QTabWidget*>("PageDown")->setCurrentWidget(w->findChild<QWidget*>("TabMacro"));
    QAction* save = w->Action("SaveMacro");
    EXPECT_TRUE(QTest::qWaitFor([&] { return save->isEnabled(); }, 1000));
    save->trigger();
  }
  test::ScriptedDialogs& Boxes() { return dialogs.dialogs; }
};

TEST(MacroEditorSteps, EditMoveDeleteAndSaveRoundTripByteForByte) {
  Editor f;
  std::vector<TTmpOneMacroComand> steps = {
      MacroStep("FindUrlNews", "news/*.html", "-1"),
      MacroStep("Custom", "StandartParameter=12", "", "", "kept as it is"),
      Off(MacroStep("EditHTMLNews", "StandartParameter=0", "StandartParameter=1", Cp("Реклама"), "")),
      MacroStep("GotoMacro", "0", "StandartParameter=0"),
  };
  steps[1].Description = Cp("Шаг, которого каталог не знает");
  f.Make(steps);
  f.Select("A");
  const std::string file = f.Folder("A") + kMacroFileName;
  const std::string original = test::ReadFile(file);
  ASSERT_EQ(original, Format(steps));
  ASSERT_EQ(f.Lines(), 4);
  EXPECT_EQ(f.Line(2), Q(StepLineText(2, steps[2])));
  EXPECT_EQ(f.Line(2), QString::fromUtf8("02 - EditHTMLNews:  N:0   N:1   Реклама      "));
  EXPECT_EQ(f.e->ListMacro()->model()->index(2, 0).data(Qt::CheckStateRole).toInt(), Qt::Unchecked);

  // Saving what was loaded writes nothing, even after every step has been looked at.
  const auto stamp = std::filesystem::last_write_time(file);
  for (int row = 0; row < 4; ++row) f.Click(row);
  EXPECT_FALSE(f.w->Macro().MacroModified());
  f.Trigger("SaveMacro");
  EXPECT_EQ(std::filesystem::last_write_time(file), stamp);

  // A parameter typed, a step moved up, one deleted, one switched on; no-op moves at the ends.
  f.Click(0);
  f.Type(1, "/news/");
  steps[0].P1 = "/news/";
  EXPECT_EQ(f.Line(0), QString::fromUtf8("00 - FindUrlNews:  /news/   -1         "));
  f.Click(3);
  f.Trigger("MacroUp");
  std::swap(steps[2], steps[3]);
  EXPECT_EQ(f.e->SelectedStep(), 2);
  EXPECT_EQ(f.e->Parameter(1)->currentText(), "0") << "the fields keep showing the moved step";
  f.Click(1);
  f.Trigger("DeleteMacro");
  steps.erase(steps.begin() + 1);
  EXPECT_EQ(f.Lines(), 3);
  EXPECT_EQ(f.e->SelectedStep(), 1);
  QAbstractItemModel* model = f.e->ListMacro()->model();
  model->setData(model->index(2, 0), Qt::Checked, Qt::CheckStateRole);
  steps[2].Active = true;
  f.Click(0);
  f.Trigger("MacroUp");
  f.Click(2);
  f.Trigger("MacroDown");
  EXPECT_EQ(f.e->SelectedStep(), 2);

  EXPECT_TRUE(f.w->Macro().MacroModified());
  f.Save();
  EXPECT_EQ(test::ReadFile(file), Format(steps));
  EXPECT_FALSE(f.w->Macro().MacroModified());
  EXPECT_FALSE(f.w->Action("SaveMacro")->isEnabled());
  EXPECT_EQ(f.e->SelectedStep(), 2) << "the reload keeps the line";

  // Deleting every step and saving leaves "0".
  while (f.Lines() > 0) {
    f.Click(0);
    f.Trigger("DeleteMacro");
  }
  f.Save();
  EXPECT_EQ(test::ReadFile(file), "0\r\n");
}

TEST(MacroEditorSteps, SaveMacroIsEnabledByTheTimerWhileThePageIsShown) {
  Editor f;
  f.Make({MacroStep("SaveNews")});
  f.Select("A");
  auto* pages = f.w->findChild<QTabWidget*>("PageDown");
  pages->setCurrentWidget(f.w->findChild<QWidget*>("TabMacro"));
  QAction* save = f.w->Action("SaveMacro");
  QTest::qWait(300);
  EXPECT_FALSE(save->isEnabled());
  f.e->ListMacro()->model()->setData(f.e->ListMacro()->model()->index(0, 0), Qt::Unchecked, Qt::CheckStateRole);
  EXPECT_TRUE(QTest::qWaitFor([&] { return save->isEnabled(); }, 1000));
  EXPECT_TRUE(f.w->findChild<QPushButton*>("BitBtn1")->isEnabled());
  // The warning blinks between red and maroon.
  const QString before = f.e->LabelProgramming()->styleSheet();
  EXPECT_TRUE(QTest::qWaitFor([&] { return f.e->LabelProgramming()->styleSheet() != before; }, 1000));
}

TEST(MacroEditorMenus, TheMacroMenuAndTheChannelFileActions) {
  test::WindowFixture f;
  auto w = f.Open();
  auto names = [&](const char* menu) {
    QStringList list;
    for (QAction* a : w->findChild<QMenu*>(menu)->actions()) list << (a->isSeparator() ? "-" : a->objectName());
    return list;
  };
  EXPECT_EQ(names("MenuMacro"),
            QStringList({"SaveMacro", "-", "MacroUndo", "MacroRedo", "-", "ANewMacro", "InsertMacro", "CopyMacro",
                         "DeleteMacro", "-", "MacroUp", "MacroDown", "-", "SetStandartHint"}));
  const QStringList file = names("MenuFile");
  EXPECT_EQ(file.indexOf("OpenCannel") + 1, file.indexOf("SaveChannel"));
  EXPECT_EQ(file.at(file.indexOf("OpenCannel") - 1), "-");
  EXPECT_EQ(w->Action("SaveMacro")->text(), QString::fromUtf8("Сохранить шаги"));
  EXPECT_EQ(w->Action("SaveMacro")->statusTip(),
            QString::fromUtf8("Сохранить макропоследовательность (шаги) для текущей папки в файл Skimlet-macros.ini"));
  EXPECT_EQ(w->Action("ANewMacro")->toolTip(), QString::fromUtf8("Создание шага"));
  EXPECT_EQ(w->Action("OpenCannel")->statusTip(), QString::fromUtf8("Загрузка конфигурации канала"));
  EXPECT_EQ(w->Action("SaveChannel")->statusTip(), QString::fromUtf8("Сохранение кофигурации канала"));
  EXPECT_EQ(w->Action("SetStandartHint")->property("category").toString(), QString::fromUtf8("Макро"));
}

TEST(MacroEditorFields, EveryCommandOfTheCatalogueSetsUpItsFields) {
  Editor f;
  f.Make({});
  f.Select("A");
  CommandCatalogue c;
  ASSERT_TRUE(LoadCommandCatalogue(CatalogueFilePath(ResourceDir(f.data.path())), c).exists);
  // Without any folder: hidden fields, dashes, no command.
  {
    test::WindowFixture empty;
    auto fresh = empty.Open();
    EXPECT_EQ(fresh->Editor()->AutoActionSelect()->currentIndex(), -1);
    EXPECT_EQ(fresh->Editor()->AutoActionSelect()->count(), kSelectorEntries);
    EXPECT_EQ(fresh->Editor()->ParameterLabel(1)->text(), QString(36, '-'));
    EXPECT_FALSE(fresh->Editor()->Parameter(1)->isVisibleTo(fresh->Editor()));
  }

  // A new step in an empty folder: entry 0 with its defaults, checked.
  f.Trigger("ANewMacro");
  ASSERT_EQ(f.Lines(), 1);
  EXPECT_EQ(f.Line(0), QString::fromUtf8("00 - GetStart:  http://   </html>   -1      "));
  EXPECT_EQ(f.e->ListMacro()->model()->index(0, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked);
  EXPECT_EQ(f.w->findChild<QTabWidget*>("PageDown")->currentWidget()->objectName(), "TabMacro");

  for (int line = 0; line < kSelectorEntries; ++line) {
    const TAutoAction& entry = c.entries[line];
    SCOPED_TRACE(entry.ProcedureName);
    f.Pick(line);
    for (int n = 1; n <= kParameters; ++n) {
      const ParameterFieldSetup want = SetupParameterField(n, entry);
      ParameterCombo* field = f.e->Parameter(n);
      EXPECT_EQ(field->isVisibleTo(f.e), want.visible) << "P" << n;
      EXPECT_EQ(field->DropDown(), want.dropDown) << "P" << n;
      EXPECT_EQ(field->count(), static_cast<int>(want.variants.size())) << "P" << n;
      EXPECT_EQ(field->currentText(), Q(want.text)) << "P" << n;
      EXPECT_EQ(f.e->ParameterLabel(n)->text(), Q(want.label)) << "P" << n;
    }
    // The step takes the command, its defaults (variants as references) and its hint.
    const TTmpOneMacroComand& stored = f.w->Macro().Table().steps[0];
    EXPECT_EQ(stored.Command, entry.ProcedureName);
    EXPECT_EQ(stored.Description, entry.Hint);
    const std::string* params[] = {&stored.P1, &stored.P2, &stored.P3, &stored.P4};
    for (int n = 1; n <= kParameters; ++n)
      EXPECT_EQ(*params[n - 1], EncodeParameter(entry.P[n - 1], VariantList(entry, n))) << "P" << n;
    EXPECT_TRUE(stored.Active);
    EXPECT_TRUE(f.e->HelpShown().endsWith(Q(entry.ProcedureName) + ".html"));
  }

  // EditHTMLNews: picking the second variant, and typing the first one's text by hand.
  f.Pick(4);
  f.e->Parameter(1)->setCurrentIndex(1);
  EXPECT_EQ(f.w->Macro().Table().steps[0].P1, "StandartParameter=1");
  f.e->Parameter(2)->setCurrentIndex(1);
  f.Type(1, f.e->Parameter(1)->itemText(0));
  f.Save();
  TTmpOneMacroComand stored = ReadMacroStep(f.Folder("A"), 0);
  EXPECT_EQ(stored.P1, "StandartParameter=0");
  EXPECT_EQ(stored.P2, "StandartParameter=1");
  EXPECT_TRUE(f.Line(0).contains("N:0   N:1"));

  // SetStandartHint puts the hint back into a description the user changed.
  f.e->AutoActionMemoHint()->setText("mine");
  f.Trigger("SetStandartHint");
  EXPECT_EQ(f.e->AutoActionMemoHint()->text(), Q(c.entries[4].Hint));
}

TEST(MacroEditorFields, AnUnknownCommandAndTheHelpPage) {
  Editor f;
  f.Make({MacroStep("Custom", "StandartParameter=12", "two"), MacroStep("GetStart", "http://a/"),
          MacroStep("GetStart", "http://b/")});
  f.Select("A");
  f.Click(0);
  EXPECT_EQ(f.e->AutoActionSelect()->currentIndex(), -1);
  for (int n = 1; n <= kParameters; ++n) {
    EXPECT_FALSE(f.e->Parameter(n)->isVisibleTo(f.e));
    EXPECT_TRUE(f.e->ParameterLabel(n)->text().isEmpty());
  }
  EXPECT_EQ(f.e->Parameter(1)->currentText(), "StandartParameter=12") << "the stored value, in the hidden field";
  EXPECT_EQ(f.e->Parameter(2)->currentText(), "two");
  // Editing its description keeps the command and the parameters.
  f.e->AutoActionMemoHint()->setText("note");
  f.Save();
  TTmpOneMacroComand stored = ReadMacroStep(f.Folder("A"), 0);
  EXPECT_EQ(stored.Command, "Custom");
  EXPECT_EQ(stored.P1, "StandartParameter=12");
  EXPECT_EQ(stored.Description, "note");

  // A checker's findings: listed under the steps, a finding with a step selects it.
  auto* findings = f.w->findChild<QListWidget*>("MacroFindings");
  ASSERT_TRUE(findings);
  f.e->ShowFindings({{2, "unreachable"}, {-1, "no SaveNews"}});
  EXPECT_TRUE(findings->isVisibleTo(f.e));
  EXPECT_EQ(findings->item(0)->text(), "02: unreachable");
  EXPECT_TRUE(findings->wordWrap());
  f.e->ShowFindings({{1, "<a> " + QString(300, 'x')}});
  EXPECT_EQ(findings->item(0)->toolTip(), PlainTip("01: <a> " + QString(300, 'x'))) << "whole, and as written";
  f.e->ShowFindings({{2, "unreachable"}, {-1, "no SaveNews"}});
  emit findings->itemClicked(findings->item(0));
  EXPECT_EQ(f.e->SelectedStep(), 2);
  f.e->ShowFindings({});
  EXPECT_FALSE(findings->isVisibleTo(f.e));

  f.Click(1);
  const int loads = f.e->HelpLoads();
  EXPECT_TRUE(f.e->HelpShown().endsWith("GetStart.html"));
  f.Click(2);
  EXPECT_EQ(f.e->HelpLoads(), loads) << "the page of the same command is not loaded again";
}

TEST(MacroEditorFindings, TheCheckerSpeaksOfTheFileAsLoadedAndOfTheEditedSteps) {
  Editor f;
  f.Make({MacroStep("FindUrlNews", "/n/", "-1"), MacroStep("GetNews", "x", "", "", "0"), MacroStep("GotoMacro", "7")},
         {MacroStep("GetStart", "http://a/", "x", "-999")});
  auto* findings = f.w->findChild<QListWidget*>("MacroFindings");
  f.Select("B");
  f.e->CheckMacro();
  EXPECT_FALSE(findings->isVisibleTo(f.e));  // a sound macro: nothing to say

  // A jump past the last step, as the file holds it.
  f.Select("A");
  f.e->CheckMacro();
  ASSERT_TRUE(findings->isVisibleTo(f.e));
  ASSERT_EQ(findings->count(), 1);
  EXPECT_TRUE(findings->item(0)->text().startsWith("02: ")) << findings->item(0)->text().toStdString();
  EXPECT_TRUE(findings->item(0)->text().contains(QString::fromUtf8("к шагу 7"))) << findings->item(0)->text().toStdString();

  // Mended in the editor: the findings follow the edited steps before they are saved.
  f.Click(2);
  f.Type(1, "0");
  f.e->CheckMacro();
  EXPECT_FALSE(findings->isVisibleTo(f.e));
  f.Save();

  // A stray line in the file shifts the steps: the finding names the lines of the file.
  std::string text = MacroOf(f.Folder("B"));
  text.insert(text.find("GetStart"), "stray\r\n");
  test::WriteFile(f.Folder("B") + kMacroFileName, text);
  f.Select("B");
  f.e->CheckMacro();
  ASSERT_TRUE(findings->isVisibleTo(f.e));
  EXPECT_TRUE(findings->item(0)->text().contains(QString::fromUtf8("между строками 1 и 3")))
      << findings->item(0)->text().toStdString();
}

TEST(MacroEditorSave, TheQuestionWhenTheFolderIsLeftAndAtClose) {
  Editor f;
  f.Make({MacroStep("SaveNews")}, {MacroStep("NotOperation")});
  const std::string a = MacroOf(f.Folder("A"));
  f.Select("A");
  f.Select("B");
  EXPECT_TRUE(f.Boxes().questions.isEmpty()) << "nothing changed, nothing asked";

  f.Select("A");
  f.Click(0);
  f.e->AutoActionMemoHint()->setText("changed");
  f.Boxes().answers = {false};
  f.Select("B");
  ASSERT_EQ(f.Boxes().questions.size(), 1);
  EXPECT_EQ(f.Boxes().questions[0], Q(SaveMacroQuestionCaption("A")) + "|" + Q(SaveMacroQuestionText("A")));
  EXPECT_EQ(MacroOf(f.Folder("A")), a) << "No: not written";
  EXPECT_EQ(f.Line(0), QString::fromUtf8("00 - NotOperation:              ")) << "B is shown";
  // The box took the release of the click: the news list follows the tree all the same.
  EXPECT_TRUE(QTest::qWaitFor([&] { return f.w->ListNews()->Model()->Folder() == f.Folder("B"); }, 1000));

  f.Click(0);
  f.e->AutoActionMemoHint()->setText("B changed");
  f.Boxes().answers = {true};
  f.Select("A");
  EXPECT_EQ(ReadMacroStep(f.Folder("B"), 0).Description, "B changed");

  f.Click(0);
  f.e->AutoActionMemoHint()->setText("at close");
  f.Boxes().answers = {true};
  EXPECT_TRUE(f.w->close());
  EXPECT_EQ(f.Boxes().questions.size(), 3);
  EXPECT_EQ(ReadMacroStep(f.Folder("A"), 0).Description, "at close");
}

TEST(MacroEditorSave, AFailedSaveSaysSoAndKeepsTheEdits) {
  Editor f;
  f.Make({MacroStep("FindNameNews", "<h1>", "</h1>")}, {MacroStep("NotOperation")});
  f.Select("A");
  // The macro file's place is taken by a directory: no file can be renamed into it.
  const std::string file = f.Folder("A") + kMacroFileName;
  std::filesystem::permissions(file, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
  std::filesystem::remove(file);
  test::WriteFile(file + "/blocker", "x");

  f.Click(0);
  const QString command = f.e->AutoActionSelect()->currentText();
  f.e->AutoActionMemoHint()->setText("precious");
  f.Save();
  ASSERT_EQ(f.Boxes().messages.size(), 1);
  EXPECT_TRUE(f.Boxes().messages[0].contains(QString::fromUtf8("не сохранены")));
  EXPECT_TRUE(f.Boxes().messages[0].contains(QString::fromUtf8("Изменения остались в редакторе")));
  EXPECT_EQ(f.w->Tree().Caption(f.w->Accounts()->SelectedNode()), "A");

  // Leaving the folder: Yes, the write fails, the tree goes back, the edits stay.
  f.Boxes().answers = {true};
  f.Select("B");
  EXPECT_EQ(f.Boxes().messages.size(), 2);
  EXPECT_TRUE(QTest::qWaitFor([&] { return f.w->Tree().Caption(f.w->Accounts()->SelectedNode()) == "A"; }, 1000));
  EXPECT_EQ(f.e->AutoActionMemoHint()->text(), "precious");
  // The editor shows what it showed: the step's own command, which the next keystroke keeps.
  EXPECT_EQ(f.e->AutoActionSelect()->currentText(), command);
  f.Type(2, "</h2>");
  EXPECT_TRUE(f.Line(0).startsWith(QString::fromUtf8("00 - FindNameNews:"))) << f.Line(0).toStdString();

  // Closing: the window stays open with the edits; once the place is free, they are saved.
  f.Boxes().answers = {true};
  EXPECT_FALSE(f.w->close());
  EXPECT_EQ(f.Boxes().messages.size(), 3);
  std::filesystem::remove_all(file);
  f.Boxes().answers = {true};
  EXPECT_TRUE(f.w->close());
  EXPECT_EQ(ReadMacroStep(f.Folder("A"), 0).Description, "precious");
}

TEST(MacroEditorSteps, InsertCopyMoveAndDeleteKeepJumpsAndEveryEditUndoes) {
  Editor f;
  const std::vector<TTmpOneMacroComand> loaded = {
      MacroStep("GetStart", "http://127.0.0.1:1/", "</html>", "-1"), MacroStep("FindUrlNews", ".html", "4"),
      MacroStep("GetNews", "</html>", "", "", "1"), MacroStep("GotoMacro", "1")};
  f.Make(loaded);
  f.Select("A");
  const MacroTable& t = f.w->Macro().Table();
  auto jumps = [&] {
    std::vector<std::string> out;
    for (std::int32_t k = 0; k < t.count; ++k) {
      const TTmpOneMacroComand& s = t.steps[k];
      const std::string* p[] = {&s.P1, &s.P2, &s.P3, &s.P4};
      const int n = JumpParameter(s.Command);
      out.push_back(s.Command + (n ? ":" + *p[n - 1] : ""));
    }
    return out;
  };
  using V = std::vector<std::string>;

  // Insert after the selected step, with the command that follows it and its defaults.
  f.Click(0);
  f.Trigger("InsertMacro");
  EXPECT_EQ(jumps(), (V{"GetStart:-1", "FindUrlNews:-1", "FindUrlNews:5", "GetNews:2", "GotoMacro:2"}));
  EXPECT_EQ(f.e->SelectedStep(), 1);
  EXPECT_EQ(t.steps[1].P1, ".html") << "the catalogue's default";
  EXPECT_TRUE(f.Line(1).startsWith("01 - FindUrlNews:  .html"));
  f.Click(3);
  f.Trigger("InsertMacro");
  EXPECT_EQ(t.steps[4].Command, "EditHTMLNews");
  f.Trigger("CopyMacro");
  EXPECT_EQ(f.Lines(), 7);
  EXPECT_EQ(t.steps[5], t.steps[4]);
  EXPECT_EQ(f.e->SelectedStep(), 5);
  f.Trigger("MacroUp");
  f.Trigger("MacroUp");  // above GetNews, which is now step 4
  EXPECT_EQ(jumps(), (V{"GetStart:-1", "FindUrlNews:-1", "FindUrlNews:7", "EditHTMLNews", "GetNews:2", "EditHTMLNews",
                        "GotoMacro:2"}));
  EXPECT_EQ(f.e->Parameter(1)->currentText(), f.e->Parameter(1)->itemText(0)) << "the moved step is shown";

  // Deleting the step two jumps lead to: they end the folder, and the editor says so.
  f.Click(2);
  f.Trigger("DeleteMacro");
  EXPECT_EQ(jumps(), (V{"GetStart:-1", "FindUrlNews:-1", "EditHTMLNews", "GetNews:6", "EditHTMLNews", "GotoMacro:6"}));
  ASSERT_TRUE(f.e->EditNotice()->isVisibleTo(f.e));
  EXPECT_EQ(f.e->EditNotice()->text(),
            QString::fromUtf8("Шаг 3 переходил к удалённому шагу 2: теперь он переходит к шагу 6, концу папки.\n"
                              "Шаг 5 переходил к удалённому шагу 2: теперь он переходит к шагу 6, концу папки."));
  // Typing into one field is one edit.
  f.Click(5);
  f.Type(1, "3");
  f.Type(1, "31");
  EXPECT_EQ(t.steps[5].P1, "31");

  // Ctrl+Z takes back every edit, one at a time, down to the file as loaded; Ctrl+Y redoes them.
  f.w->activateWindow();
  f.e->ListMacro()->setFocus();
  ASSERT_TRUE(QTest::qWaitForWindowActive(f.w.get()));
  auto key = [&](int k) {
    QTest::keyClick(f.e->ListMacro(), static_cast<Qt::Key>(k), Qt::ControlModifier);
    QApplication::processEvents();
  };
  const std::vector<std::string> afterEdits = jumps();
  key(Qt::Key_Z);
  EXPECT_EQ(t.steps[5].P1, "6") << "the typing went at once";
  key(Qt::Key_Z);
  EXPECT_EQ(jumps(), (V{"GetStart:-1", "FindUrlNews:-1", "FindUrlNews:7", "EditHTMLNews", "GetNews:2", "EditHTMLNews",
                        "GotoMacro:2"}))
      << "the deleted step is back, and the jumps to it";
  EXPECT_EQ(f.e->SelectedStep(), 2);
  EXPECT_FALSE(f.e->EditNotice()->isVisibleTo(f.e));
  EXPECT_EQ(f.Lines(), 7);
  for (int i = 0; i < 5; ++i) key(Qt::Key_Z);  // two moves, the copy and two inserts
  EXPECT_FALSE(f.w->Macro().MacroModified()) << "back to the file as loaded";
  EXPECT_EQ(f.Lines(), 4);
  EXPECT_FALSE(f.w->Action("MacroUndo")->isEnabled());
  for (int i = 0; i < 7; ++i) key(Qt::Key_Y);
  EXPECT_EQ(jumps(), afterEdits);
  EXPECT_EQ(t.steps[5].P1, "31");
  EXPECT_FALSE(f.w->Action("MacroRedo")->isEnabled());

  // Saved: what was edited is in the file, and there is nothing more to undo.
  f.Save();
  MacroTable saved;
  ReadMacroFile(f.Folder("A") + kMacroFileName, saved);
  EXPECT_EQ(FormatMacroFile(saved), FormatMacroFile(t));
  EXPECT_EQ(saved.steps[3].P4, "6");
  EXPECT_FALSE(f.w->Action("MacroUndo")->isEnabled());

  // With nothing selected a step goes to the end, after the command that follows the last one.
  f.Select("B");
  f.Trigger("InsertMacro");
  ASSERT_EQ(f.Lines(), 1);
  EXPECT_EQ(f.w->Macro().Table().steps[0].Command, "GetStart");
}

TEST(MacroEditorSteps, NoStepBeyondTheTable) {
  Editor f;
  f.Make(std::vector<TTmpOneMacroComand>(kMacroSlots, MacroStep("NotOperation")));
  f.Select("A");
  ASSERT_EQ(f.Lines(), kMacroSlots);
  EXPECT_EQ(f.Line(1000).left(7), "1000 - ");
  f.Trigger("ANewMacro");
  EXPECT_EQ(f.Lines(), kMacroSlots);
  ASSERT_EQ(f.Boxes().messages.size(), 1);
  EXPECT_TRUE(f.Boxes().messages[0].contains("1001"));
  f.Trigger("SaveMacro");
  EXPECT_EQ(MacroOf(f.Folder("A")),
            Format(std::vector<TTmpOneMacroComand>(kMacroSlots, MacroStep("NotOperation"))));
}

// A site whose index links three articles; each article names itself in its title.
struct Site {
  test::HttpTestServer server;
  Site() {
    server.Get("/index.html", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("<body><a href=\"n/1.html\">1</a> <a href=\"/about.html\">a</a> <a href=\"n/2.html\">2</a> "
                      "<a href=\"n/3.html\">3</a></body>",
                      "text/html");
    });
    server.Get(R"(/n/(\d)\.html)", [](const httplib::Request& req, httplib::Response& res) {
      res.set_content("<html><head><title>Article " + req.matches[1].str() +
                          "</title></head><body><div class=\"article\">Long enough text of the article.</div>"
                          "<script>track()</script></body></html>",
                      "text/html");
    });
    server.Start();
  }
};

TEST(MacroEditorPreview, AfterARunEachStepShowsWhatItWouldDo) {
  Site site;
  Editor f;
  ASSERT_TRUE(test::WriteMacro(f.data / "Accounts/Site/", {MacroStep("GetStart", site.server.url("/index.html"), "<body", "-999")}));
  ASSERT_TRUE(test::WriteMacro(f.data / "Accounts/Site/News/",
                               {MacroStep("FindUrlNews", "n/*.html", "-1"), MacroStep("EditUrlNews"),
                                MacroStep("GetNews", "class=\"article\"", "", "", "0"),
                                MacroStep("EditHTMLNews", "StandartParameter=0", "StandartParameter=0"),
                                MacroStep("FindNameNews", "<title>", "</title>"), MacroStep("SaveNews"),
                                MacroStep("GotoMacro", "0")}));
  f.w = f.Open();
  f.e = f.w->Editor();
  f.Show();
  MacroPreviewPane* preview = f.e->Preview();
  f.Select("News");
  f.Click(0);
  preview->UpdateNow();
  EXPECT_EQ(preview->Shown().kind, StepPreview::Kind::kNone) << "no run yet";
  EXPECT_TRUE(preview->Summary()->text().contains(QString::fromUtf8("канал ещё не загружался")));

  // After a run the third news is taken out of the history: it is new again.
  f.w->Trigger("Download");
  TDownload* run = f.w->RunOfSlot(0);
  ASSERT_NE(run, nullptr);
  ASSERT_TRUE(QTest::qWaitFor([&] { return run->ChannelNode() == nullptr; }, 10000));
  ASSERT_EQ(f.w->History().Count(), 3u);
  f.w->History().RemoveIf([](const std::string& line) { return line.find("/n/3.html") != std::string::npos; });
  const int fetched = site.server.requestCount();

  f.Click(0);
  preview->UpdateNow();
  ASSERT_EQ(preview->Shown().kind, StepPreview::Kind::kLinks);
  QAbstractItemModel* links = preview->Links()->model();
  ASSERT_EQ(links->rowCount(), 3);
  EXPECT_EQ(links->index(0, 0).data(Qt::ForegroundRole).value<QColor>(), QColor(Qt::gray)) << "loaded before";
  EXPECT_TRUE(links->index(2, 0).data().toString().startsWith(QString::fromUtf8("▶ n/3.html")));
  EXPECT_TRUE(links->index(2, 0).data(Qt::FontRole).value<QFont>().bold());

  // Typing a fragment updates the preview a moment later, by itself.
  f.Type(1, "n/2");
  EXPECT_TRUE(preview->Timer()->isActive());
  EXPECT_TRUE(QTest::qWaitFor([&] { return links->rowCount() == 1; }, 2000));

  f.Click(2);  // GetNews: the match in the last fetched page
  preview->UpdateNow();
  EXPECT_EQ(preview->Shown().kind, StepPreview::Kind::kFind);
  EXPECT_TRUE(preview->Text()->toHtml().contains("background-color:#ffff00"));
  EXPECT_TRUE(preview->Text()->toPlainText().contains("class=\"article\""));
  f.Click(3);
  preview->UpdateNow();
  EXPECT_TRUE(preview->Text()->toPlainText().contains(QString::fromUtf8("Стало:")) ||
              preview->Text()->toPlainText().contains(QString::fromUtf8("стало:")));
  EXPECT_TRUE(preview->Text()->toPlainText().contains("The script delete Skimlet"));
  f.Click(4);
  preview->UpdateNow();
  EXPECT_EQ(preview->Shown().name, "Article 3 (1)") << "the last article fetched, whose file the run has saved";
  EXPECT_EQ(site.server.requestCount(), fetched) << "the preview never fetches by itself";

  // The fetch button brings the page of the next news, and only then is the server asked.
  f.Click(2);
  preview->FetchPage();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !preview->Fetching(); }, 5000));
  EXPECT_EQ(site.server.requestCount(), fetched + 1);
  EXPECT_TRUE(preview->Shown().positive);
}


// «Проверить папку»: the folder's saved steps against the live site, off the window thread,
// writing nothing; a rubric goes on from its channel's steps, and the other rubrics stay out.
TEST(MacroEditorDryRun, ListsWhatWouldBeSavedAndWhatTheHistorySkips) {
  Site site;
  Editor f;
  ASSERT_TRUE(test::WriteMacro(f.data / "Accounts/Site/", {MacroStep("GetStart", site.server.url("/index.html"), "<body", "-999")}));
  const std::vector<TTmpOneMacroComand> news = {
      MacroStep("FindUrlNews", "n/*.html", "-1"), MacroStep("EditUrlNews"),
      MacroStep("GetNews", "class=\"article\"", "", "", "0"), MacroStep("FindNameNews", "<title>", "</title>"), MacroStep("SaveNews"), MacroStep("GotoMacro", "0")};
  ASSERT_TRUE(test::WriteMacro(f.data / "Accounts/Site/News/", news));
  ASSERT_TRUE(test::WriteMacro(f.data / "Accounts/Site/Other/", {MacroStep("GetStart", site.server.url("/other.html"))}));
  f.w = f.Open();
  f.e = f.w->Editor();
  f.Show();
  f.Select("News");
  FolderDryRunPane* check = f.e->DryRun();
  auto lines = [&] {
    QStringList out;
    for (int i = 0; i < check->Results()->count(); ++i) out << check->Results()->item(i)->text();
    return out;
  };
  auto files = [&] {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::recursive_directory_iterator(f.data.path())) out.push_back(e.path().string());
    std::sort(out.begin(), out.end());
    return out;
  };
  const std::vector<std::string> before = files();

  QTest::mouseClick(check->Button(), Qt::LeftButton);
  EXPECT_TRUE(check->Running()) << "the click returns while the run goes on";
  EXPECT_EQ(check->Button()->text(), QString::fromUtf8("Остановить проверку"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !check->Running(); }, 10000));
  QStringList shown = lines();
  ASSERT_EQ(shown.size(), 5) << shown.join('\n').toStdString();
  EXPECT_TRUE(shown[0].startsWith(QString::fromUtf8("«Site»: Папка кончилась: "))) << shown[0].toStdString();
  for (int i = 1; i <= 3; ++i)
    EXPECT_EQ(shown[i], QString::fromUtf8("Сохранилась бы «Article %1» — %2").arg(i).arg(Q(site.server.url("/n/")) + QString::number(i) + ".html"));
  EXPECT_TRUE(shown[4].startsWith(QString::fromUtf8("Папка кончилась: "))) << shown[4].toStdString();
  EXPECT_TRUE(check->Summary()->text().contains(QString::fromUtf8("Сохранилось бы новостей: 3, пропущено по истории: 0.")))
      << check->Summary()->text().toStdString();
  EXPECT_EQ(site.server.requestCount(), 4) << "the index and three articles; not the other rubric";
  EXPECT_EQ(files(), before) << "nothing written";
  EXPECT_EQ(f.w->History().Count(), 0u);

  // After a run the history holds them; an unsaved edit is named, the file's steps are checked.
  f.w->Trigger("Download");
  TDownload* run = f.w->RunOfSlot(0);
  ASSERT_NE(run, nullptr);
  ASSERT_TRUE(QTest::qWaitFor([&] { return run->ChannelNode() == nullptr; }, 10000));
  f.Click(0);
  f.Type(1, "nothing-like-this");
  check->Start();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !check->Running(); }, 10000));
  shown = lines();
  ASSERT_EQ(shown.size(), 5) << shown.join('\n').toStdString();
  EXPECT_EQ(shown[2], QString::fromUtf8("Есть в истории, пропущена: ") + Q(site.server.url("/n/2.html")));
  EXPECT_TRUE(check->Summary()->text().contains(QString::fromUtf8("правки редактора ещё не сохранены")));

  // Another folder: what was found about this one goes. A page that fails is a red line.
  f.Trigger("MacroUndo");
  ASSERT_FALSE(f.w->Macro().MacroModified());
  f.Select("Other");
  EXPECT_FALSE(check->Results()->isVisibleTo(f.e));
  check->Start();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !check->Running(); }, 10000));
  shown = lines();
  ASSERT_GE(shown.size(), 3) << shown.join('\n').toStdString();
  EXPECT_TRUE(shown.last().contains("404")) << shown.join('\n').toStdString();
  EXPECT_EQ(check->Results()->item(shown.size() - 1)->foreground().color(), QColor(255, 0, 0));
  EXPECT_TRUE(check->Summary()->text().contains(QString::fromUtf8("не загружено страниц: 1")))
      << check->Summary()->text().toStdString();
}

}  // namespace
}  // namespace skimlet
