#include "shell/SettingsPage.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>
#include <stdexcept>

namespace skimlet {

namespace {

const SettingKey& Key(const char* path) {
  const SettingKey* key = FindSetting(path);
  if (!key) throw std::logic_error(std::string("no setting ") + path);
  return *key;
}

}  // namespace

SettingsPage::SettingsPage(QWidget* parent) : QWidget(parent) {
  auto* notice = new QLabel(QStringLiteral("Внимание! Параметры начинают действовать непосредственно после изменения"), this);
  notice->setObjectName(QStringLiteral("LabelNotice"));
  notice->setWordWrap(true);
  QFont bold = notice->font();
  bold.setBold(true);
  notice->setFont(bold);

  auto* numbers = new QFormLayout;
  numbers->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
  auto addSpin = [&](const char* name, const char* path, const QString& caption, int step) {
    const SettingKey& key = Key(path);
    auto* spin = new QSpinBox(this);
    spin->setObjectName(QLatin1String(name));
    spin->setRange(static_cast<int>(key.min), static_cast<int>(key.max));
    spin->setSingleStep(step);
    spin->setValue(static_cast<int>(key.defaultValue.value_or(key.min)));
    auto* label = new QLabel(caption, this);
    label->setObjectName(QStringLiteral("Label") + QLatin1String(name));
    label->setBuddy(spin);
    numbers->addRow(label, spin);
    connect(spin, &QSpinBox::valueChanged, this, &SettingsPage::changed);
    fields_.push_back({&key, spin, nullptr});
  };
  addSpin("MaxHTMLhistory", "Setting/MaxHtmlHistory.Value", QStringLiteral("Число записей в истории страниц"), 10);
  addSpin("MaxDownloads", "Setting/MaxDownloads.Value", QStringLiteral("Максимум загрузок за сессию"), 1);
  addSpin("TimeoutMarkNotRead", "Setting/TimeoutMarkNotRead.Value", QStringLiteral("Пометить как прочтенное через (с)"), 1);
  addSpin("LEDCount", "Setting/LEDCount.Value", QStringLiteral("Число потоков для вложений (max)"), 1);
  addSpin("LowSpeedLimit", "Setting/LowSpeedLimit.Value", QStringLiteral("Минимальная скорость загрузки (байт/с)"), 16);
  addSpin("LowSpeedTime", "Setting/LowSpeedTime.Value", QStringLiteral("Допустимое время ниже минимальной скорости (с)"), 10);
  addSpin("MaxTransferTime", "Setting/MaxTransferTime.Value", QStringLiteral("Максимальное время загрузки файла (с)"), 60);
  addSpin("LookAhead", "Setting/LookAhead.Value", QStringLiteral("Загружать страницы заранее (0 - нет)"), 1);
  addSpin("MaxPerHost", "Setting/MaxPerHost.Value", QStringLiteral("Одновременных загрузок с одного сайта"), 1);
  addSpin("AutoDownload", "Setting/AutoDownload.Value", QStringLiteral("Загружать автоматически каждые (мин)"), 5);
  fields_.back().spin->setSpecialValueText(QStringLiteral("выключено"));

  auto* checks = new QVBoxLayout;
  auto addCheck = [&](const char* name, const char* path, const QString& caption) {
    const SettingKey& key = Key(path);
    auto* check = new QCheckBox(caption, this);
    check->setObjectName(QLatin1String(name));
    check->setChecked(key.defaultValue.value_or(0) != 0);
    checks->addWidget(check);
    connect(check, &QCheckBox::toggled, this, &SettingsPage::changed);
    fields_.push_back({&key, nullptr, check});
  };
  addCheck("NotCheckHistory", "Setting/NotCheckHistory.Checked", QStringLiteral("Разрешить загружать URL повторно"));
  addCheck("hURLExistsConnection", "Setting/hURLExistsConnection.Checked", QStringLiteral("Использовать текущее соединение"));
  addCheck("hURLReload", "Setting/hURLReload.Checked", QStringLiteral("Всегда загружать с сайта"));
  addCheck("hURLUseCashe", "Setting/hURLUseCashe.Checked", QStringLiteral("Использовать кэш MSIE"));
  addCheck("hURLReloadCookiesOff", "Setting/hURLReloadCookiesOff.Checked", QStringLiteral("Отключить Cookies"));
  addCheck("ConvertToWin1251", "Setting/ConvertToWin1251.Checked", QStringLiteral("Перекодировать страницы в Windows-1251"));
  addCheck("NotifyNewNews", "Setting/NotifyNewNews.Checked", QStringLiteral("Уведомлять о новых статьях"));
  addCheck("WriteFeeds", "Setting/WriteFeeds.Checked", QStringLiteral("Писать Atom-ленты каналов"));

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(notice);
  layout->addLayout(numbers);
  layout->addLayout(checks);
  layout->addStretch(1);
}

long long SettingsPage::Value(const Field& field) const {
  return field.spin ? field.spin->value() : (field.check->isChecked() ? 1 : 0);
}

void SettingsPage::SetValue(const Field& field, long long value) {
  if (field.spin) field.spin->setValue(static_cast<int>(value));
  else field.check->setChecked(value != 0);
}

RunSettings SettingsPage::Current() const {
  return ReadRunSettings([this](const std::string& path) -> std::optional<std::string> {
    for (const Field& field : fields_)
      if (field.key->Path() == path) return FormatSettingValue(*field.key, Value(field));
    return std::nullopt;
  });
}

int SettingsPage::AutoDownloadMinutes() const {
  for (const Field& field : fields_)
    if (field.spin && field.spin->objectName() == QLatin1String("AutoDownload")) return field.spin->value();
  return 0;
}

void SettingsPage::Load(const std::function<std::optional<std::string>(const std::string& sectionSlashKey)>& stored) {
  {
    const QSignalBlocker blockThis(this);  // one changed() for the whole load
    for (const Field& field : fields_) {
      const std::optional<std::string> text = stored(field.key->Path());
      const std::optional<long long> value =
          ParseSettingValue(*field.key, text ? std::optional<std::string_view>(*text) : std::nullopt);
      if (value) SetValue(field, *value);
    }
  }
  emit changed();
}

void SettingsPage::Save(const std::function<void(const std::string& key, const std::string& value)>& write) const {
  for (const SettingKey& key : SettingsTable())
    for (const Field& field : fields_)
      if (field.key == &key) write(key.Path(), FormatSettingValue(key, Value(field)));
}

}  // namespace skimlet
