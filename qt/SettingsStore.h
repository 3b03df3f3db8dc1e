// The settings store on disk: $XDG_CONFIG_HOME/Orvane/Skimlet.ini, one section per group,
// every value a string.
#pragma once

#include <optional>
#include <string>

#include "store/Settings.h"

namespace skimlet {

class SettingsStore {
 public:
  std::optional<std::string> Read(const std::string& sectionSlashKey) const;
  void Write(const std::string& sectionSlashKey, const std::string& value);
  // A key of the settings table as its number: clamped to its range, the default for an
  // unusable text, none when absent without a default.
  std::optional<long long> Number(const std::string& sectionSlashKey) const;
  bool Sync(std::string* error);
  std::string FileName() const;
  RunSettings ReadRunSettings() const;
};

}  // namespace skimlet
