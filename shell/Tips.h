// The tips window ("Главное меню --> Помощь --> FAQ"): the frequently asked questions one at
// a time, "Дальше" to the next, and whether they greet the user at start-up.
#pragma once

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QLabel;

namespace skimlet {

class SettingsStore;

class TTipsForm : public QDialog {
  Q_OBJECT
 public:
  explicit TTipsForm(SettingsStore& store, QWidget* parent = nullptr);

  static QStringList Tips();
  // Shows the window modally (without blocking the caller) at tip `start`.
  void ShowTips(int start);
  // FAQ: from a randomly chosen tip, whatever the check box says.
  void ShowAtRandom();
  // The stored state of "Показывать при старте." (checked when never stored).
  bool ShowAtStart() const;
  void Next();
  int Index() const { return index_; }
  QCheckBox* CheckBox() const { return check_; }

 protected:
  void hideEvent(QHideEvent* event) override;

 private:
  void ShowTip();

  SettingsStore& store_;
  QLabel* tip_ = nullptr;
  QCheckBox* check_ = nullptr;
  int index_ = 0;
};

}  // namespace skimlet
