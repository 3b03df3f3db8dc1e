#include "shell/EncodingActions.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>

#include "platform/Text.h"
#include "qt/Dialogs.h"
#include "qt/QtText.h"

namespace skimlet {

EncodingActions::EncodingActions(QWidget* window, EncodingHooks hooks)
    : QObject(window), window_(window), hooks_(std::move(hooks)) {
  const QString edit = QString::fromUtf8("Правка");
  auto make = [&](const char* name, const char* caption) {
    return hooks_.newAction(name, QString::fromUtf8(caption), QString::fromUtf8(caption), edit);
  };
  koiToWin_ = make("KOItoWIN", "Преобразовать из KOI-8 в Win1251");
  koiToWin_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F12));
  htmlKoiToWin_ = make("HTMLKOItoWIN", "Преобразовать только HTML из KOI-8 в Win1251");
  htmlWinToKoi_ = make("HTMLWintoKOI", "Преобразовать только HTML из Win1251 в KOI-8");
  nameKoiToWin_ = make("NameKOItoWIN", "Преобразовать только имя из KOI-8 в Win1251");
  nameWinToKoi_ = make("NameWINtoKOI", "Преобразовать только имя из Win1251 в KOI-8");
  connect(koiToWin_, &QAction::triggered, this, &EncodingActions::KOItoWIN);
  connect(htmlKoiToWin_, &QAction::triggered, this, [this] { ConvertHtml(Recoding::kKoiToWin); });
  connect(htmlWinToKoi_, &QAction::triggered, this, [this] { ConvertHtml(Recoding::kWinToKoi); });
  connect(nameKoiToWin_, &QAction::triggered, this, [this] { ConvertName(Recoding::kKoiToWin); });
  connect(nameWinToKoi_, &QAction::triggered, this, [this] { ConvertName(Recoding::kWinToKoi); });

  contextMenu_ = new QMenu(QString::fromUtf8("Преобразование"), window);
  contextMenu_->setObjectName("PopupConvert");
  contextMenu_->addAction(koiToWin_);
  contextMenu_->addSeparator();
  contextMenu_->addActions({nameKoiToWin_, htmlKoiToWin_});
  contextMenu_->addSeparator();
  contextMenu_->addActions({nameWinToKoi_, htmlWinToKoi_});
}

void EncodingActions::AddToEditMenu(QMenu* edit) {
  edit->addAction(koiToWin_);
  QMenu* sub = edit->addMenu(QString::fromUtf8("Преобразование"));
  sub->setObjectName("MenuConvert");
  sub->addActions({nameKoiToWin_, htmlKoiToWin_});
  sub->addSeparator();
  sub->addActions({nameWinToKoi_, htmlWinToKoi_});
}

bool EncodingActions::ConvertHtml(Recoding direction) {
  const std::vector<std::string> selected = hooks_.selectedNews ? hooks_.selectedNews() : std::vector<std::string>{};
  if (selected.size() != 1) return false;
  // Marking it read first is what makes an unread news writable for the user.
  if (hooks_.markSelectedRead) hooks_.markSelectedRead();
  std::string error;
  if (!RecodeNewsFile(selected.front(), direction, &error)) {
    AppDialogs().Message(window_, QString::fromUtf8("Новость не преобразована, файл остался прежним.\r") +
                                      QString::fromStdString(error));
    return false;
  }
  if (hooks_.converted) hooks_.converted(selected.front());
  return true;
}

bool EncodingActions::ConvertName(Recoding direction) {
  QLineEdit* editor = hooks_.startRename ? hooks_.startRename() : nullptr;
  if (!editor) return false;
  const std::string name = Win(editor->text());
  editor->setText(Q(direction == Recoding::kKoiToWin ? ConvertKoiToWin(name) : ConvertWinToKoi(name)));
  return true;
}

void EncodingActions::KOItoWIN() {
  if (hooks_.hideReader) hooks_.hideReader();
  if (!ConvertHtml(Recoding::kKoiToWin)) return;
  if (ConvertName(Recoding::kKoiToWin) && hooks_.confirmRename) hooks_.confirmRename();
}

}  // namespace skimlet
