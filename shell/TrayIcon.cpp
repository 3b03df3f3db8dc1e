#include "shell/TrayIcon.h"

#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <cmath>

namespace skimlet {

QList<QIcon> DrawTrayFrames(int count) {
  const QPixmap base = QPixmap(":/icons/skimlet.png").scaled(32, 32, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  QList<QIcon> frames;
  frames << QIcon(base);  // the resting icon
  for (int i = 1; i < count; ++i) {
    QPixmap frame = base;
    QPainter p(&frame);
    p.setRenderHint(QPainter::Antialiasing);
    // A bright dot and its fading tail running clockwise round the icon.
    for (int tail = 0; tail < 3; ++tail) {
      double angle = 2 * M_PI * (i - 1 - tail * 0.35) / (count - 1) - M_PI / 2;
      QPointF centre(16 + 12 * std::cos(angle), 16 + 12 * std::sin(angle));
      QColor colour(255, 200, 40, 255 - tail * 80);
      p.setPen(Qt::NoPen);
      p.setBrush(colour);
      p.drawEllipse(centre, 4.0 - tail, 4.0 - tail);
    }
    frames << QIcon(frame);
  }
  return frames;
}

TrayIcon::TrayIcon(QMenu* popupMenuTray, QObject* parent) : QObject(parent) {
  frames_ = DrawTrayFrames();
  icon_ = new QSystemTrayIcon(frames_[0], this);
  icon_->setObjectName("TrayIcon");
  icon_->setContextMenu(popupMenuTray);
  icon_->setToolTip("Skimlet");
  animation_ = new QTimer(this);
  animation_->setInterval(kTrayFrameMs);
  connect(animation_, &QTimer::timeout, this, [this] { ShowFrame((frame_ + 1) % frames_.size()); });
  connect(icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    // A single click restores as well where the tray reports no double clicks.
    if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger) emit restoreWanted();
  });
  connect(icon_, &QSystemTrayIcon::messageClicked, this, &TrayIcon::messageClicked);
  icon_->show();
}

bool TrayIcon::Usable() const { return icon_->isVisible() && QSystemTrayIcon::isSystemTrayAvailable(); }

bool TrayIcon::Animated() const { return animation_->isActive(); }

void TrayIcon::SetAnimated(bool on) {
  if (on == Animated()) return;
  if (on) {
    animation_->start();
  } else {
    animation_->stop();
    ShowFrame(0);
  }
}

void TrayIcon::ShowFrame(int frame) {
  frame_ = frame;
  icon_->setIcon(frames_[frame]);
}

void TrayIcon::SetUnreadCount(int count) {
  icon_->setToolTip(count > 0 ? QString::fromUtf8("Skimlet — непрочитанных новостей: %1").arg(count) : "Skimlet");
}

void TrayIcon::ShowMessage(const QString& title, const QString& text) {
  icon_->showMessage(title, text, frames_[0], 10000);
}

}  // namespace skimlet
