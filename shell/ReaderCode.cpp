#include "shell/ReaderCode.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QMouseEvent>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineView>
#include <cmath>

#include "qt/WebViews.h"

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
  escape->setShortcuts({QKeySequence(Qt::Key_Escape), QKeySequence(Qt::Key_F11)});  // F11 again toggles
  escape->setShortcutContext(Qt::WindowShortcut);
  connect(escape, &QAction::triggered, this, &QWidget::hide);
  addAction(escape);
}

QWebEngineView* TReader::View() {
  if (view_) return view_;
  // Made when first wanted: a web view holds a renderer process even while hidden.
  view_ = NewSavedPageView(this);
  view_->setObjectName("View");
  layout()->addWidget(view_);
  // The page keeps the keyboard after every load, so the arrows and Page Down scroll it.
  connect(view_, &QWebEngineView::loadFinished, this, [this] {
    view_->setFocus();
    if (QWidget* page = view_->focusProxy()) page->setFocus();
  });
  bitBtnClose_->raise();
  return view_;
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
  // Placed on the work area before it is shown: a window manager that has not yet taken the
  // new window ignores the maximised state, and the window would stay at its first size.
  QWidget* from = QApplication::activeWindow();
  QScreen* screen = from ? from->screen() : QGuiApplication::primaryScreen();
  if (screen) setGeometry(screen->availableGeometry());
  showMaximized();
  Load();
  closeArmed_ = true;
}

void TReader::Load() {
  if (!readerFile_.isEmpty()) View()->load(QUrl::fromLocalFile(readerFile_));
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
