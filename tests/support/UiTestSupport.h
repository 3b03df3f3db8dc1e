// Helpers for the window's tests.
#pragma once

#include <QString>
#include <QStringList>
#include <deque>

#include "qt/Desktop.h"
#include "qt/Dialogs.h"

namespace skimlet::test {

// Answers the program's boxes from a script and remembers what they said.
class ScriptedDialogs : public Dialogs {
 public:
  std::deque<bool> answers;       // for Question; Yes when empty
  std::deque<QString> inputs;     // for InputText; cancelled when empty
  QStringList questions, messages, prompts;

  bool Question(QWidget*, const QString& caption, const QString& text, bool) override {
    questions << caption + "|" + text;
    if (answers.empty()) return true;
    bool a = answers.front();
    answers.pop_front();
    return a;
  }
  void Message(QWidget*, const QString& text) override { messages << text; }
  bool InputText(QWidget*, const QString& title, const QString& prompt, QString& value) override {
    prompts << title + "|" + prompt;
    if (inputs.empty()) return false;
    value = inputs.front();
    inputs.pop_front();
    return true;
  }
};

// Installs scripted dialogs for the lifetime of the object.
class DialogsScope {
 public:
  DialogsScope() { SetAppDialogs(&dialogs); }
  ~DialogsScope() { SetAppDialogs(nullptr); }
  ScriptedDialogs dialogs;
};

// Remembers what would have been handed to the desktop: "open URL", "show PATH", "trash".
class RecordingDesktop : public Desktop {
 public:
  QStringList calls;
  void OpenUrl(const QUrl& url) override { calls << "open " + url.toString(); }
  void ShowFile(const QString& path) override { calls << "show " + path; }
  void ShowTrash() override { calls << "trash"; }
};

class DesktopScope {
 public:
  DesktopScope() { SetAppDesktop(&desktop); }
  ~DesktopScope() { SetAppDesktop(nullptr); }
  RecordingDesktop desktop;
};

}  // namespace skimlet::test
