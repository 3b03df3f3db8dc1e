// skimlet-cli: the headless Skimlet. Lists the channel folders, reads and writes settings,
// and runs downloads.
#include <libintl.h>

#include <clocale>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "platform/DataModes.h"
#include "platform/Paths.h"

namespace {

const char* kUsage =
    "использование: skimlet-cli [--home ПАПКА] КОМАНДА [АРГУМЕНТЫ]\n"
    "\n"
    "команды:\n"
    "  new КАНАЛ АДРЕС_СПИСКА --example АДРЕС_СТАТЬИ [--example АДРЕС_СТАТЬИ]\n"
    "      [--rubric РУБРИКА] [--pages N] [--dry-run]\n"
    "                                предложить шаги канала по странице списка и статье-\n"
    "                                примеру, показать, что они возьмут, и записать канал\n"
    "                                (с --rubric — рубрику канала); код выхода 1, если\n"
    "                                шаги ничего не возьмут\n"
    "  list                          папки каналов с отметками и числом новостей\n"
    "  settings [РАЗДЕЛ/КЛЮЧ[=ЗНАЧЕНИЕ] ...]\n"
    "                                показать или изменить настройки (без аргументов — все)\n"
    "  download [КАНАЛ ...] [--log raw|pretty] [--dry-run]\n"
    "                                загрузить названные каналы (без имён — все);\n"
    "                                --dry-run: загрузить и обработать как обычно, но ничего\n"
    "                                не записывать, а показать, что было бы сохранено\n"
    "                                и чем кончилась каждая папка\n"
    "  pictures [КАНАЛ[/РУБРИКА]]    докачать недостающие картинки сохранённых новостей\n"
    "  export КАНАЛ ФАЙЛ [--yes]     сохранить шаги канала в файл .skc\n"
    "  import ФАЙЛ [--yes]           добавить или восстановить канал из файла .skc\n"
    "                                (--yes: перезаписать существующий файл или канал)\n"
    "  check [КАНАЛ]                 найти ошибки в шагах папок (без имени — во всех\n"
    "                                каналах): неизвестные команды, сдвинутые шаги,\n"
    "                                переходы к несуществующим шагам, бесконечные циклы;\n"
    "                                код выхода 1, если что-то найдено, иначе 0\n"
    "  feed КАНАЛ[/РУБРИКА] [-o ФАЙЛ] [--limit N]\n"
    "                                Atom-лента N (50) последних сохранённых новостей\n"
    "  paths                         где лежат данные, настройки, ленты и ресурсы\n"
    "\n"
    "--home ПАПКА   папка данных (по умолчанию $SKIMLET_HOME, иначе $XDG_DATA_HOME/Skimlet)\n"
    "\n"
    "коды выхода: 0 — готово; 1 — команда не выполнена; 2 — неверные аргументы;\n"
    "  download и pictures: 3 — часть страниц или картинок не загружена (сколько,\n"
    "  сказано в последней строке); download: 4 — не загружена начальная страница канала\n";

}  // namespace

int main(int argc, char** argv) {
  // The system's own reasons ("Permission denied") in the user's language, and in UTF-8 like
  // every other text this program prints. Nothing else follows the locale.
  std::setlocale(LC_MESSAGES, "");
  bind_textdomain_codeset("libc", "UTF-8");
  std::string home;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--home") {
      if (i + 1 >= argc) {
        std::cerr << "skimlet-cli: после --home нужна папка\n";
        return 2;
      }
      home = argv[++i];
    } else if (a.rfind("--home=", 0) == 0) {
      home = a.substr(7);
    } else if (a == "-h" || a == "--help" || a == "help") {
      std::cout << kUsage;
      return 0;
    } else {
      args.push_back(a);
    }
  }
  if (args.empty()) {
    std::cerr << kUsage;
    return 2;
  }
  skimlet::cli::Context ctx;
  ctx.dataDir = skimlet::ResolveDataDir(home);
  // Once: files of older versions were world-readable. A dry run writes nothing, not even that.
  if (std::find(args.begin(), args.end(), "--dry-run") == args.end()) skimlet::MakeDataDirPrivate(ctx.dataDir);
  std::string command = args.front();
  args.erase(args.begin());
  if (command == "list") return skimlet::cli::ListCommand(ctx, args);
  if (command == "settings") return skimlet::cli::SettingsCommand(ctx, args);
  if (command == "download") return skimlet::cli::DownloadCommand(ctx, args);
  if (command == "pictures") return skimlet::cli::PicturesCommand(ctx, args);
  if (command == "export") return skimlet::cli::ExportCommand(ctx, args);
  if (command == "import") return skimlet::cli::ImportCommand(ctx, args);
  if (command == "check") return skimlet::cli::CheckCommand(ctx, args);
  if (command == "feed") return skimlet::cli::FeedCommand(ctx, args);
  if (command == "new") return skimlet::cli::NewChannelCommand(ctx, args);
  if (command == "paths") return skimlet::cli::PathsCommand(ctx, args);
  std::cerr << "skimlet-cli: неизвестная команда «" << command << "»\n\n" << kUsage;
  return 2;
}
