#include "shell/MainUnit.h"

namespace skimlet {

TMainForm::TMainForm(std::string dataDir, QWidget* parent) : QMainWindow(parent), dataDir_(std::move(dataDir)) {
  setObjectName("MainForm");
  setWindowTitle(QString::fromUtf8("Skimlet - электронный журнал о событиях в Сети"));
  resize(782, 510);
  ready_ = true;
}

TMainForm::~TMainForm() = default;

}  // namespace skimlet
