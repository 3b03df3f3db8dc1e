#include "qt/SettingsStore.h"

#include <QSettings>
#include <QString>

namespace skimlet {


std::optional<std::string> SettingsStore::Read(const std::string& path) const {
  QSettings s(QSettings::IniFormat, QSettings::UserScope, "Orvane", "Skimlet");
  QVariant v = s.value(QString::fromStdString(path));
  if (!v.isValid()) return std::nullopt;
  return v.toString().toStdString();
}

void SettingsStore::Write(const std::string& path, const std::string& value) {
  QSettings s(QSettings::IniFormat, QSettings::UserScope, "Orvane", "Skimlet");
  s.setValue(QString::fromStdString(path), QString::fromStdString(value));
}

std::optional<long long> SettingsStore::Number(const std::string& path) const {
  const SettingKey* key = FindSetting(path);
  if (!key) return std::nullopt;
  std::optional<std::string> text = Read(path);
  return ParseSettingValue(*key, text ? std::optional<std::string_view>(*text) : std::nullopt);
}

bool SettingsStore::Sync(std::string* error) {
  QSettings s(QSettings::IniFormat, QSettings::UserScope, "Orvane", "Skimlet");
  s.sync();
  if (s.status() == QSettings::NoError) return true;
  if (error) *error = "Не удалось записать файл настроек " + s.fileName().toStdString();
  return false;
}

std::string SettingsStore::FileName() const {
  QSettings s(QSettings::IniFormat, QSettings::UserScope, "Orvane", "Skimlet");
  return s.fileName().toStdString();
}

RunSettings SettingsStore::ReadRunSettings() const {
  return skimlet::ReadRunSettings([this](const std::string& path) { return Read(path); });
}

}  // namespace skimlet
