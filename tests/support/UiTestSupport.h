// Helpers for the window's tests.
#pragma once

#include <QSettings>
#include <QString>
#include <QStringList>
#include <QTest>
#include <deque>
#include <memory>

#include "qt/Desktop.h"
#include "qt/Dialogs.h"
#include "shell/MainUnit.h"
#include "tests/support/TestSupport.h"

namespace skimlet::test {

// Answers the program's boxes from a script and remembers what they said.
class ScriptedDialogs : public Dialogs {
 public:
  std::deque<bool> answers;       // for Question; Yes when empty
  std::deque<QString> inputs;     // for InputText; cancelled when empty
  std::deque<QString> files;      // for the file dialogs; cancelled when empty
  QStringList questions, messages, prompts;
  QStringList fileDialogs;        // "title|start|filter|suffix" of each file dialog

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
  QString OpenFileName(QWidget*, const QString& title, const QString& start, const QString& filter,
                       const QString& suffix) override {
    return File(title, start, filter, suffix);
  }
  QString SaveFileName(QWidget*, const QString& title, const QString& start, const QString& filter,
                       const QString& suffix) override {
    return File(title, start, filter, suffix);
  }

 private:
  QString File(const QString& title, const QString& start, const QString& filter, const QString& suffix) {
    fileDialogs << title + "|" + start + "|" + filter + "|" + suffix;
    if (files.empty()) return {};
    QString f = files.front();
    files.pop_front();
    return f;
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

// A data directory, private settings and a private XDG data directory for a main window,
// with its boxes answered by a script.
struct WindowFixture {
  TempDir data, config, xdgData;
  DialogsScope dialogs;
  WindowFixture() {
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QString::fromStdString(config.path()));
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(xdgData.path()));
    qputenv("XDG_DATA_DIRS", QByteArray::fromStdString(xdgData.path()));  // no installed package either
  }
  // The window shown, as the program shows it (its placement is applied then), after its
  // start-up timer.
  std::unique_ptr<TMainForm> Open() {
    auto w = std::make_unique<TMainForm>(data.path());
    w->show();
    QTest::qWait(400);
    return w;
  }
};

}  // namespace skimlet::test
