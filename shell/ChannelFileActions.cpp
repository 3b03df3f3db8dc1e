#include "shell/ChannelFileActions.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <QTreeWidgetItem>
#include <algorithm>

#include "authoring/ChannelFile.h"
#include "library/ui/AccountsTree.h"
#include "platform/Files.h"
#include "qt/Dialogs.h"
#include "qt/QtText.h"

namespace skimlet {

namespace {

const char* const kFilter = "Skimlet Channel config (*.skc)";
const char* const kSuffix = "skc";

QString Lines(const std::vector<std::string>& utf8Lines) {
  QStringList lines;
  for (const std::string& l : utf8Lines) lines << QString::fromStdString(l);
  return lines.join('\r');
}

// The overwrite questions of the core, as warning boxes.
OverwriteQuestion Ask(QWidget* parent) {
  return [parent](const std::string& text) {
    return AppDialogs().Question(parent, QStringLiteral("Предупреждение"), Q(text), true);
  };
}

}  // namespace

ChannelFileActions::ChannelFileActions(Hooks hooks) : h_(std::move(hooks)) {}

void ChannelFileActions::PrepareDialogDir() {
  if (!dialogDir_.isEmpty()) return;
  const std::string dir = ChannelFilesDir(h_.dataDir);
  MakeDirs(dir);  // when it cannot be made, the dialog still opens and shows why
  dialogDir_ = QPath(dir);
}

void ChannelFileActions::SaveChannelExecute() {
  const NodePtr selected = h_.accounts->SelectedNode();
  if (!selected) {
    if (h_.status) h_.status(QStringLiteral("Выберите в дереве канал, настройку которого нужно сохранить."));
    return;
  }
  PrepareDialogDir();
  const NodePtr channel = ChannelTree::RootChannel(selected);
  const QString proposed = QDir(dialogDir_).filePath(Q(ProposedExportFileName(h_.tree->Caption(channel))));
  QString path = AppDialogs().SaveFileName(h_.parent, QStringLiteral("Сохранение конфигурации канала"), proposed,
                                           QString::fromLatin1(kFilter), QString::fromLatin1(kSuffix));
  if (path.isEmpty()) return;
  if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".") + QString::fromLatin1(kSuffix);
  if (h_.beforeExport && !h_.beforeExport(channel)) return;

  ChannelExportResult r = ExportChannel(*h_.tree, selected, path.toStdString(), Ask(h_.parent));
  switch (r.status) {
    case ChannelExportResult::Status::kWritten:
      if (h_.status)
        h_.status(QStringLiteral("Канал «%1» сохранён в файл %2").arg(Q(h_.tree->Caption(channel)), path));
      if (!r.warnings.empty())
        AppDialogs().Message(h_.parent, QStringLiteral("Канал сохранён, но не всё в нём было в порядке:\r") +
                                            Lines(r.warnings));
      break;
    case ChannelExportResult::Status::kFailed:
      AppDialogs().Message(h_.parent, QStringLiteral("Канал не сохранён в файл %1:\r%2")
                                          .arg(path, QString::fromStdString(r.error)));
      break;
    case ChannelExportResult::Status::kNoFolder:
    case ChannelExportResult::Status::kDeclined:
      break;
  }
}

void ChannelFileActions::OpenCannelExecute() {
  PrepareDialogDir();
  const QString path =
      AppDialogs().OpenFileName(h_.parent, QStringLiteral("Открытие или восстановление конфигурации канала"),
                                dialogDir_, QString::fromLatin1(kFilter), QString::fromLatin1(kSuffix));
  if (!path.isEmpty()) Import(path, false);
}

void ChannelFileActions::OfferImport(const QString& path) { Import(path, true); }

void ChannelFileActions::Import(const QString& path, bool offered) {
  const std::string file = path.toStdString();
  std::string text, error;
  if (!ReadWholeFile(file, text, &error)) {
    AppDialogs().Message(h_.parent, QString::fromStdString(error));
    return;
  }
  if (offered) {
    // A file opened from the file manager adds nothing without the user's word. A channel
    // the tree already holds is asked about by the import itself.
    ChannelFileContent content = ParseChannelFile(text);
    if (content.hasHeader && content.errors.empty() && !content.blocks.empty()) {
      const std::string& name = content.blocks.front().name;
      const auto channels = h_.tree->Channels();
      const bool exists = std::any_of(channels.begin(), channels.end(),
                                      [&](const NodePtr& c) { return h_.tree->Caption(c) == name; });
      if (!exists &&
          !AppDialogs().Question(h_.parent, QStringLiteral("Skimlet"),
                                 QStringLiteral("Добавить канал «%1» из файла %2?").arg(Q(name), path), false))
        return;
    }
  }

  ChannelImportResult r = ImportChannelText(*h_.tree, text, Ask(h_.parent));
  using Status = ChannelImportResult::Status;
  // Folders made before a failure stay on disk: the tree shows them too.
  if (r.channel || !r.created.empty()) {
    for (const NodePtr& channel : h_.tree->Channels()) {
      h_.accounts->AddNodeItem(channel);
      for (const NodePtr& rubric : h_.tree->Children(channel)) h_.accounts->AddNodeItem(rubric);
    }
    h_.accounts->RefreshAll();
    if (r.channel)
      if (QTreeWidgetItem* item = h_.accounts->ItemOf(r.channel)) item->setExpanded(true);
  }
  switch (r.status) {
    case Status::kImported: {
      std::vector<NodePtr> written{r.channel};
      for (const NodePtr& rubric : h_.tree->Children(r.channel))
        if (std::find(r.written.begin() + 1, r.written.end(), h_.tree->Caption(rubric)) != r.written.end())
          written.push_back(rubric);
      if (h_.afterImport) h_.afterImport(r.channel, written);
      if (h_.status)
        h_.status(QStringLiteral("Канал «%1» загружен из файла %2: папок %3")
                      .arg(Q(h_.tree->Caption(r.channel)), path)
                      .arg(r.written.size()));
      if (!r.warnings.empty())
        AppDialogs().Message(h_.parent,
                             QStringLiteral("Канал загружен, но в файле %1 не всё было в порядке:\r").arg(path) +
                                 Lines(r.warnings));
      break;
    }
    case Status::kNoHeader:
      AppDialogs().Message(h_.parent, QStringLiteral("Файл %1 — не настройка канала: в нём нет строки «%2». "
                                                     "Ничего не загружено.")
                                          .arg(path, QString::fromLatin1(kChannelFileHeader.data(),
                                                                         kChannelFileHeader.size())));
      break;
    case Status::kRefused:
      AppDialogs().Message(h_.parent, QStringLiteral("Настройка канала из файла %1 не загружена, ничего не "
                                                     "изменено:\r")
                                              .arg(path) +
                                          Lines(r.errors));
      break;
    case Status::kFailed: {
      std::string names;
      for (const std::string& n : r.written) names += (names.empty() ? "" : ", ") + n;
      QString message = QStringLiteral("Загрузка настройки канала из файла %1 прервана:\r").arg(path) + Lines(r.errors);
      message += names.empty() ? QStringLiteral("\rНи одна папка не записана.")
                               : QStringLiteral("\rУспели записаться папки: ") + Q(names);
      AppDialogs().Message(h_.parent, message);
      break;
    }
    case Status::kDeclined:
      break;
  }
}

}  // namespace skimlet
