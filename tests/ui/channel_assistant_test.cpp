// The new-channel assistant driven as a user drives it: real clicks on its views (the
// program's own script takes them; the pages' scripts are off), against a loopback site.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidgetItem>
#include <QWebEngineScript>
#include <QWebEngineView>

#include "authoring/ui/ChannelAssistant.h"
#include "authoring/ui/MacroEditor.h"
#include "library/ui/AccountsTree.h"
#include "library/ui/NewsList.h"
#include "shell/MainUnit.h"
#include "platform/Files.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/UiTestSupport.h"

namespace skimlet {
namespace {

using test::Cp;

QVariant Js(QWebEngineView* view, const QString& code) {
  QVariant result;
  bool done = false;
  view->page()->runJavaScript(code, QWebEngineScript::ApplicationWorld, [&](const QVariant& v) {
    result = v;
    done = true;
  });
  EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 10000));
  return result;
}

// A left click where the user sees the element.
void ClickOn(QWebEngineView* view, const QString& selector, Qt::KeyboardModifiers keys = {}) {
  const QString quoted = QString::fromUtf8(QJsonDocument(QJsonArray{selector}).toJson(QJsonDocument::Compact));
  const QVariantList xy =
      Js(view, QStringLiteral("(function(){var e=document.querySelector(%1[0]);e.scrollIntoView({block:'center'});"
                              "var r=e.getBoundingClientRect();return [r.left+Math.min(r.width/2,15),"
                              "r.top+r.height/2];})()")
                   .arg(quoted))
          .toList();
  ASSERT_EQ(xy.size(), 2) << selector.toStdString();
  ASSERT_TRUE(QTest::qWaitFor([&] { return view->focusProxy() != nullptr; }, 5000));
  QTest::mouseClick(view->focusProxy(), Qt::LeftButton, keys, QPoint(xy[0].toInt(), xy[1].toInt()));
}

int Marked(QWebEngineView* view, const char* cls) {
  return Js(view, QStringLiteral("document.querySelectorAll('.%1').length").arg(cls)).toInt();
}

std::string Article(const std::string& n) {
  return Cp("<html><head><title>Новость " + n + " — Вести</title></head><body><div class=\"rubric\">Город</div>"
            "<h1>Новость " + n + "</h1><div class=\"lead\">Подробно " + n + "</div>\n<div class=\"text\"><p>Текст " +
            n + "</p></div>\n<div class=\"share\">Поделиться</div></body></html>");
}

struct Site {
  test::HttpTestServer server;
  Site() {
    server.Get("/news/", [](const httplib::Request&, httplib::Response& res) {
      std::string list = "<html><head><title>News</title></head><body><div class=\"menu\"><a href=\"/\">Home</a>"
                         "<a href=\"/about.html\">About</a></div><ul class=\"news\">";
      for (const char* n : {"101", "102", "999", "103", "104"})
        list += std::string("<li><a id=\"n") + n + "\" href=\"/news/" + n + ".html\">" + Cp("Новость ") + n + "</a></li>";
      res.set_content(list + "</ul></body></html>", "text/html; charset=windows-1251");
    });
    server.Get(R"(/news/(\d+)\.html)", [](const httplib::Request& req, httplib::Response& res) {
      res.set_content(Article(req.matches[1]), "text/html; charset=windows-1251");
    });
    server.Get("/hangs/", [this](const httplib::Request&, httplib::Response& res) {
      server.WaitForStop();
      res.set_content("<html></html>", "text/html");
    });
    server.Start();
  }
};

TEST(ChannelAssistant, ClicksMakeTheChannelExcludeALinkAndPickTheHeadline) {
  test::DesktopScope desktop;
  test::TempDir data;
  Site site;
  // A folder that saved one of the list's news already: the history makes a download skip it.
  test::WriteFile(data / "Accounts/Архив/old.html", "<!-- The file created from Skimlet.\r\nSkimletNAME:old\r\nSkimletURL:" +
                                                        site.server.url("/news/102.html") + "\r\n-->\r\n<p>old</p>");
  ChannelTree tree(data.path());
  tree.BuildChannelTree(tree.AccountsDir(), nullptr, false);
  ChannelAssistant a(tree, data.path(), [] { return RunSettings(); });
  a.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&a));
  a.findChild<QLineEdit*>("AssistantAddress")->setText(QString::fromStdString(site.server.url("/hangs/")));
  a.ShowList();  // a server that never answers keeps no other address waiting
  QTest::qWait(300);
  a.findChild<QLineEdit*>("AssistantAddress")->setText(QString::fromStdString(site.server.url("/news/")));
  a.ShowList();
  auto settled = [&](auto&& condition) { return QTest::qWaitFor([&] { return a.Idle() && condition(); }, 15000); };
  ASSERT_TRUE(settled([] { return true; })) << a.Status()->text().toStdString();
  QWebEngineView* list = a.ListView();
  QWebEngineView* article = a.ArticleView();

  // One click: the list the link stands in, marked on the page and listed.
  ClickOn(list, "#n101");
  ASSERT_TRUE(settled([&] { return a.Proposal().links.size() == 5; })) << a.Status()->text().toStdString();
  EXPECT_EQ(a.Links()->count(), 5);
  EXPECT_TRUE(QTest::qWaitFor([&] { return Marked(list, "skimlet-taken") == 5; }, 5000));
  EXPECT_EQ(a.Proposal().exampleNames, std::vector<std::string>{Cp("Новость 101")}) << "the <h1>, not the title";

  // A second example (Shift: it is taken already), then the wrongly taken link: out of the
  // list, and marked so.
  ClickOn(list, "#n103", Qt::ShiftModifier);
  ASSERT_TRUE(settled([&] { return a.Proposal().exampleNames.size() == 2; }));
  ClickOn(list, "#n999");
  ASSERT_TRUE(settled([&] { return a.Proposal().links.size() == 4; })) << a.Status()->text().toStdString();
  for (const ProposedLink& l : a.Proposal().links) EXPECT_EQ(l.url.find("999"), std::string::npos);
  EXPECT_TRUE(QTest::qWaitFor([&] { return Marked(list, "skimlet-excluded") == 1 && Marked(list, "skimlet-example") == 2; }, 5000));
  EXPECT_TRUE(desktop.desktop.calls.isEmpty()) << "no click left for the browser";

  // The example article with its headline marked; a click elsewhere changes the headline.
  a.findChild<QTabWidget*>()->setCurrentIndex(1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return a.Idle() && Marked(article, "skimlet-headline") == 1; }, 10000));
  EXPECT_EQ(Js(article, "document.querySelector('.skimlet-headline').tagName").toString(), "H1");
  ClickOn(article, "div.lead");
  ASSERT_TRUE(settled([&] { return a.Proposal().exampleNames.front() == Cp("Подробно 101"); }))
      << a.Status()->text().toStdString();
  EXPECT_EQ(a.Proposal().exampleNames.back(), Cp("Подробно 103"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return Js(article, "document.querySelector('.skimlet-headline').className")
                                               .toString()
                                               .contains("lead"); }, 5000));
  // The text to keep: a click on its paragraph cuts the article down to its block.
  a.findChild<QRadioButton*>("AssistantPickText")->setChecked(true);
  ClickOn(article, "div.text p");
  auto cuts = [&] {
    int n = 0;
    for (const TTmpOneMacroComand& s : a.Proposal().steps) n += s.Command == "EditHTMLNews" && !s.P3.empty();
    return n;
  };
  ASSERT_TRUE(settled([&] { return cuts() == 2; })) << a.Status()->text().toStdString();
  EXPECT_TRUE(QTest::qWaitFor([&] { return Js(article, "document.querySelector('.skimlet-text').className")
                                               .toString()
                                               .startsWith("text"); }, 5000)) << "the block kept is marked";

  // A click on an example takes it back.
  a.findChild<QTabWidget*>()->setCurrentIndex(0);
  ClickOn(list, "#n103");
  ASSERT_TRUE(settled([&] { return a.Proposal().exampleNames.size() == 1; }));
  EXPECT_EQ(a.Proposal().links.size(), 4u) << "the exclusion stays";

  // The dry run names the news the channel would save, and the folder that holds one already.
  a.DryRun();
  ASSERT_TRUE(settled([&] { return a.News()->count() > 1; }));
  QStringList shown;
  for (int i = 0; i < a.News()->count(); ++i) shown << a.News()->item(i)->text();
  EXPECT_EQ(shown.front(), QStringLiteral("Сохранилось бы новостей: 4 из 4. Ничего не записано."));
  EXPECT_TRUE(shown.contains(QStringLiteral("Подробно 102 (уже сохранена в «Архив»)\n    %1")
                                 .arg(QString::fromStdString(site.server.url("/news/102.html")))))
      << shown.join('|').toStdString();
  EXPECT_TRUE(shown.contains(QStringLiteral("Подробно 104\n    %1").arg(QString::fromStdString(site.server.url("/news/104.html")))))
      << shown.join('|').toStdString();

  // «Создать»: the folder with these steps, marked for download.
  QSignalSpy created(&a, &ChannelAssistant::created);
  a.findChild<QLineEdit*>("AssistantChannel")->setText(QStringLiteral("Вести"));
  ASSERT_TRUE(a.Create(false)) << a.Status()->text().toStdString();
  ASSERT_EQ(created.count(), 1);
  std::string macro;
  ASSERT_TRUE(ReadWholeFile(data / "Accounts/Вести/Skimlet-macros.ini", macro));
  EXPECT_NE(macro.find("EditHTMLNews"), std::string::npos);
  EXPECT_NE(macro.find("FindAttachment"), std::string::npos);
}

}  // namespace
}  // namespace skimlet

namespace skimlet {
namespace {

// From the window's menu: «Открыть в редакторе» writes a rubric with its new channel, selects it
// in the tree (F9 takes the selected channel), says what was made and shows its steps on the
// macro page.
TEST(ChannelAssistant, OpenInTheEditorSelectsTheNewRubricAndShowsItsSteps) {
  test::WindowFixture f;
  Site site;
  std::unique_ptr<TMainForm> w = f.Open();
  w->Action("NewChannelByAddress")->trigger();
  auto* a = w->findChild<ChannelAssistant*>();
  ASSERT_NE(a, nullptr);
  a->findChild<QLineEdit*>("AssistantAddress")->setText(QString::fromStdString(site.server.url("/news/")));
  a->ShowList();
  ASSERT_TRUE(QTest::qWaitFor([&] { return a->Idle() && a->Status()->text().startsWith(QStringLiteral("Щёлкните")); }, 15000));
  a->ListClicked({"/news/102.html", false, {}});
  ASSERT_TRUE(QTest::qWaitFor([&] { return a->Idle() && !a->Proposal().links.empty(); }, 15000));
  const int steps = static_cast<int>(a->Proposal().steps.size());
  a->findChild<QLineEdit*>("AssistantChannel")->setText(QStringLiteral("Вести"));
  a->findChild<QLineEdit*>("AssistantRubric")->setText(QStringLiteral("Город"));
  QSignalSpy listed(w->ListNews(), &NewsList::filled);
  a->findChild<QPushButton*>("AssistantOpenEditor")->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return w->findChild<ChannelAssistant*>() == nullptr; }, 5000)) << "closed";
  ASSERT_TRUE(listed.wait(5000) || listed.count() > 0);
  EXPECT_EQ(w->statusBar()->currentMessage(), QStringLiteral("Создан канал «Вести» и рубрика «Город»"))
      << "said, and still there once the new folder's list has come";
  const NodePtr selected = w->Accounts()->SelectedNode();
  ASSERT_NE(selected, nullptr);
  EXPECT_EQ(w->Accounts()->Tree().Caption(selected), Cp("Город"));
  EXPECT_EQ(w->Accounts()->Tree().Caption(w->Accounts()->Tree().Parent(selected)), Cp("Вести"));
  QTreeWidgetItem* shown = w->Accounts()->ItemOf(selected);
  ASSERT_NE(shown, nullptr);
  ASSERT_NE(shown->parent(), nullptr) << "shown under its channel";
  EXPECT_EQ(shown->parent()->text(0), QStringLiteral("Вести"));
  EXPECT_EQ(w->findChild<QTabWidget*>("PageDown")->currentWidget(), w->findChild<QWidget*>("TabMacro"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return w->Editor()->ListMacro()->model()->rowCount() == steps; }, 3000));
}

}  // namespace
}  // namespace skimlet
