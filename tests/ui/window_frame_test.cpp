// The window's frame: which run's log reaches the window, and Qt's own texts in Russian.
#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <memory>
#include <thread>

#include "shell/WindowRunHost.h"
#include "store/History.h"

namespace skimlet {
namespace {

NodePtr Channel(const std::string& name) {
  auto node = std::make_shared<FolderNode>();
  node->diskName = name;
  return node;
}

// A run thread hands over its view; the window decides when the view arrives.
int ViewsShownFromRunThread(WindowRunHost& host, const NodePtr& channel) {
  RunView view;
  view.channel = channel;
  view.lastLine = "0 line";
  view.logSize = 1;
  std::atomic<bool> done{false};
  std::thread run([&] {
    host.ShowRunState(view);
    done = true;
  });
  bool finished = QTest::qWaitFor([&] { return done.load(); }, 5000);
  run.join();
  return finished ? 1 : 0;
}

TEST(WindowRunHostLog, AViewArrivingAfterTheUserSwitchedChannelsIsNotShown) {
  DownloadHistory history;
  LiveSettings settings;
  std::vector<NodePtr> shown;
  WindowRunActions actions;
  actions.showRunState = [&](const RunView& view) { shown.push_back(view.channel); };
  WindowRunHost host(history, settings, actions);
  NodePtr a = Channel("A"), b = Channel("B");

  host.SetShownChannel(a);
  ASSERT_EQ(ViewsShownFromRunThread(host, a), 1);
  ASSERT_EQ(shown.size(), 1u);

  // A's run checked while A was shown; by the time the window gets the view, B is shown.
  host.SetShownChannel(b);
  ASSERT_EQ(ViewsShownFromRunThread(host, a), 1);
  EXPECT_EQ(shown.size(), 1u);
  ASSERT_EQ(ViewsShownFromRunThread(host, b), 1);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown.back(), b);
}

QString Bare(QString text) { return text.remove('&'); }

TEST(RussianQtTexts, StandardButtonsAndTextFieldMenus) {
  QMessageBox box(QMessageBox::Warning, "Skimlet", "?", QMessageBox::Yes | QMessageBox::No);
  EXPECT_EQ(Bare(box.button(QMessageBox::Yes)->text()), QString::fromUtf8("Да"));
  EXPECT_EQ(Bare(box.button(QMessageBox::No)->text()), QString::fromUtf8("Нет"));
  QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  EXPECT_EQ(Bare(buttons.button(QDialogButtonBox::Cancel)->text()), QString::fromUtf8("Отмена"));
  QLineEdit field;
  std::unique_ptr<QMenu> menu(field.createStandardContextMenu());
  QStringList texts;
  for (QAction* action : menu->actions()) texts << Bare(action->text());
  EXPECT_TRUE(texts.join('|').contains(QString::fromUtf8("Копировать"))) << texts.join('|').toStdString();
}

}  // namespace
}  // namespace skimlet
