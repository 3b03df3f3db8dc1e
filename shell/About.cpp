#include "shell/About.h"

#include <QApplication>
#include <QGraphicsDropShadowEffect>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>
#include <QVBoxLayout>

#include "qt/Desktop.h"

namespace skimlet {

QPixmap ProgramPicture() {
  QPixmap picture(350, 150);
  QPainter p(&picture);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, 150);
  sky.setColorAt(0, QColor(30, 90, 170));
  sky.setColorAt(1, QColor(120, 190, 240));
  p.fillRect(picture.rect(), sky);
  // A stack of pages running into the picture, for the news it collects.
  for (int i = 0; i < 4; ++i) {
    QRectF page(200 + i * 26, 28 + i * 10, 70, 92);
    p.setPen(QPen(QColor(40, 70, 120), 1));
    p.setBrush(QColor(255, 255, 255, 150 + i * 30));
    p.drawRoundedRect(page, 4, 4);
    p.setPen(QPen(QColor(120, 140, 170), 2));
    for (int line = 0; line < 6; ++line)
      p.drawLine(QPointF(page.left() + 8, page.top() + 14 + line * 12),
                 QPointF(page.right() - 8 - (line % 3) * 9, page.top() + 14 + line * 12));
  }
  p.drawPixmap(QRect(22, 24, 64, 64), QPixmap(":/icons/skimlet.png"));
  QFont title = QApplication::font();
  title.setPixelSize(34);
  title.setBold(true);
  p.setFont(title);
  p.setPen(QColor(0, 0, 0, 110));
  p.drawText(QPoint(24, 126), "Skimlet");
  p.setPen(Qt::white);
  p.drawText(QPoint(22, 124), "Skimlet");
  return picture;
}

QString VersionLine(int ownBuild) {
  return QString::fromUtf8("Вы используете версию 1.1 (build %1).").arg(ownBuild);
}

LinkLabel::LinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
  setCursor(Qt::PointingHandCursor);
  Paint(false);
}

void LinkLabel::Paint(bool hover) {
  setStyleSheet(hover ? "color: white; text-decoration: underline;" : "color: aqua;");
}

void LinkLabel::enterEvent(QEnterEvent* event) {
  QLabel::enterEvent(event);
  Paint(true);
}

void LinkLabel::leaveEvent(QEvent* event) {
  QLabel::leaveEvent(event);
  Paint(false);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
}

TAboutForm::TAboutForm(int ownBuild, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
  setObjectName("AboutForm");
  setWindowTitle(QString::fromUtf8("О программе"));
  setModal(true);
  setAttribute(Qt::WA_QuitOnClose, false);
  setStyleSheet("#AboutForm { background: blue; }");

  auto* picture = new QLabel(this);
  picture->setObjectName("Image1");
  picture->setPixmap(ProgramPicture());
  picture->setFixedSize(350, 150);

  auto* text = new QLabel(this);
  text->setObjectName("LabelAbout");
  text->setWordWrap(true);
  text->setStyleSheet("color: white;");
  text->setText(QString::fromUtf8(
                    "Skimlet собирает новые статьи с веб-сайтов, даже с тех, что не публикуют лент, "
                    "и хранит их на вашем диске для чтения.\n\n"
                    "Программа распространяется бесплатно, «как есть», без каких-либо гарантий. "
                    "Статьи принадлежат их авторам: сохраняйте их для личного чтения.\n\n") +
                VersionLine(ownBuild));
  auto* shadow = new QGraphicsDropShadowEffect(text);
  shadow->setColor(Qt::black);
  shadow->setOffset(1, 1);
  shadow->setBlurRadius(0);
  text->setGraphicsEffect(shadow);

  auto* site = new LinkLabel(QString::fromUtf8("Сайт: ") + QString::fromLatin1(kMakerSite), this);
  site->setObjectName("LabelSite");
  connect(site, &LinkLabel::clicked, this, [] { AppDesktop().OpenUrl(QUrl(QString::fromLatin1(kMakerSite))); });

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 8);
  layout->addWidget(picture, 0, Qt::AlignHCenter);
  layout->addWidget(text);
  layout->addWidget(site, 0, Qt::AlignRight);
  setFixedWidth(350 + 16);
}

void TAboutForm::ShowOver(QWidget* over) {
  adjustSize();
  if (over) move(over->geometry().center() - rect().center());
  exec();
}

}  // namespace skimlet
