// The splash window (TZastavka): the program's picture on sky blue while the windows are
// made, hidden a second later. It owns the tips window and shows it once at start-up when
// the user wants the tips.
#pragma once

#include <QWidget>

class QTimer;

namespace skimlet {

class SettingsStore;
class TTipsForm;

class TZastavka : public QWidget {
  Q_OBJECT
 public:
  explicit TZastavka(SettingsStore& store);
  ~TZastavka() override;

  // Shows and paints the splash at once, before the other windows are made.
  void ShowNow();
  TTipsForm* Tips() const { return tips_; }
  // The start-up tips: once, the first time the program is active after the splash.
  void GreetOnce();

 private:
  QTimer* timer1_ = nullptr;
  TTipsForm* tips_ = nullptr;
  bool greeted_ = false;
};

}  // namespace skimlet
