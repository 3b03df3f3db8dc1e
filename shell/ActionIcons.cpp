#include "shell/ActionIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <functional>

namespace skimlet {

namespace {

// Draws `paint` on a 16x16 canvas at 1x and 2x, and at 20 and 24 pixels for larger toolbars.
QIcon Drawn(const std::function<void(QPainter&)>& paint) {
  QIcon icon;
  for (int side : {16, 20, 24}) {
    for (qreal ratio : {1.0, 2.0}) {
      QPixmap pixmap(int(side * ratio), int(side * ratio));
      pixmap.fill(Qt::transparent);
      QPainter p(&pixmap);
      p.setRenderHint(QPainter::Antialiasing);
      p.scale(side * ratio / 16.0, side * ratio / 16.0);
      paint(p);
      p.end();
      pixmap.setDevicePixelRatio(ratio);
      icon.addPixmap(pixmap);
    }
  }
  return icon;
}

}  // namespace

QIcon ChecklistIcon() {
  return Drawn([](QPainter& p) {
    const QColor frame(60, 60, 70), tick(0, 120, 0), line(110, 110, 120);
    for (int row = 0; row < 2; ++row) {
      const qreal top = 1.5 + row * 7.5;
      p.setPen(QPen(frame, 1.0));
      p.setBrush(Qt::white);
      p.drawRect(QRectF(1.5, top, 5.5, 5.5));
      p.setPen(QPen(line, 1.5, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(9.5, top + 2.75), QPointF(14.5, top + 2.75));
    }
    // The upper box is ticked, the lower one waits.
    QPainterPath mark;
    mark.moveTo(2.6, 4.4);
    mark.lineTo(4.1, 6.0);
    mark.lineTo(6.9, 2.4);
    p.setPen(QPen(tick, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(mark);
  });
}

QIcon PictureDownloadIcon() {
  return Drawn([](QPainter& p) {
    // The picture: a frame with a hill and a sun.
    p.setPen(QPen(QColor(70, 70, 90), 1.0));
    p.setBrush(QColor(215, 235, 255));
    p.drawRect(QRectF(0.5, 0.5, 11, 9));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(240, 190, 40));
    p.drawEllipse(QPointF(8.5, 3.3), 1.4, 1.4);
    QPainterPath hill;
    hill.moveTo(1, 9.5);
    hill.lineTo(4.5, 5);
    hill.lineTo(7, 7.5);
    hill.lineTo(8.5, 6.3);
    hill.lineTo(11, 9.5);
    hill.closeSubpath();
    p.setBrush(QColor(70, 150, 70));
    p.drawPath(hill);
    // The arrow down, over the lower right corner.
    QPainterPath arrow;
    arrow.moveTo(10.5, 6.5);
    arrow.lineTo(13.5, 6.5);
    arrow.lineTo(13.5, 10.5);
    arrow.lineTo(15.8, 10.5);
    arrow.lineTo(12, 15.5);
    arrow.lineTo(8.2, 10.5);
    arrow.lineTo(10.5, 10.5);
    arrow.closeSubpath();
    p.setPen(QPen(Qt::white, 1.0));
    p.setBrush(QColor(20, 110, 200));
    p.drawPath(arrow);
  });
}

}  // namespace skimlet
