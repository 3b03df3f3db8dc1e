#include "library/ui/AccountsTree.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QTreeWidgetItemIterator>
#include <memory>

#include "platform/Files.h"
#include "tests/support/TestSupport.h"
#include "tests/support/UiTestSupport.h"

namespace skimlet {
namespace {

using Change = std::pair<NodePtr, NodePtr>;

// Accounts/A/{B,C} and Accounts/D, shown expanded with nothing selected.
class AccountsTreeTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  ChannelTree tree{dir.path()};
  test::DialogsScope boxes;
  test::ScriptedDialogs& d = boxes.dialogs;
  std::unique_ptr<AccountsTree> view;
  std::vector<Change> changes;
  std::vector<NodePtr> listed;

  void SetUp() override {
    for (const char* f : {"A/B", "A/C", "D"}) MakeDirs(Path(f));
    tree.BuildChannelTree(tree.AccountsDir(), nullptr, false);
    view = std::make_unique<AccountsTree>(tree);
    view->resize(300, 300);
    view->Rebuild();
    view->expandAll();
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    view->setCurrentItem(nullptr);  // focus-in made the first item current
    QObject::connect(view.get(), &AccountsTree::changing, [this](NodePtr n, NodePtr o) { changes.emplace_back(n, o); });
    QObject::connect(view.get(), &AccountsTree::listNode, [this](NodePtr n) { listed.push_back(n); });
  }

  std::string Path(const std::string& rel) { return dir / ("Accounts/" + rel); }
  NodePtr Node(const std::string& caption) {
    for (const NodePtr& n : tree.InTreeOrder())
      if (tree.Caption(n) == test::Cp(caption)) return n;
    return nullptr;
  }
  QTreeWidgetItem* Item(const std::string& caption) { return view->ItemOf(Node(caption)); }
  int Slot(const std::string& caption) { return Item(caption)->data(0, AccountsTree::kImageSlotRole).toInt(); }
  bool CheckedOnDisk(const std::string& rel) { return (ReadFolderAttributes(Path(rel)) & kAttrReadOnly) != 0; }
  void ClickBox(const std::string& caption) {
    QStyleOptionViewItem opt;
    opt.initFrom(view->viewport());
    opt.rect = view->visualItemRect(Item(caption));
    opt.features = QStyleOptionViewItem::HasCheckIndicator;
    QRect box = view->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, view.get());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, box.center());
  }
  QStringList Shown() {  // one '-' per level
    QStringList out;
    for (QTreeWidgetItemIterator it(view.get()); *it; ++it)
      out << QString((*it)->parent() ? "-" : "") + (*it)->text(0);
    return out;
  }
};

TEST_F(AccountsTreeTest, MirrorsTheCoreTreeAndItsMarks) {
  EXPECT_EQ(Shown(), QStringList({"A", "-B", "-C", "D"}));
  EXPECT_EQ(view->NodeOf(Item("C")), Node("C"));

  tree.MarkNodeUnread(Node("B"), true);
  view->RefreshAll();
  EXPECT_TRUE(Item("B")->font(0).bold() && Item("A")->font(0).bold());
  EXPECT_FALSE(Item("D")->font(0).bold());
  tree.SetFolderUnreadAttribute(Node("A"), false);
  tree.MarkNodeUnread(Node("B"), false);
  view->RefreshAll();
  EXPECT_FALSE(Item("B")->font(0).bold() || Item("A")->font(0).bold());

  // The image index, and one slot lower (its selected look) on the selected item only.
  view->SelectNode(Node("A"));
  EXPECT_EQ(Slot("A"), 1);
  EXPECT_EQ(Slot("D"), 2);
  view->SelectNode(Node("D"));
  tree.SetImageIndex(Node("A"), kImageDownloading);
  view->RefreshNode(Node("A"));
  EXPECT_EQ(Slot("A"), 6);
  EXPECT_EQ(Slot("D"), 1);
  EXPECT_EQ(changes, std::vector<Change>({{Node("A"), nullptr}, {Node("D"), Node("A")}}));
}

TEST_F(AccountsTreeTest, ClickHandlingListsTheSelectedNodeOnce) {
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualItemRect(Item("A")).center());
  view->AccountsClick();
  EXPECT_EQ(listed, std::vector<NodePtr>({Node("A")}));
  // A key works on the node selected before the key moves the selection.
  QTest::keyClick(view.get(), Qt::Key_Down);
  QTest::keyClick(view.get(), Qt::Key_Down);
  EXPECT_EQ(listed, std::vector<NodePtr>({Node("A"), Node("B")}));
  EXPECT_EQ(view->SelectedNode(), Node("C"));

  view->ResetListedNode();
  QPoint at = view->visualItemRect(Item("C")).center(), global;
  QObject::connect(view.get(), &AccountsTree::contextMenuWanted, [&](QPoint p) { global = p; });
  QContextMenuEvent menu(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
  QApplication::sendEvent(view->viewport(), &menu);
  EXPECT_EQ(global, view->viewport()->mapToGlobal(at));
  EXPECT_EQ(listed.back(), Node("C"));
  for (const char* f : {"A", "A/B", "A/C", "D"})  // no check mark written outside selection mode
    EXPECT_FALSE(FileExists(Path(f) + "/" + kFolderAttributeFile)) << f;
}

TEST_F(AccountsTreeTest, SelectionModeShowsBoxesAndPropagatesChecks) {
  WriteFolderAttributes(Path("D"), kAttrReadOnly);  // behind the tree's back: re-read on switching
  view->SetSelectionMode(true);
  EXPECT_EQ(Item("D")->checkState(0), Qt::Checked);
  EXPECT_EQ(Item("A")->checkState(0), Qt::Unchecked);

  ClickBox("B");
  EXPECT_TRUE(CheckedOnDisk("A/B") && CheckedOnDisk("A"));
  EXPECT_FALSE(CheckedOnDisk("A/C"));
  EXPECT_EQ(Item("A")->checkState(0), Qt::Checked);
  EXPECT_EQ(Slot("A"), 4);
  ClickBox("C");
  ClickBox("C");
  EXPECT_FALSE(CheckedOnDisk("A/C"));
  EXPECT_TRUE(CheckedOnDisk("A"));
  ClickBox("A");
  EXPECT_FALSE(CheckedOnDisk("A") || CheckedOnDisk("A/B"));
  EXPECT_EQ(Item("B")->checkState(0), Qt::Unchecked);
  EXPECT_TRUE(CheckedOnDisk("D"));
  view->SelectNode(Node("C"));
  QTest::keyClick(view.get(), Qt::Key_Space);
  EXPECT_TRUE(CheckedOnDisk("A/C") && CheckedOnDisk("A"));

  view->SetSelectionMode(false);
  for (const char* c : {"A", "B", "C", "D"}) EXPECT_FALSE(Item(c)->data(0, Qt::CheckStateRole).isValid()) << c;
}

TEST_F(AccountsTreeTest, CreatesChannelsAndRubricsUnderTheChannel) {
  d.inputs = {"Новости"};
  ASSERT_TRUE(view->CreateAccount());
  EXPECT_EQ(d.prompts.value(0), "Создание нового сайта|Введите имя сайта. Учтите, это же имя будет именем "
                                "папки в окне Проводника.");
  EXPECT_TRUE(CheckedOnDisk("Новости"));
  view->SelectNode(Node("B"));
  d.inputs = {"E"};
  NodePtr rubric = view->CreateRub();
  EXPECT_EQ(d.prompts.value(1), "Создание рубрики сайта|Введите имя рубрики сайта. Учтите, это же имя будет "
                                "именем папки в окне Проводника.");
  EXPECT_TRUE(DirExists(Path("A/E")));
  EXPECT_EQ(tree.Parent(rubric), Node("A"));
  EXPECT_EQ(Shown(), QStringList({"A", "-B", "-C", "-E", "D", "Новости"}));

  d.inputs = {"D"};  // the folder has its node already
  EXPECT_EQ(view->CreateAccount(), Node("D"));
  EXPECT_EQ(view->SelectedNode(), Node("D"));
  for (const char* bad : {"", ".", "..", "x/y", "x\\y", ".hidden", "Attachment", "日本"}) {
    d.messages.clear();
    d.inputs = {QString::fromUtf8(bad)};
    EXPECT_EQ(view->CreateAccount(), nullptr) << bad;
    EXPECT_EQ(d.messages, QStringList({"Ошибка. Неверное имя, или нет доступа."})) << bad;
  }
  d.messages.clear();
  d.inputs.clear();
  EXPECT_EQ(view->CreateRub(), nullptr);  // cancelled
  EXPECT_TRUE(d.messages.isEmpty());
  EXPECT_EQ(Shown().size(), 6);
  EXPECT_EQ(tree.InTreeOrder().size(), 6u);
  EXPECT_FALSE(DirExists(Path("x")) || DirExists(Path(".hidden")) || DirExists(Path("Attachment")));
}

TEST_F(AccountsTreeTest, RenamesInPlaceOnlyWhenTheDiskAllows) {
  QString started;
  QObject::connect(view.get(), &AccountsTree::editingStarted, [&](const QString& t) { started = t; });
  auto renameTo = [&](const char* caption, const QString& text) {
    view->editItem(Item(caption), 0);
    auto* editor = view->viewport()->findChild<QLineEdit*>();
    ASSERT_TRUE(editor);
    editor->setText(text);
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();  // the delegate commits through a queued call
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  };
  for (const char* refused : {"C", "Attachment"}) {  // an (empty) folder of that name exists; never a node
    renameTo("B", refused);
    ASSERT_TRUE(Item("B")) << refused;
    EXPECT_EQ(Item("B")->text(0), "B");
    EXPECT_TRUE(DirExists(Path("A/B")) && DirExists(Path("A/C")));
  }
  EXPECT_EQ(started, "B");
  renameTo("A", "Сайт");
  EXPECT_EQ(started, "A");
  EXPECT_TRUE(DirExists(Path("Сайт/B")));
  EXPECT_EQ(view->ItemOf(Node("Сайт"))->text(0), "Сайт");
  EXPECT_EQ(tree.FolderPath(Node("C")), Path("Сайт/C/"));
}

TEST_F(AccountsTreeTest, DeletesIntoTheTrashOnlyAfterYes) {
  test::TempDir home;
  QByteArray oldHome = qgetenv("XDG_DATA_HOME");
  qputenv("XDG_DATA_HOME", QByteArray::fromStdString(home.path()));
  view->SelectNode(Node("A"));
  d.answers = {false, true};
  EXPECT_FALSE(view->DeleteFolder());
  EXPECT_EQ(d.questions.value(0), "Skimlet|Удалить папку \"A\" со всеми новостями в Корзину?");
  EXPECT_TRUE(DirExists(Path("A/B")));
  NodePtr b = Node("B");
  bool removed = view->DeleteFolder();
  if (oldHome.isNull()) qunsetenv("XDG_DATA_HOME"); else qputenv("XDG_DATA_HOME", oldHome);
  EXPECT_TRUE(removed);
  EXPECT_TRUE(DirExists(home / "Trash/files/A/B"));
  EXPECT_FALSE(DirExists(Path("A")));
  EXPECT_EQ(Shown(), QStringList({"D"}));
  EXPECT_EQ(tree.InTreeOrder().size(), 1u);
  EXPECT_EQ(view->ItemOf(b), nullptr);
  EXPECT_EQ(changes.back(), Change(Node("D"), nullptr));  // the deleted node is not "left"
}

TEST_F(AccountsTreeTest, DroppedNewsFilesMoveIntoTheTargetFolder) {
  test::WriteFile(Path("A/B/one.html"), "1");
  test::WriteFile(Path("A/B/two.html"), "new");
  test::WriteFile(Path("D/two.html"), "old");
  QPoint at = view->visualItemRect(Item("D")).center();
  QString one = QString::fromStdString(Path("A/B/one.html"));
  QMimeData plain, news;
  plain.setText(one);
  news.setData(AccountsTree::kNewsMimeType, (one + "\n" + QString::fromStdString(Path("A/B/two.html"))).toUtf8());
  QDragEnterEvent foreign(at, Qt::MoveAction, &plain, Qt::LeftButton, {});
  QDragEnterEvent enter(at, Qt::MoveAction, &news, Qt::LeftButton, {});
  QApplication::sendEvent(view->viewport(), &foreign);
  EXPECT_FALSE(foreign.isAccepted());
  QApplication::sendEvent(view->viewport(), &enter);
  QDragMoveEvent move(at, Qt::MoveAction, &news, Qt::LeftButton, {});
  move.setAccepted(false);
  QApplication::sendEvent(view->viewport(), &move);
  EXPECT_TRUE(move.isAccepted());
  std::pair<NodePtr, QStringList> moved;
  QObject::connect(view.get(), &AccountsTree::newsMoved, [&](NodePtr t, QStringList p) { moved = {t, p}; });
  QDropEvent drop(QPointF(at), Qt::MoveAction, &news, Qt::LeftButton, {});
  QApplication::sendEvent(view->viewport(), &drop);
  EXPECT_EQ(test::ReadFile(Path("D/one.html")), "1");
  EXPECT_EQ(test::ReadFile(Path("D/two.html")), "old");  // a taken name is skipped
  EXPECT_EQ(test::ReadFile(Path("A/B/two.html")), "new");
  EXPECT_EQ(moved.first, Node("D"));
  EXPECT_EQ(moved.second, QStringList({one}));
}

}  // namespace
}  // namespace skimlet
