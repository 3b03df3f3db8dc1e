// The attachment lamps and the settings page.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QSignalSpy>
#include <QSpinBox>
#include <QtTest>
#include <map>

#include "attachments/ui/LampsPanel.h"
#include "shell/SettingsPage.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

const char* const kLampNames[] = {"LED0", "Led1", "Led2", "LED3", "LED4", "LED5", "LED6", "LED7", "LED8", "LED9"};

class PaintCounter : public QObject {
 public:
  std::map<QObject*, int> paints;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints[watched];
    return false;
  }
};

QColor Centre(QWidget* lamp) {
  const QImage shot = lamp->grab().toImage();
  return shot.pixelColor(shot.width() / 2, shot.height() / 2);
}

TEST(Lamps, SilverInOrderThenOneLampChanges) {
  LampsPanel panel;
  panel.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
  EXPECT_EQ(panel.objectName(), "GroupBoxLED");
  EXPECT_EQ(panel.title(), QStringLiteral("Очередь вложений"));
  PaintCounter counter;
  int lastX = -1;
  for (int slot = 0; slot < 10; ++slot) {
    auto* lamp = panel.findChild<QWidget*>(kLampNames[slot], Qt::FindDirectChildrenOnly);
    ASSERT_NE(lamp, nullptr) << kLampNames[slot];
    EXPECT_GT(lamp->x(), lastX);
    lastX = lamp->x();
    EXPECT_EQ(panel.LampColor(slot), QColor(192, 192, 192));
    EXPECT_EQ(Centre(lamp), QColor(192, 192, 192));
    lamp->installEventFilter(&counter);
  }
  QCoreApplication::processEvents();
  panel.SetLamp(3, {LampColour::kGreen, test::Cp("Get http://a/рис.png")});
  QCoreApplication::processEvents();
  for (int slot = 0; slot < 10; ++slot)  // only the changed lamp repaints
    EXPECT_EQ(counter.paints[panel.findChild<QWidget*>(kLampNames[slot])] > 0, slot == 3) << slot;
  auto* lamp = panel.findChild<QWidget*>("LED3");
  EXPECT_EQ(panel.LampColor(3), QColor(0, 128, 0));
  EXPECT_EQ(Centre(lamp), QColor(0, 128, 0));
  EXPECT_EQ(lamp->toolTip(), QStringLiteral("Get http://a/рис.png"));
  panel.SetLamp(10, {LampColour::kLime, "x"});  // no such slot: ignored
  EXPECT_FALSE(panel.LampColor(10).isValid());
  panel.SetCaption(test::Cp("Очередь вложений (3)"));
  EXPECT_EQ(panel.title(), QStringLiteral("Очередь вложений (3)"));
}

using Store = std::map<std::string, std::string>;
auto Lookup(const Store& store) {
  return [&store](const std::string& key) -> std::optional<std::string> {
    auto it = store.find(key);
    return it == store.end() ? std::nullopt : std::optional<std::string>(it->second);
  };
}

TEST(SettingsPage, FieldsWithCaptionsRangesAndDefaults) {
  SettingsPage page;
  struct Spin { const char* name; int min, max, step, value; const char* label; };
  for (const Spin& w : {Spin{"MaxHTMLhistory", 1, 100000, 10, 10000, "Число записей в истории страниц"},
                        Spin{"MaxDownloads", 1, 10000, 1, 500, "Максимум загрузок за сессию"},
                        Spin{"TimeoutMarkNotRead", 0, 1000, 1, 2, "Пометить как прочтенное через (с)"},
                        Spin{"LEDCount", 1, 10, 1, 3, "Число потоков для вложений (max)"},
                        Spin{"LowSpeedLimit", 0, 1 << 20, 16, 64, "Минимальная скорость загрузки (байт/с)"},
                        Spin{"LowSpeedTime", 1, 3600, 10, 60, "Допустимое время ниже минимальной скорости (с)"},
                        Spin{"MaxTransferTime", 0, 86400, 60, 600, "Максимальное время загрузки файла (с)"},
                        Spin{"LookAhead", 0, 16, 1, 4, "Загружать страницы заранее (0 - нет)"},
                        Spin{"MaxPerHost", 1, 16, 1, 4, "Одновременных загрузок с одного сайта"},
                        Spin{"AutoDownload", 0, 1440, 5, 0, "Загружать автоматически каждые (мин)"}}) {
    auto* spin = page.findChild<QSpinBox*>(w.name);
    ASSERT_NE(spin, nullptr) << w.name;
    EXPECT_EQ(std::tuple(spin->minimum(), spin->maximum(), spin->singleStep(), spin->value()),
              std::tuple(w.min, w.max, w.step, w.value)) << w.name;
    auto* label = page.findChild<QLabel*>(QStringLiteral("Label") + w.name);
    ASSERT_NE(label, nullptr) << w.name;
    EXPECT_EQ(label->buddy(), spin);
    EXPECT_EQ(label->text(), QString::fromUtf8(w.label));
  }
  struct Check { const char* name; bool on; const char* caption; };
  for (const Check& w : {Check{"NotCheckHistory", false, "Разрешить загружать URL повторно"},
                         Check{"hURLExistsConnection", true, "Использовать текущее соединение"},
                         Check{"hURLReload", true, "Всегда загружать с сайта"},
                         Check{"hURLUseCashe", true, "Использовать кэш MSIE"},
                         Check{"hURLReloadCookiesOff", false, "Отключить Cookies"},
                         Check{"ConvertToWin1251", true, "Перекодировать страницы в Windows-1251"},
                         Check{"WriteFeeds", false, "Писать Atom-ленты каналов"},
                         Check{"NotifyNewNews", true, "Уведомлять о новых статьях"}}) {
    auto* check = page.findChild<QCheckBox*>(w.name);
    ASSERT_NE(check, nullptr) << w.name;
    EXPECT_EQ(check->text(), QString::fromUtf8(w.caption));
    EXPECT_EQ(check->isChecked(), w.on) << w.name;
  }
  EXPECT_EQ(page.findChild<QLabel*>("LabelNotice")->text(),
            QStringLiteral("Внимание! Параметры начинают действовать непосредственно после изменения"));
  const RunSettings s = page.Current();
  EXPECT_EQ(std::tuple(s.maxHtmlHistory, s.maxDownloads, s.timeoutMarkNotRead, s.ledCount), std::tuple(10000, 500, 2, 3));
  EXPECT_EQ(std::tuple(s.lowSpeedLimit, s.lowSpeedTime, s.maxTransferTime), std::tuple(64, 60, 600));
  EXPECT_EQ(std::tuple(s.notCheckHistory, s.hURLExistsConnection, s.hURLReload, s.hURLUseCashe,
                       s.hURLReloadCookiesOff, s.convertToWin1251, s.writeFeeds),
            std::tuple(false, true, true, true, false, true, false));
  EXPECT_EQ(page.AutoDownloadMinutes(), 0);
}

TEST(SettingsPage, LoadClampsAndFallsBackToTheDefault) {
  SettingsPage page;
  page.findChild<QSpinBox*>("MaxDownloads")->setValue(77);
  QSignalSpy changed(&page, &SettingsPage::changed);
  page.Load(Lookup({{"Setting/hURLReload.Checked", "0"}, {"Setting/NotCheckHistory.Checked", "5"},
                    {"Setting/MaxDownloads.Value", "abc"}, {"Setting/LEDCount.Value", "0"},
                    {"Setting/TimeoutMarkNotRead.Value", "-4"}, {"Setting/MaxHtmlHistory.Value", "99999"}}));
  EXPECT_EQ(changed.count(), 1);
  RunSettings s = page.Current();
  EXPECT_FALSE(page.findChild<QCheckBox*>("hURLReload")->isChecked());
  EXPECT_TRUE(s.notCheckHistory);
  EXPECT_EQ(std::tuple(s.maxDownloads, s.ledCount, s.timeoutMarkNotRead, s.maxHtmlHistory), std::tuple(500, 1, 0, 99999));
  page.Load(Lookup({{"Setting/hURLReload.Checked", "5"}, {"Setting/MaxDownloads.Value", "99999"}}));
  s = page.Current();
  EXPECT_TRUE(s.hURLReload);
  EXPECT_EQ(page.findChild<QSpinBox*>("MaxDownloads")->value(), 10000);
  EXPECT_EQ(s.ledCount, 3);  // absent: the default
}

TEST(SettingsPage, EditsSignalAndSaveWritesTheTableOrder) {
  SettingsPage page;
  QSignalSpy changed(&page, &SettingsPage::changed);
  page.findChild<QSpinBox*>("LEDCount")->setValue(5);
  page.findChild<QCheckBox*>("ConvertToWin1251")->setChecked(false);
  page.findChild<QSpinBox*>("AutoDownload")->setValue(30);
  page.findChild<QCheckBox*>("WriteFeeds")->setChecked(true);
  EXPECT_EQ(changed.count(), 4);
  std::vector<std::pair<std::string, std::string>> written;
  page.Save([&](const std::string& key, const std::string& value) { written.emplace_back(key, value); });
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"Setting/MaxHtmlHistory.Value", "10000"},     {"Setting/MaxDownloads.Value", "500"},
      {"Setting/TimeoutMarkNotRead.Value", "2"},     {"Setting/LEDCount.Value", "5"},
      {"Setting/NotCheckHistory.Checked", "0"},      {"Setting/hURLExistsConnection.Checked", "1"},
      {"Setting/hURLReload.Checked", "1"},           {"Setting/hURLUseCashe.Checked", "1"},
      {"Setting/hURLReloadCookiesOff.Checked", "0"}, {"Setting/ConvertToWin1251.Checked", "0"},
      {"Setting/NotifyNewNews.Checked", "1"},
      {"Setting/LowSpeedLimit.Value", "64"},         {"Setting/LowSpeedTime.Value", "60"},
      {"Setting/MaxTransferTime.Value", "600"},     {"Setting/AutoDownload.Value", "30"},
      {"Setting/WriteFeeds.Checked", "1"},           {"Setting/LookAhead.Value", "4"},
      {"Setting/MaxPerHost.Value", "4"}};
  EXPECT_EQ(written, expected);
  SettingsPage again;
  again.Load(Lookup(Store(written.begin(), written.end())));
  EXPECT_EQ(again.Current().ledCount, 5);
  EXPECT_FALSE(again.Current().convertToWin1251);
  EXPECT_TRUE(again.Current().writeFeeds);
  EXPECT_EQ(again.AutoDownloadMinutes(), 30);
  again.Load(Lookup({{"Setting/AutoDownload.Value", "5000"}}));
  EXPECT_EQ(again.AutoDownloadMinutes(), 1440);  // a day at most
}

}  // namespace
}  // namespace skimlet
