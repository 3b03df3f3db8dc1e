// The download log page: log sync and drawing, buffer viewers, URL buttons, queue list, history.
#include <gtest/gtest.h>

#include <QSplitter>

#include <QComboBox>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

#include "authoring/ui/LogPage.h"
#include "platform/Files.h"
#include "qt/QtText.h"
#include "tests/support/TestSupport.h"
#include "tests/support/UiTestSupport.h"

namespace skimlet {
namespace {

using test::Cp;
const QRgb kCream = qRgb(255, 251, 240);

// Row `row` of ListBoxLog drawn by its delegate.
QImage DrawLogRow(LogPage& page, int row, bool selected) {
  QListView* view = page.ListBoxLog();
  QStyleOptionViewItem option;
  option.initFrom(view);
  option.rect = QRect(0, 0, 160, 13);
  option.state = QStyle::State_Enabled | (selected ? QStyle::State_Selected : QStyle::State_None);
  QImage image(option.rect.size(), QImage::Format_RGB32);
  QPainter painter(&image);
  view->itemDelegate()->paint(&painter, option, view->model()->index(row, 0));
  return image;
}

TEST(LogPageSync, SameFirstLineAppendsOnlyTheNewLastLine) {
  LogPage page;
  page.ShowRunLog({"0 a", "255 b"});
  page.AddLogLine("0 mine");  // not in the run's log: survives only if nothing is replaced
  page.ShowRunLog({"0 a", "255 b", "0 c"});
  page.ShowRunLog({"0 a", "255 b", "0 c"});
  page.ShowRunLog({});
  EXPECT_EQ(page.LogTexts(), QStringList({"0 a", "255 b", "0 mine", "0 c"}));
  int copies = 0;  // the whole log is fetched only to start over
  auto whole = [&copies] { ++copies; return std::vector<std::string>{"0 x", "0 y"}; };
  page.FollowRunLog("0 a", "0 d", whole);
  EXPECT_EQ(copies, 0);
  EXPECT_EQ(page.LogTexts().back(), "0 d");
  page.FollowRunLog("0 x", "0 y", whole);
  EXPECT_EQ(copies, 1);
  EXPECT_EQ(page.LogTexts(), QStringList({"0 x", "0 y"}));
}

TEST(LogPageSync, DifferentFirstLineReplacesAndScrollsToTheEnd) {
  LogPage page;
  page.resize(700, 400);
  page.show();
  page.ShowRunLog({"0 a", "0 b"});
  std::vector<std::string> log = {Cp("0 Канал> x")};
  for (int i = 0; i < 300; ++i) log.push_back("0 line " + std::to_string(i));
  page.ShowRunLog(log);
  QStringList texts = page.LogTexts();
  ASSERT_EQ(texts.size(), 301);
  EXPECT_EQ(texts.front(), QStringLiteral("0 Канал> x"));
  QScrollBar* bar = page.ListBoxLog()->verticalScrollBar();
  EXPECT_GT(bar->maximum(), 0);
  EXPECT_EQ(bar->value(), bar->maximum());
  EXPECT_EQ(page.ListBoxLog()->visualRect(page.ListBoxLog()->model()->index(0, 0)).height(), 13);
  page.ClearLog();
  EXPECT_TRUE(page.LogTexts().isEmpty());
}

TEST(LogPageSync, AWildRunsLogKeepsItsLastLinesUnderANotice) {
  LogPage page;
  // By default as many lines as a run keeps.
  std::vector<std::string> huge;
  for (int i = 0; i < 20050; ++i) huge.push_back("0 line " + std::to_string(i));
  page.ShowRunLog(huge);
  QStringList texts = page.LogTexts();
  ASSERT_EQ(texts.size(), 20000);
  EXPECT_EQ(texts.front(), QStringLiteral("255 > Журнал слишком длинный: его начало удалено, хранятся последние 20000 строк"));
  EXPECT_EQ(texts[1], QStringLiteral("0 line 51"));
  EXPECT_EQ(texts.back(), QStringLiteral("0 line 20049"));

  page.ClearLog();
  page.SetMaxLogLines(100);
  for (int i = 0; i < 250; ++i) page.AddLogLine("0 line " + std::to_string(i));
  texts = page.LogTexts();
  EXPECT_LE(texts.size(), 100);
  EXPECT_GE(texts.size(), 90);
  EXPECT_EQ(texts.front(), Q(LogCutNotice(100)));
  for (int i = 1; i < texts.size(); ++i)  // the newest lines, in order
    EXPECT_EQ(texts[i], QString("0 line %1").arg(250 - texts.size() + i));

  // A run whose own log was cut the same way: the page follows it line by line.
  std::vector<std::string> run{LogCutNotice(100)};
  for (int i = 151; i < 250; ++i) run.push_back("0 line " + std::to_string(i));
  int copies = 0;
  auto whole = [&] { ++copies; return run; };
  for (int i = 250; i < 400; ++i) {
    run.erase(run.begin() + 1);
    run.push_back("0 line " + std::to_string(i));
    page.FollowRunLog(run.front(), run.back(), whole);
  }
  EXPECT_EQ(copies, 0);
  EXPECT_LE(page.LogTexts().size(), 100);
  EXPECT_EQ(page.LogTexts().back(), QStringLiteral("0 line 399"));
}

TEST(LogPageDrawing, RedLineWithoutItsColourPart) {
  EXPECT_EQ(SplitLogLine(QStringLiteral("255 Канал> т")).text, QStringLiteral("Канал> т"));
  EXPECT_EQ(SplitLogLine(QStringLiteral("32896 o")).colour, QColor(128, 128, 0));
  EXPECT_FALSE(SplitLogLine(QStringLiteral("red text")).colour.has_value());
  LogPage page;
  page.ShowRunLog({"255 Warn", "00255 Warn", "0 Warn"});
  const QImage red = DrawLogRow(page, 0, false);
  EXPECT_EQ(red.pixel(1, 6), kCream);
  bool ink = false;
  for (int y = 0; y < red.height(); ++y)
    for (int x = 0; x < red.width(); ++x) {
      ASSERT_EQ(red.pixelColor(x, y).red(), 255) << x << "," << y;  // red ink on cream keeps red at 255
      ink = ink || red.pixelColor(x, y).green() < 128;
    }
  EXPECT_TRUE(ink);
  // Another spelling of the same colour draws the same: the number itself is not shown.
  EXPECT_EQ(DrawLogRow(page, 1, false), red);
  EXPECT_NE(DrawLogRow(page, 2, false), red);
}

TEST(LogPageDrawing, SelectedLineOnYellow) {
  LogPage page;
  page.ShowRunLog({"0 a", "0 b"});
  EXPECT_EQ(DrawLogRow(page, 0, true).pixel(1, 6), qRgb(255, 255, 0));
  page.resize(500, 300);
  page.show();
  QListView* view = page.ListBoxLog();
  view->setCurrentIndex(view->model()->index(1, 0));
  const QImage shot = view->viewport()->grab().toImage();
  EXPECT_EQ(shot.pixel(1, 13 + 6), qRgb(255, 255, 0));
  EXPECT_EQ(shot.pixel(1, 6), kCream);
  EXPECT_EQ(shot.pixel(1, 100), kCream);  // below the lines too
}

TEST(LogPageBuffers, ControlCharacterRule) {
  EXPECT_EQ(DebugBufferText("a\r\n\r\nb"), "a\r\nb");
  EXPECT_EQ(DebugBufferText("\n\tab\nc"), "\nab\r\nc");
  EXPECT_EQ(DebugBufferText("\xC0\t \n\xFF"), "\xC0\r\n \r\n\xFF");
}

struct BufferFixture {
  test::TempDir dir;
  test::DialogsScope dialogs;
  QStringList& messages = dialogs.dialogs.messages;
  LogPage page;
  std::optional<RunBuffers> run;
  QList<QUrl> opened;
  BufferFixture() {
    page.SetDataDir(dir.path());
    page.SetBufferSource([this] { return run; });
    page.SetOpener([this](const QUrl& url) { opened << url; });
  }
  void Click(const char* name, const char* caption) {
    auto* button = page.findChild<QPushButton*>(name);
    ASSERT_NE(button, nullptr) << name;
    EXPECT_EQ(button->text(), QString::fromUtf8(caption));
    button->click();
  }
  void ClickIndex() { Click("OpenIndexHTML", "Открыть  IndexHTML-буфер"); }
  void ClickNews() { Click("OpenNewsHTML", "Открыть   HTML-буфер  статьи"); }
};

TEST(LogPageBuffers, NoRunOrTooShortGivesMessages) {
  BufferFixture f;
  f.ClickIndex();
  f.ClickNews();
  f.run = RunBuffers{"", "ab", "", "ab", ""};
  f.ClickIndex();
  f.ClickNews();
  const QString noData = QStringLiteral("Буфер открыть не удалось. В нем нет данных");
  EXPECT_EQ(f.messages, QStringList({noData, noData, QStringLiteral("Буфер пуст. В нем нет данных"), noData}));
  EXPECT_TRUE(f.opened.isEmpty());
  EXPECT_FALSE(FileExists(f.dir / "IndexHTML.txt"));
}

TEST(LogPageBuffers, BothViewersWriteTheSameFileAndOpenIt) {
  BufferFixture f;
  f.run = RunBuffers{"", "\nindex\r\n\r\npage", "", "abc", ""};
  f.ClickIndex();
  EXPECT_EQ(test::ReadFile(f.dir / "IndexHTML.txt"), "\nindex\r\npage");
  f.ClickNews();
  EXPECT_EQ(test::ReadFile(f.dir / "IndexHTML.txt"), "abc");
  const QUrl file = QUrl::fromLocalFile(QString::fromStdString(f.dir / "IndexHTML.txt"));
  EXPECT_EQ(f.opened, QList<QUrl>({file, file}));
  EXPECT_TRUE(f.messages.isEmpty());
}

TEST(LogPageUrls, RelativeGivesTheMessageFullIsOpened) {
  BufferFixture f;
  f.page.SetUrls("news/1.html", "");
  f.Click("OpenStartURL", "StartURL >>>");
  f.Click("OpenNewsURL", "NewsURL >>>");
  const QString bad = QStringLiteral("Неверный URL. Нужен полный путь (http://site...) ");
  EXPECT_EQ(f.messages, QStringList({bad + "news/1.html", bad}));
  EXPECT_TRUE(f.opened.isEmpty());

  f.page.SetUrls(Cp("http://site/новости"), "http://site/a?b=1");
  auto* start = f.page.findChild<QLineEdit*>("IndexHTMLUrlDebug");
  EXPECT_EQ(start->text(), QStringLiteral("http://site/новости"));
  EXPECT_TRUE(start->isReadOnly() && start->font().bold());
  EXPECT_EQ(start->palette().color(QPalette::Text), QColor(0, 0, 255));
  f.Click("OpenStartURL", "StartURL >>>");
  f.Click("OpenNewsURL", "NewsURL >>>");
  ASSERT_EQ(f.opened.size(), 2);
  EXPECT_EQ(f.opened[0].toString(), QStringLiteral("http://site/новости"));
  EXPECT_EQ(f.opened[1].toString(), QStringLiteral("http://site/a?b=1"));
}

TEST(LogPageQueue, InitialLinesThenTheDisplay) {
  LogPage page;
  QAbstractItemModel* model = page.AttachmentURL()->model();
  ASSERT_EQ(model->rowCount(), 2);
  EXPECT_EQ(model->index(0, 0).data().toString(), QStringLiteral("Очередь вложений"));
  EXPECT_EQ(model->index(1, 0).data().toString(), QString());
  page.SetQueueDisplay({{"http://a/1.png", "http://a/2.png", Cp("http://a/три.png")}, {0, 1}, ""});
  ASSERT_EQ(model->rowCount(), 3);
  EXPECT_EQ(model->index(2, 0).data().toString(), QStringLiteral("http://a/три.png"));
  // A line cut by the list's width can be read whole in its tooltip.
  EXPECT_EQ(model->index(2, 0).data(Qt::ToolTipRole).toString(), QStringLiteral("http://a/три.png"));
  QItemSelectionModel* selection = page.AttachmentURL()->selectionModel();
  EXPECT_TRUE(selection->isRowSelected(0, {}) && selection->isRowSelected(1, {}));
  EXPECT_FALSE(selection->isRowSelected(2, {}));
}

TEST(LogPageQueue, TheQueueListHasItsOwnShareOfTheWidth) {
  LogPage page;
  page.resize(900, 400);
  page.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
  auto* splitter = page.findChild<QSplitter*>("SplitterLog");
  ASSERT_NE(splitter, nullptr);
  QList<int> sizes = splitter->sizes();
  ASSERT_EQ(sizes.size(), 2);
  EXPECT_GT(sizes[1] * 4, sizes[0] + sizes[1]);  // more than a quarter
  // Dragged wider by the user.
  splitter->setSizes({300, 600});
  EXPECT_GT(page.AttachmentURL()->width(), 500);
}

QStringList ComboItems(QComboBox* combo) {
  QStringList items;
  for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
  return items;
}

TEST(LogPageHistory, FillFollowsTheListAndShowsTheLastLine) {
  DownloadHistory history;
  for (const char* line : {"l1", "l2", "l3"}) history.Add(line, 3);
  LogPage page;
  page.SetHistory(&history);
  QComboBox* combo = page.findChild<QComboBox*>("HTMLHistory");
  EXPECT_EQ(ComboItems(combo), QStringList({"l1", "l2", "l3"}));
  EXPECT_EQ(combo->currentText(), "l3");
  history.Add(Cp("l4 новость"), 3);  // the oldest drops out
  page.HistoryChanged();
  EXPECT_EQ(ComboItems(combo), QStringList({"l2", "l3", QStringLiteral("l4 новость")}));
  EXPECT_EQ(combo->currentText(), QStringLiteral("l4 новость"));
  history.RemoveIf([](const std::string& l) { return l == "l3"; });
  page.HistoryChanged();
  EXPECT_EQ(ComboItems(combo), QStringList({"l2", QStringLiteral("l4 новость")}));
  for (int i = 0; i < 100000; ++i) history.Add("line " + std::to_string(i), 100000);
  page.HistoryChanged();
  EXPECT_EQ(combo->count(), 100000);
  EXPECT_EQ(combo->currentText(), "line 99999");
}

TEST(LogPageHistory, ClearAsksAndOnlyYesClears) {
  test::DialogsScope scope;
  DownloadHistory history;
  history.Add("l1", 10);
  LogPage page;
  page.SetHistory(&history);
  scope.dialogs.answers = {false, true};
  auto* clear = page.findChild<QPushButton*>("ClearHTMLHistory");
  EXPECT_EQ(clear->text(), QStringLiteral("Очистить"));
  clear->click();
  EXPECT_EQ(history.Count(), 1u);
  EXPECT_EQ(page.HTMLHistory()->count(), 1);
  clear->click();
  EXPECT_EQ(history.Count(), 0u);
  EXPECT_EQ(page.HTMLHistory()->count(), 0);
  EXPECT_EQ(page.HTMLHistory()->currentText(), QString());
  ASSERT_EQ(scope.dialogs.questions.size(), 2);
  EXPECT_TRUE(scope.dialogs.questions[0].endsWith(QStringLiteral(
      "|ВНИМАНИЕ!!! ОЧИСТКА ИСТОРИИ ПРИВЕДЕТ К ПОЛНОЙ ПЕРЕЗАГРУЗКЕ\nВСЕХ НОВОСТЕЙ И ВЛОЖЕНИЙ!!!\n\n"
      "ОЧИЩАТЬ ИСТОРИЮ БЕЗ НЕОБХОДИМОСТИ КРАЙНЕ НЕЖЕЛАТЕЛЬНО!!!\n\nВЫ ДЕЙСТВИТЕЬНО ХОТИТЕ ОЧИСТИТЬ ИСТОРИЮ?")));
}

}  // namespace
}  // namespace skimlet
