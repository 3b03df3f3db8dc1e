#include "shell/ReaderCode.h"

#include <QAction>
#include <QMouseEvent>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <cmath>

namespace skimlet {

namespace {
constexpr int kCloseWidth = 75, kCloseHeight = 22, kCloseMargin = 4;
}

TReader::TReader(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
  setObjectName("Reader");
  setAttribute(Qt::WA_QuitOnClose, false);
  // A single-line border round the page.
  setStyleSheet("#Reader { background: #808080; }");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(1, 1, 1, 1);
  view_ = new QWebEngineView(this);
  view_->setObjectName("View");
  view_->settings()->setDefaultTextEncoding("windows-1251");
  layout->addWidget(view_);
  // The page keeps the keyboard after every load, so the arrows and Page Down scroll it.
  connect(view_, &QWebEngineView::loadFinished, this, [this] {
    view_->setFocus();
    if (QWidget* page = view_->focusProxy()) page->setFocus();
  });

  bitBtnClose_ = new QPushButton(QString::fromUtf8("Закрыть"), this);
  bitBtnClose_->setObjectName("BitBtnClose");
  bitBtnClose_->setFixedSize(kCloseWidth, kCloseHeight);
  bitBtnClose_->setFocusPolicy(Qt::NoFocus);
  bitBtnClose_->setStyleSheet("QPushButton { color: blue; font-weight: bold; }");
  bitBtnClose_->installEventFilter(this);
  connect(bitBtnClose_, &QPushButton::clicked, this, [this] {
    if (closeArmed_) hide();
  });
  closeRightGap_ = kCloseWidth + kCloseMargin;
  closeTop_ = kCloseMargin;

  auto* escape = new QAction(this);
  escape->setShortcut(Qt::Key_Escape);
  escape->setShortcutContext(Qt::WindowShortcut);
  connect(escape, &QAction::triggered, this, &QWidget::hide);
  addAction(escape);
}

void TReader::ReadNews(const QString& path, const QString& caption) {
  readerFile_ = path;
  setWindowTitle(caption);
  if (isVisible()) Load();
  else ShowReader();
  raise();
  activateWindow();
}

void TReader::ShowReader() {
  showMaximized();
  Load();
  closeArmed_ = true;
}

void TReader::Load() {
  if (!readerFile_.isEmpty()) view_->load(QUrl::fromLocalFile(readerFile_));
}

void TReader::PlaceCloseButton() {
  bitBtnClose_->move(width() - closeRightGap_, closeTop_);
  bitBtnClose_->raise();
}

void TReader::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  PlaceCloseButton();
}

bool TReader::eventFilter(QObject* watched, QEvent* event) {
  if (watched != bitBtnClose_) return QWidget::eventFilter(watched, event);
  if (event->type() == QEvent::MouseButtonPress) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->buttons() == Qt::LeftButton) {
      pressGlobal_ = mouse->globalPosition().toPoint();
      closeArmed_ = true;
    }
  } else if (event->type() == QEvent::MouseMove) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->buttons() == Qt::LeftButton) {
      const QPoint global = mouse->globalPosition().toPoint();
      const QPoint d = global - pressGlobal_;
      const double distance = std::hypot(d.x(), d.y());
      if (distance > kCloseDragDistance) {
        // The button's centre follows the pointer, and stays where it is dropped.
        QPoint topLeft = mapFromGlobal(global) - QPoint(bitBtnClose_->width() / 2, bitBtnClose_->height() / 2);
        closeRightGap_ = width() - topLeft.x();
        closeTop_ = topLeft.y();
        PlaceCloseButton();
      }
      if (closeArmed_) closeArmed_ = distance < kCloseDragDistance;
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace skimlet
