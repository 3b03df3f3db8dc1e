#include "shell/ZastavkaUnit.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include "shell/About.h"
#include "shell/Tips.h"

namespace skimlet {

TZastavka::TZastavka(SettingsStore& store)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setObjectName("Zastavka");
  setAttribute(Qt::WA_QuitOnClose, false);
  setStyleSheet("#Zastavka { background: rgb(135, 206, 235); }");
  auto* picture = new QLabel(this);
  picture->setObjectName("Image1");
  picture->setPixmap(ProgramPicture());
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(picture);
  tips_ = new TTipsForm(store, nullptr);

  timer1_ = new QTimer(this);
  timer1_->setObjectName("Timer1");
  timer1_->setSingleShot(true);
  timer1_->setInterval(1000);
  connect(timer1_, &QTimer::timeout, this, [this] {
    hide();
    GreetOnce();  // where the desktop never reports the program active
  });
  connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
    if (state == Qt::ApplicationActive && timer1_->isActive()) GreetOnce();
  });
}

TZastavka::~TZastavka() { delete tips_; }

void TZastavka::ShowNow() {
  adjustSize();
  if (QScreen* screen = QGuiApplication::primaryScreen()) move(screen->geometry().center() - rect().center());
  show();
  raise();
  QCoreApplication::processEvents();  // painted before the main window is made
  timer1_->start();
}

void TZastavka::GreetOnce() {
  if (greeted_) return;
  greeted_ = true;
  if (tips_->ShowAtStart()) tips_->ShowAtRandom();
}

}  // namespace skimlet
