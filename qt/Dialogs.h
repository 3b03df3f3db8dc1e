// Message boxes and input boxes behind one seam, so tests can answer them.
#pragma once

#include <QString>

class QWidget;

namespace skimlet {

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // Yes/No question; `warning` shows the warning icon, otherwise none. True = Yes.
  virtual bool Question(QWidget* parent, const QString& caption, const QString& text, bool warning) = 0;
  // An information box with OK ("ShowMessage").
  virtual void Message(QWidget* parent, const QString& text) = 0;
  // An input box; false when cancelled. `value` holds the default and receives the answer.
  virtual bool InputText(QWidget* parent, const QString& title, const QString& prompt, QString& value) = 0;
  // File dialogs; the chosen path, or an empty string when cancelled. `start` is the directory
  // the dialog opens in, or for a save the proposed file there; `filter` is in Qt's form and
  // `suffix` is added to a name typed without one. The save dialog asks no overwrite question
  // of its own. The base class chooses nothing.
  virtual QString OpenFileName(QWidget* parent, const QString& title, const QString& start, const QString& filter,
                               const QString& suffix);
  virtual QString SaveFileName(QWidget* parent, const QString& title, const QString& start, const QString& filter,
                               const QString& suffix);
};

// The dialogs the program uses: real boxes unless a test has put its own in place.
Dialogs& AppDialogs();
void SetAppDialogs(Dialogs* dialogs);  // nullptr restores the real boxes

}  // namespace skimlet
