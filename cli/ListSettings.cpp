#include <iostream>

#include "cli/Commands.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "qt/SettingsStore.h"
#include "store/ChannelFolders.h"
#include "store/Settings.h"

namespace skimlet::cli {

int ListCommand(const Context& ctx, const std::vector<std::string>& args) {
  if (!args.empty()) {
    std::cerr << "skimlet-cli list: команда без аргументов\n";
    return 2;
  }
  ChannelTree tree(ctx.dataDir);
  if (!DirExists(tree.AccountsDir())) {
    std::cerr << "skimlet-cli list: нет каналов: нет папки " << tree.AccountsDir() << "\n";
    return 1;
  }
  tree.BuildChannelTree(tree.AccountsDir(), nullptr, false);
  tree.ScanAllFoldersUnread();
  for (const NodePtr& node : tree.InTreeOrder()) {
    NodeState s = tree.State(node);
    ChannelTree::NewsCount count = tree.CountNews(node);
    std::cout << std::string(2 * static_cast<std::size_t>(s.level), ' ') << (s.checked ? "[x]" : "[ ]")
              << (s.bold ? "*" : " ") << " " << Win1251ToUtf8(s.text) << " (новостей: " << count.news
              << ", непрочитанных: " << count.unread << ")\n";
  }
  return 0;
}

int SettingsCommand(const Context&, const std::vector<std::string>& args) {
  SettingsStore store;
  auto show = [&](const SettingKey& key) {
    std::optional<std::string> stored = store.Read(key.Path());
    std::optional<long long> value =
        key.kind == SettingKind::kText ? std::nullopt : ParseSettingValue(key, stored);
    if (value) std::cout << key.Path() << "=" << FormatSettingValue(key, *value) << "\n";
    else if (stored) std::cout << key.Path() << "=" << *stored << "\n";
  };
  if (args.empty()) {
    for (const SettingKey& key : SettingsTable()) show(key);
    return 0;
  }
  bool wrote = false;
  for (const std::string& arg : args) {
    std::size_t eq = arg.find('=');
    std::string path = arg.substr(0, eq);
    const SettingKey* key = FindSetting(path);
    if (!key) {
      std::cerr << "skimlet-cli settings: неизвестная настройка «" << path
                << "» (список всех: skimlet-cli settings)\n";
      return 2;
    }
    if (eq == std::string::npos) {
      show(*key);
      continue;
    }
    std::string text = arg.substr(eq + 1);
    if (key->kind == SettingKind::kText) {
      store.Write(path, text);
      wrote = true;
      continue;
    }
    SettingKey strict = *key;
    strict.defaultValue.reset();
    std::optional<long long> value = ParseSettingValue(strict, text);
    if (!value) {
      std::cerr << "skimlet-cli settings: для " << path << " нужно целое число, а не «" << text << "»\n";
      return 2;
    }
    if (key->kind == SettingKind::kNumber && (*value != std::stoll(text))) {
      std::cerr << "skimlet-cli settings: " << path << " бывает от " << key->min << " до " << key->max
                << "; записано " << *value << "\n";
    }
    store.Write(path, FormatSettingValue(*key, *value));
    wrote = true;
  }
  std::string error;
  if (wrote && !store.Sync(&error)) {
    std::cerr << "skimlet-cli settings: " << error << "\n";
    return 1;
  }
  return 0;
}

int PathsCommand(const Context& ctx, const std::vector<std::string>& args) {
  if (!args.empty()) {
    std::cerr << "skimlet-cli paths: команда без аргументов\n";
    return 2;
  }
  std::cout << "данные     " << ctx.dataDir << "\n"
            << "настройки  " << SettingsStore().FileName() << "\n"
            << "ленты      " << ctx.dataDir << "feeds/\n"
            << "ресурсы    " << ResourceDir(ctx.dataDir) << "\n";
  return 0;
}

}  // namespace skimlet::cli
