// The page TabSetting ("Настройки"): the fields of the Setting section. Every change takes
// effect at once; the store is read at start-up and written at shutdown by the window.
#pragma once

#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "store/Settings.h"

class QCheckBox;
class QSpinBox;

namespace skimlet {

class SettingsPage : public QWidget {
  Q_OBJECT

 public:
  explicit SettingsPage(QWidget* parent = nullptr);

  RunSettings Current() const;
  // "Загружать автоматически каждые (мин)": 0 = off.
  int AutoDownloadMinutes() const;
  // Reads every field from the store ("Setting/MaxDownloads.Value" -> text or none): a number
  // is clamped to its range, a missing or unreadable text gives the default.
  void Load(const std::function<std::optional<std::string>(const std::string& sectionSlashKey)>& stored);
  // Writes every field ("Setting/..." path, stored text) in the order of the settings table.
  void Save(const std::function<void(const std::string& key, const std::string& value)>& write) const;

 signals:
  void changed();

 private:
  struct Field {
    const SettingKey* key;
    QSpinBox* spin;    // a number field, or
    QCheckBox* check;  // a check mark
  };
  long long Value(const Field& field) const;
  void SetValue(const Field& field, long long value);

  std::vector<Field> fields_;  // in the order of the settings table
};

}  // namespace skimlet
