#include "qt/Dialogs.h"

#include <QInputDialog>
#include <QMessageBox>

namespace skimlet {

namespace {

// The program's texts separate lines with a lone CR, which a Qt label does not break at.
QString Lines(QString text) {
  text.replace("\r\n", "\n");
  text.replace('\r', '\n');
  return text;
}

class BoxDialogs : public Dialogs {
 public:
  bool Question(QWidget* parent, const QString& caption, const QString& text, bool warning) override {
    QMessageBox box(warning ? QMessageBox::Warning : QMessageBox::NoIcon, caption, Lines(text),
                    QMessageBox::Yes | QMessageBox::No, parent);
    return box.exec() == QMessageBox::Yes;
  }
  void Message(QWidget* parent, const QString& text) override {
    QMessageBox::information(parent, QStringLiteral("Skimlet"), Lines(text));
  }
  bool InputText(QWidget* parent, const QString& title, const QString& prompt, QString& value) override {
    bool ok = false;
    QString answer = QInputDialog::getText(parent, title, prompt, QLineEdit::Normal, value, &ok);
    if (ok) value = answer;
    return ok;
  }
};

BoxDialogs g_boxes;
Dialogs* g_dialogs = &g_boxes;

}  // namespace

Dialogs& AppDialogs() { return *g_dialogs; }
void SetAppDialogs(Dialogs* dialogs) { g_dialogs = dialogs ? dialogs : &g_boxes; }

}  // namespace skimlet
