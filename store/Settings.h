// The settings store's keys, their defaults and ranges, and the settings a run reads.
// The store itself (an INI file) belongs to the executables; the core only knows the table.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace skimlet {

enum class SettingKind { kNumber, kCheck, kText };

struct SettingKey {
  std::string section;
  std::string key;
  SettingKind kind;
  std::optional<long long> defaultValue;  // none: the window's design value
  long long min = 0, max = 0;             // for numbers
  std::string Path() const { return section + "/" + key; }
};

// Every key of the store, in the order they are written.
const std::vector<SettingKey>& SettingsTable();
const SettingKey* FindSetting(std::string_view sectionSlashKey);

// A stored text as the value the program uses: a number outside its range is clamped, a
// text that is not a whole number gives the default; for a check mark any whole number
// other than 0 means ticked. Empty when the key has no default and nothing usable is stored.
std::optional<long long> ParseSettingValue(const SettingKey& key, std::optional<std::string_view> stored);
// The text to store: decimal, "0"/"1" for check marks.
std::string FormatSettingValue(const SettingKey& key, long long value);

// What download runs and downloaders read, each time they need it.
struct RunSettings {
  int maxHtmlHistory = 10000;
  int maxDownloads = 500;
  int timeoutMarkNotRead = 2;
  int ledCount = 3;
  bool notCheckHistory = false;
  bool hURLExistsConnection = true;
  bool hURLReload = true;
  bool hURLUseCashe = true;
  bool hURLReloadCookiesOff = false;
  bool convertToWin1251 = true;
  int lowSpeedLimit = 64;      // bytes per second ...
  int lowSpeedTime = 60;       // ... over this many seconds, or the transfer fails
  int maxTransferTime = 600;   // seconds a page or picture may take in all (0: no limit)
  bool writeFeeds = false;  // a run that saved news rewrites its channel's Atom feed
  int lookAhead = 4;        // news pages a run fetches ahead of its steps (0: none)
  int maxPerHost = 4;       // transfers to one host at once, every run and downloader together
};

// Builds RunSettings from a lookup of stored texts ("Setting/MaxDownloads.Value" -> text).
template <typename Lookup>
RunSettings ReadRunSettings(Lookup&& stored);

// Settings take effect at once: the window changes them, runs read them whenever they need.
class LiveSettings {
 public:
  RunSettings Get() const {
    std::lock_guard lock(mutex_);
    return settings_;
  }
  void Set(const RunSettings& s) {
    std::lock_guard lock(mutex_);
    settings_ = s;
  }

 private:
  mutable std::mutex mutex_;
  RunSettings settings_;
};

template <typename Lookup>
RunSettings ReadRunSettings(Lookup&& stored) {
  RunSettings s;
  auto get = [&](const char* path, long long fallback) {
    const SettingKey* key = FindSetting(path);
    std::optional<std::string> text = stored(std::string(path));
    std::optional<long long> v = ParseSettingValue(*key, text ? std::optional<std::string_view>(*text) : std::nullopt);
    return v ? *v : fallback;
  };
  s.maxHtmlHistory = static_cast<int>(get("Setting/MaxHtmlHistory.Value", s.maxHtmlHistory));
  s.maxDownloads = static_cast<int>(get("Setting/MaxDownloads.Value", s.maxDownloads));
  s.timeoutMarkNotRead = static_cast<int>(get("Setting/TimeoutMarkNotRead.Value", s.timeoutMarkNotRead));
  s.ledCount = static_cast<int>(get("Setting/LEDCount.Value", s.ledCount));
  s.notCheckHistory = get("Setting/NotCheckHistory.Checked", 0) != 0;
  s.hURLExistsConnection = get("Setting/hURLExistsConnection.Checked", 1) != 0;
  s.hURLReload = get("Setting/hURLReload.Checked", 1) != 0;
  s.hURLUseCashe = get("Setting/hURLUseCashe.Checked", 1) != 0;
  s.hURLReloadCookiesOff = get("Setting/hURLReloadCookiesOff.Checked", 0) != 0;
  s.convertToWin1251 = get("Setting/ConvertToWin1251.Checked", 1) != 0;
  s.lowSpeedLimit = static_cast<int>(get("Setting/LowSpeedLimit.Value", s.lowSpeedLimit));
  s.lowSpeedTime = static_cast<int>(get("Setting/LowSpeedTime.Value", s.lowSpeedTime));
  s.maxTransferTime = static_cast<int>(get("Setting/MaxTransferTime.Value", s.maxTransferTime));
  s.writeFeeds = get("Setting/WriteFeeds.Checked", 0) != 0;
  s.lookAhead = static_cast<int>(get("Setting/LookAhead.Value", s.lookAhead));
  s.maxPerHost = static_cast<int>(get("Setting/MaxPerHost.Value", s.maxPerHost));
  return s;
}

}  // namespace skimlet
