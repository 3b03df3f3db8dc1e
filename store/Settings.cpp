#include "store/Settings.h"

#include <algorithm>
#include <charconv>
#include <limits>

namespace skimlet {

namespace {
constexpr long long kAny = std::numeric_limits<int>::max();
}

const std::vector<SettingKey>& SettingsTable() {
  static const std::vector<SettingKey> table = [] {
    using K = SettingKind;
    std::vector<SettingKey> t = {
        {"Setting", "MaxHtmlHistory.Value", K::kNumber, 10000, 1, 100000},
        {"Setting", "MaxDownloads.Value", K::kNumber, 500, 1, 10000},
        {"Setting", "TimeoutMarkNotRead.Value", K::kNumber, 2, 0, 1000},
        {"Setting", "LEDCount.Value", K::kNumber, 3, 1, 10},
        {"Setting", "NotCheckHistory.Checked", K::kCheck, 0, 0, 1},
        {"Setting", "hURLExistsConnection.Checked", K::kCheck, 1, 0, 1},
        {"Setting", "hURLReload.Checked", K::kCheck, 1, 0, 1},
        {"Setting", "hURLUseCashe.Checked", K::kCheck, 1, 0, 1},
        {"Setting", "hURLReloadCookiesOff.Checked", K::kCheck, 0, 0, 1},
        {"Setting", "ViewNewNews.Checked", K::kCheck, 1, 0, 1},
        {"Setting", "ConvertToWin1251.Checked", K::kCheck, 1, 0, 1},
        {"Setting", "NotifyNewNews.Checked", K::kCheck, 1, 0, 1},
        // A transfer below LowSpeedLimit bytes/s for LowSpeedTime seconds fails, and so does
        // one that takes longer than MaxTransferTime seconds (0: no such limit).
        {"Setting", "LowSpeedLimit.Value", K::kNumber, 64, 0, 1 << 20},
        {"Setting", "LowSpeedTime.Value", K::kNumber, 60, 1, 3600},
        {"Setting", "MaxTransferTime.Value", K::kNumber, 600, 0, 86400},
        {"Setting", "AutoDownload.Value", K::kNumber, 0, 0, 1440},
        {"Setting", "WriteFeeds.Checked", K::kCheck, 0, 0, 1},
        // Pages fetched ahead of a channel's run (0: none), and transfers to one host at once.
        {"Setting", "LookAhead.Value", K::kNumber, 4, 0, 16},
        {"Setting", "MaxPerHost.Value", K::kNumber, 4, 1, 16},
        {"View", "PanelAccounts.Width", K::kNumber, 190, 0, kAny},
        {"View", "PanelTop.Height", K::kNumber, 233, 0, kAny},
        {"View", "Accounts.Selected.Index", K::kNumber, 0, -1, kAny},
        {"View", "Accounts.Selected.Path", K::kText, std::nullopt, 0, 0},
        {"View", "PageDown.ActivePageIndex", K::kNumber, std::nullopt, 0, 3},
        {"View", "NewnewsForm.Speed.Value", K::kNumber, 1, 0, 2},
        {"Update", "BuildInSite", K::kNumber, 102, 0, kAny},
        {"Tips", "CheckBoxShowAtStart.Checked", K::kCheck, 1, 0, 1},
    };
    for (const char* form : {"MainForm", "NewNewsForm"}) {
      for (const char* edge : {".Left", ".Top", ".Right", ".Bottom"})
        t.push_back({form, edge, K::kNumber, std::nullopt, -kAny, kAny});
      t.push_back({form, ".WindowState", K::kNumber, form == std::string("MainForm") ? std::optional<long long>(2) : std::nullopt, 0, 2});
    }
    return t;
  }();
  return table;
}

const SettingKey* FindSetting(std::string_view sectionSlashKey) {
  for (const SettingKey& key : SettingsTable())
    if (key.Path() == sectionSlashKey) return &key;
  return nullptr;
}

std::optional<long long> ParseSettingValue(const SettingKey& key, std::optional<std::string_view> stored) {
  if (stored) {
    std::string_view text = *stored;
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    long long value = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (!text.empty() && ec == std::errc() && ptr == text.data() + text.size()) {
      if (key.kind == SettingKind::kCheck) return value != 0 ? 1 : 0;
      if (key.kind == SettingKind::kNumber) return std::clamp(value, key.min, key.max);
    }
  }
  return key.defaultValue;
}

std::string FormatSettingValue(const SettingKey& key, long long value) {
  if (key.kind == SettingKind::kCheck) return value != 0 ? "1" : "0";
  return std::to_string(value);
}

}  // namespace skimlet
