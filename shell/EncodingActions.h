// The five encoding actions: a news's file and name from KOI8-R to Windows-1251 and back.
// The file is rewritten by the core; the name goes through the rename editor, where the
// user confirms or abandons it as for any rename.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "library/NewsEncoding.h"

class QAction;
class QLineEdit;
class QMenu;
class QWidget;

namespace skimlet {

struct EncodingHooks {
  // Makes an action of the window ("short|long" hint, category).
  std::function<QAction*(const char* name, const QString& caption, const QString& hint, const QString& category)>
      newAction;
  std::function<std::vector<std::string>()> selectedNews;  // files of the selected news
  std::function<void()> markSelectedRead;                  // as when the countdown ends
  std::function<void(const std::string& path)> converted;  // reload the page and its panel
  std::function<QLineEdit*()> startRename;                 // the rename editor, or null
  std::function<void()> confirmRename;                     // as Enter in the editor
  std::function<void()> hideReader;
};

class EncodingActions : public QObject {
  Q_OBJECT
 public:
  EncodingActions(QWidget* window, EncodingHooks hooks);

  // "Правка": KOItoWIN and the sub-menu "Преобразование".
  void AddToEditMenu(QMenu* edit);
  // The sub-menu of the news list's context menu.
  QMenu* ContextSubMenu() const { return contextMenu_; }

  bool ConvertHtml(Recoding direction);
  bool ConvertName(Recoding direction);
  void KOItoWIN();

 private:
  QWidget* window_;
  EncodingHooks hooks_;
  QAction* koiToWin_ = nullptr;
  QAction* nameKoiToWin_ = nullptr;
  QAction* htmlKoiToWin_ = nullptr;
  QAction* nameWinToKoi_ = nullptr;
  QAction* htmlWinToKoi_ = nullptr;
  QMenu* contextMenu_ = nullptr;
};

}  // namespace skimlet
