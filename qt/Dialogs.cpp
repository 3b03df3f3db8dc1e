#include "qt/Dialogs.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>

namespace skimlet {

namespace {

// The program's texts separate lines with a lone CR, which a Qt label does not break at.
QString Lines(QString text) {
  text.replace("\r\n", "\n");
  text.replace('\r', '\n');
  return text;
}

QString FileName(QWidget* parent, bool save, const QString& title, const QString& start, const QString& filter,
                 const QString& suffix) {
  QFileDialog dialog(parent, title, start, filter);
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite);  // the program asks its own question
  dialog.setDefaultSuffix(suffix);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

class BoxDialogs : public Dialogs {
 public:
  bool Question(QWidget* parent, const QString& caption, const QString& text, bool warning) override {
    QMessageBox box(warning ? QMessageBox::Warning : QMessageBox::NoIcon, caption, Lines(text),
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setTextFormat(Qt::PlainText);  // names in the text are shown as written
    // A warning asks before something is lost: Enter must not say yes to it.
    box.setDefaultButton(warning ? QMessageBox::No : QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
  }
  void Message(QWidget* parent, const QString& text) override {
    QMessageBox box(QMessageBox::Information, QStringLiteral("Skimlet"), Lines(text), QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
  }
  bool InputText(QWidget* parent, const QString& title, const QString& prompt, QString& value) override {
    QInputDialog dialog(parent);
    dialog.setWindowTitle(title);
    dialog.setLabelText(prompt);
    dialog.setTextValue(value);
    for (QLabel* label : dialog.findChildren<QLabel*>()) label->setTextFormat(Qt::PlainText);
    if (dialog.exec() != QDialog::Accepted) return false;
    value = dialog.textValue();
    return true;
  }
  QString OpenFileName(QWidget* parent, const QString& title, const QString& start, const QString& filter,
                       const QString& suffix) override {
    return FileName(parent, false, title, start, filter, suffix);
  }
  QString SaveFileName(QWidget* parent, const QString& title, const QString& start, const QString& filter,
                       const QString& suffix) override {
    return FileName(parent, true, title, start, filter, suffix);
  }
};

BoxDialogs g_boxes;
Dialogs* g_dialogs = &g_boxes;

}  // namespace

QString Dialogs::OpenFileName(QWidget*, const QString&, const QString&, const QString&, const QString&) { return {}; }
QString Dialogs::SaveFileName(QWidget*, const QString&, const QString&, const QString&, const QString&) { return {}; }

Dialogs& AppDialogs() { return *g_dialogs; }
void SetAppDialogs(Dialogs* dialogs) { g_dialogs = dialogs ? dialogs : &g_boxes; }

}  // namespace skimlet
