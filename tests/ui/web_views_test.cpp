// What a saved page may do in the program's web views, and the program's boxes: names shown
// as written, and No as the answer Enter gives to a question before a loss.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QWebEngineScript>
#include <QWebEngineView>

#include "authoring/ui/MacroEditor.h"
#include "library/ui/NewsViewer.h"
#include "platform/Files.h"
#include "qt/Dialogs.h"
#include "qt/WebViews.h"
#include "shell/ReaderCode.h"
#include "tests/support/UiTestSupport.h"

namespace skimlet {
namespace {

using test::TempDir;
using T = QWebEnginePage::NavigationType;
using V = NavigationVerdict;

QUrl File(const std::string& path) { return QUrl::fromLocalFile(QString::fromStdString(path)); }

TEST(SavedPageViews, NavigationAndLocalFilesKeepToThePagesFolder) {
  TempDir dir;
  SetHelpFolder(QString::fromStdString(dir / "Help"));
  const QUrl news = File(dir / "Accounts/Site/News/a.html");
  const QUrl help = File(dir / "Help/01OverView.htm");
  struct Case {
    const char* what;
    QUrl target, current;
    T type;
    bool mainFrame;
    V verdict;
  } cases[] = {
      {"the program loads a news", news, QUrl(), T::NavigationTypeTyped, true, V::kAllow},
      {"reload", news, news, T::NavigationTypeReload, true, V::kAllow},
      {"a link to the site goes to the browser", QUrl("https://site/b.html"), news, T::NavigationTypeLinkClicked, true,
       V::kOpenOutside},
      {"mail", QUrl("mailto:a@b"), news, T::NavigationTypeLinkClicked, true, V::kOpenOutside},
      {"an anchor in the page", QUrl(news.toString() + "#part"), news, T::NavigationTypeLinkClicked, true, V::kAllow},
      {"a link to a local file", QUrl("file:///etc/hostname"), news, T::NavigationTypeLinkClicked, true, V::kRefuse},
      {"a link from a news into the help", help, news, T::NavigationTypeLinkClicked, true, V::kRefuse},
      {"a script address", QUrl("javascript:alert(1)"), news, T::NavigationTypeLinkClicked, true, V::kRefuse},
      {"a refresh to the live site", QUrl("https://site/"), news, T::NavigationTypeRedirect, true, V::kRefuse},
      {"a form", QUrl("https://site/post"), news, T::NavigationTypeFormSubmitted, true, V::kRefuse},
      {"help links help", File(dir / "Help/GetNews.html"), help, T::NavigationTypeLinkClicked, true, V::kAllow},
      {"a frame of a local file elsewhere", QUrl("file:///etc/hostname"), news, T::NavigationTypeOther, false,
       V::kRefuse},
      {"a frame from the news' folder", File(dir / "Accounts/Site/News/Attachment/f.html"), news,
       T::NavigationTypeOther, false, V::kAllow},
  };
  for (const Case& c : cases) EXPECT_EQ(JudgeNavigation(c.target, c.current, c.type, c.mainFrame), c.verdict) << c.what;

  EXPECT_TRUE(LocalFileAllowed(File(dir / "Accounts/Site/News/Attachment/1.png"), news));
  EXPECT_TRUE(LocalFileAllowed(File(dir / "Help/help.css"), news));
  EXPECT_FALSE(LocalFileAllowed(File(dir / "Accounts/Site/Other/1.png"), news));
  EXPECT_FALSE(LocalFileAllowed(QUrl::fromLocalFile(QString::fromStdString(dir / "Accounts/Site/News/../../x.png")), news));
  EXPECT_FALSE(LocalFileAllowed(QUrl("file:///etc/hostname"), news));
  SetHelpFolder({});
}

// The page of a view, with its navigation judge reachable from the test.
struct JudgedPage : SavedPage {
  using SavedPage::acceptNavigationRequest;
};

TEST(SavedPageViews, ALinkClickedInANewsOpensTheBrowserAndTheViewKeepsTheNews) {
  test::DesktopScope desktop;
  JudgedPage page;
  EXPECT_FALSE(page.acceptNavigationRequest(QUrl("https://site/b.html"), T::NavigationTypeLinkClicked, true));
  EXPECT_FALSE(page.acceptNavigationRequest(QUrl("file:///etc/passwd"), T::NavigationTypeLinkClicked, true));
  EXPECT_EQ(desktop.desktop.calls, QStringList({"open https://site/b.html"}));
}

// What the page shows once loaded, read in the program's own script world (the page's is off).
QString Probe(QWebEngineView* view) {
  QString result;
  bool done = false;
  view->page()->runJavaScript(
      "[document.title, document.body.innerText.includes('SCRIPT-RAN'),"
      " document.getElementById('inside').naturalWidth, document.getElementById('outside').naturalWidth].join('|')",
      QWebEngineScript::ApplicationWorld, [&](const QVariant& v) {
        result = v.toString();
        done = true;
      });
  EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 10000));
  return result;
}

TEST(SavedPageViews, ASavedPagesScriptsNeverRunAndItSeesNoFileOutsideItsFolder) {
  test::WindowFixture f;
  const std::string folder = f.data / "Accounts/Site/News/";
  const std::string outside = f.data / "outside.png";
  MakeDirs(folder + "Attachment");
  QImage picture(1, 1, QImage::Format_RGB32);
  picture.fill(Qt::red);
  ASSERT_TRUE(picture.save(QString::fromStdString(folder + "Attachment/in.png"), "PNG"));
  ASSERT_TRUE(picture.save(QString::fromStdString(outside), "PNG"));
  const std::string news = folder + "a.html";
  test::WriteFile(news, "<html><head><title>saved</title></head><body><p>text</p>"
                        "<img id=inside src=\"Attachment/in.png\"><img id=outside src=\"file://" + outside + "\">"
                        "<script>document.title='RAN';document.body.appendChild(document.createTextNode('SCRIPT-RAN'))"
                        "</script></body></html>");
  std::unique_ptr<TMainForm> w = f.Open();
  TReader reader;
  QWebEngineView* help = nullptr;
  w->findChild<QTabWidget*>("PageDown")->setCurrentWidget(w->findChild<QWidget*>("TabMacro"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return (help = w->Editor()->findChild<QWebEngineView*>("MacroHelp")); }, 2000))
      << "the help pane is made when the macro page is shown";

  for (QWebEngineView* view : {w->Viewer()->View(), reader.View(), help}) {
    EXPECT_NE(qobject_cast<SavedPage*>(view->page()), nullptr) << view->objectName().toStdString();
    QSignalSpy loaded(view, &QWebEngineView::loadFinished);
    view->load(File(news));
    ASSERT_TRUE(loaded.wait(10000));
    EXPECT_EQ(Probe(view), "saved|false|1|0") << view->objectName().toStdString();
  }
}

// Answers the next real box with Enter and remembers what it showed.
struct EnterOnTheBox {
  Qt::TextFormat format = Qt::AutoText;
  EnterOnTheBox() {
    QTimer::singleShot(0, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      format = box->textFormat();
      QTest::keyClick(box, Qt::Key_Return);
    });
  }
};

TEST(ProgramBoxes, NamesAreShownAsWrittenAndEnterSaysNoBeforeALoss) {
  for (bool warning : {true, false}) {
    EnterOnTheBox enter;
    const bool yes = AppDialogs().Question(nullptr, "Skimlet", QStringLiteral("Сохранить «<u>Тест</u>»?"), warning);
    EXPECT_EQ(yes, !warning) << "warning " << warning;
    EXPECT_EQ(enter.format, Qt::PlainText);
  }
  EnterOnTheBox enter;
  AppDialogs().Message(nullptr, QStringLiteral("Канал <b>x</b>"));
  EXPECT_EQ(enter.format, Qt::PlainText);
}

}  // namespace
}  // namespace skimlet
