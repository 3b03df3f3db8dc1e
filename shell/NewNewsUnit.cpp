#include "shell/NewNewsUnit.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QSlider>
#include <QThread>
#include <QTimer>

#include "qt/QtText.h"
#include "qt/SettingsStore.h"

namespace skimlet {

namespace {
const char* const kSpeedKey = "View/NewnewsForm.Speed.Value";
constexpr int kHintTicks = 15;  // 750 ms of the dragging hint after a press
constexpr int kBand = 50;       // lines and texts are laid out in a band this high
}  // namespace

TNewNewsForm::TNewNewsForm(const ChannelTree& tree, SettingsStore& store,
                           std::function<void(const std::string&)> openNews)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      tree_(tree), store_(store), openNews_(std::move(openNews)) {
  // A window of its own, so it stays up while the main window is hidden in the tray; it
  // never keeps the program alive and never takes the focus from the window being read.
  setObjectName("NewNewsForm");
  setWindowTitle(QString::fromUtf8("Есть новости"));
  setAttribute(Qt::WA_QuitOnClose, false);
  setAttribute(Qt::WA_ShowWithoutActivating);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumWidth(kTickerMinWidth);
  setFixedHeight(kTickerHeight);
  QFont small = QApplication::font();
  small.setPointSize(8);
  setFont(small);

  speed_ = new QSlider(Qt::Horizontal, this);
  speed_->setObjectName("Speed");
  speed_->setRange(0, 2);
  speed_->setSingleStep(1);
  speed_->setPageStep(1);
  speed_->setValue(1);
  speed_->setFixedSize(48, kTickerHeight - 8);
  speed_->setToolTip(QString::fromUtf8("Скорость ленты"));
  speed_->setStyleSheet("QSlider { background: navy; }");
  connect(speed_, &QSlider::valueChanged, this, [this](int value) {
    store_.Write(kSpeedKey, std::to_string(value));
    UpdateTimer();
  });

  timer1_ = new QTimer(this);
  timer1_->setObjectName("Timer1");
  timer1_->setInterval(kTickerTickMs);
  connect(timer1_, &QTimer::timeout, this, &TNewNewsForm::Tick);

  RestorePlacement();
  offset_ = std::min(width(), kTickerCellWidth);
  QCoreApplication::instance()->installEventFilter(this);
}

TNewNewsForm::~TNewNewsForm() {
  QCoreApplication::instance()->removeEventFilter(this);
  SavePlacement();
}

void TNewNewsForm::RestorePlacement() {
  auto left = store_.Number("NewNewsForm/.Left"), top = store_.Number("NewNewsForm/.Top");
  auto right = store_.Number("NewNewsForm/.Right");
  if (left && top && right && *right > *left) {
    setGeometry(static_cast<int>(*left), static_cast<int>(*top), static_cast<int>(*right - *left), kTickerHeight);
  } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
    // First start: along the bottom of the desktop, clear of a panel.
    QRect area = screen->availableGeometry();
    int w = std::min(640, area.width());
    setGeometry(area.left() + (area.width() - w) / 2, area.bottom() - kTickerHeight - 40, w, kTickerHeight);
  }
  placement_ = geometry();
  KeepOnScreen();
}

void TNewNewsForm::MoveTo(const QPoint& topLeft) {
  placement_.moveTopLeft(topLeft);
  move(topLeft);
}

// The placement is the one the program gave the ticker, not what the platform reports: after
// the window manager has hidden and shown a frameless window again, X11 can report its
// position inside the frame (0, 0), and the next start put the ticker over the menu bar.
void TNewNewsForm::SavePlacement() {
  const QRect g = placement_;
  store_.Write("NewNewsForm/.Left", std::to_string(g.left()));
  store_.Write("NewNewsForm/.Top", std::to_string(g.top()));
  store_.Write("NewNewsForm/.Right", std::to_string(g.left() + g.width()));
  store_.Write("NewNewsForm/.Bottom", std::to_string(g.top() + g.height()));
  store_.Write("NewNewsForm/.WindowState", "0");
}

void TNewNewsForm::KeepOnScreen() {
  QScreen* screen = QGuiApplication::screenAt(placement_.center());
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->geometry();
  QRect g = placement_;
  if (g.right() > area.right()) g.moveRight(area.right());
  if (g.bottom() > area.bottom()) g.moveBottom(area.bottom());
  if (g.left() < area.left()) g.moveLeft(area.left());
  if (g.top() < area.top()) g.moveTop(area.top());
  if (g != placement_ || g.topLeft() != pos()) MoveTo(g.topLeft());
}

void TNewNewsForm::CountChanged() { emit countChanged(static_cast<int>(items_.Count())); }

void TNewNewsForm::TickerAdd(const NodePtr& node, const std::string& name, const std::string& path) {
  Q_ASSERT(QThread::currentThread() == thread());
  if (!items_.Add(node, name, path)) return;
  CountChanged();
  if (isVisible()) update();
}

void TNewNewsForm::TickerSyncFolder(const NodePtr& node, const std::string& folder,
                                    const std::vector<std::string>& unreadFiles) {
  Q_ASSERT(QThread::currentThread() == thread());
  if (!items_.SyncFolder(node, folder, unreadFiles)) return;
  CountChanged();
  if (isVisible()) update();
}

void TNewNewsForm::TickerRemove(const std::string& path) {
  Q_ASSERT(QThread::currentThread() == thread());
  if (!items_.Remove(path)) return;
  CountChanged();
  if (items_.Empty()) HideTicker();
  else if (isVisible()) update();
}

void TNewNewsForm::TickerRename(const std::string& oldPath, const std::string& newPath, const std::string& newName) {
  Q_ASSERT(QThread::currentThread() == thread());
  std::size_t before = items_.Count();
  if (!items_.Rename(oldPath, newPath, newName)) return;
  if (items_.Count() != before) CountChanged();
  if (isVisible()) update();
}

void TNewNewsForm::TickerRebuild() {
  Q_ASSERT(QThread::currentThread() == thread());
  items_.Clear();
  for (TickerEntry& entry : CollectUnreadNews(tree_)) items_.Add(entry.node, entry.name, entry.path);
  CountChanged();
  if (isVisible()) update();
}

void TNewNewsForm::Follow(bool anyUnread, bool wanted) {
  const bool shown = anyUnread && wanted && !OtherWindowOpen();
  if (shown && isHidden()) ShowTicker();
  if (!shown && isVisible()) HideTicker();
}

// Dialogs, message boxes, the assistant, the reader, the search window, the splash: not the
// main window (the ticker is meant to run over it), menus, tool tips or the tray's icon
// embedded in a panel.
bool TNewNewsForm::MakesWayFor(const QWidget* w) {
  if (!w->isWindow() || qobject_cast<const QMainWindow*>(w) || qobject_cast<const TNewNewsForm*>(w)) return false;
  if (w->windowFlags() & Qt::BypassWindowManagerHint) return false;
  const Qt::WindowType type = w->windowType();
  return type == Qt::Window || type == Qt::Dialog || type == Qt::Sheet || type == Qt::SplashScreen;
}

bool TNewNewsForm::OtherWindowOpen() const {
  const QWidgetList windows = QApplication::topLevelWidgets();
  return std::any_of(windows.begin(), windows.end(),
                     [](const QWidget* w) { return w->isVisible() && !w->isMinimized() && MakesWayFor(w); });
}

bool TNewNewsForm::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if ((type != QEvent::Show && type != QEvent::WindowStateChange) || !isVisible() || !watched->isWidgetType())
    return false;
  const auto* w = static_cast<QWidget*>(watched);
  if (w->isVisible() && !w->isMinimized() && MakesWayFor(w)) HideTicker();  // shown, or back from the taskbar
  return false;
}

void TNewNewsForm::ShowTicker() {
  if (std::optional<long long> speed = store_.Number(kSpeedKey)) {
    const QSignalBlocker quiet(speed_);
    speed_->setValue(static_cast<int>(*speed));
  }
  KeepOnScreen();
  TickerRebuild();
  offset_ = std::min(width(), kTickerCellWidth);
  show();
  UpdateTimer();
}

void TNewNewsForm::HideTicker() {
  if (QWidget::mouseGrabber() == this) releaseMouse();
  hide();
  UpdateTimer();
}

bool TNewNewsForm::Ticking() const { return timer1_->isActive(); }

// An idle ticker costs nothing: the timer runs only while the ribbon moves or the hint shows.
void TNewNewsForm::UpdateTimer() {
  bool needed = isVisible() && (ribbon::Step(speed_->value()) > 0 || hintTicks_ > 0);
  if (needed && !timer1_->isActive()) timer1_->start();
  if (!needed && timer1_->isActive()) timer1_->stop();
}

void TNewNewsForm::Tick() {
  if (!isVisible()) return UpdateTimer();
  offset_ = ribbon::Advance(offset_, ribbon::Step(speed_->value()), width(), items_.Count());
  if (hintTicks_ > 0 && --hintTicks_ == 0) UpdateTimer();
  update();
}

void TNewNewsForm::PaintRibbon(QPainter& p) {
  const int w = width(), cell = kTickerCellWidth;
  const std::size_t count = items_.Count();
  const long long x0 = ribbon::CellLeft(offset_, w, 0);
  const long long end = x0 + static_cast<long long>(cell) * static_cast<long long>(count);
  const QString total = QString::fromUtf8("Новых: ") + QString::number(count);
  p.fillRect(rect(), Qt::black);
  p.setPen(Qt::white);
  // The count runs in front of the first entry and after the last.
  for (long long left : {x0 - w, end}) {
    if (left + w <= 0 || left >= w) continue;
    p.drawText(QPoint(static_cast<int>(left + w / 2 - 20), 8 + p.fontMetrics().ascent()), total);
  }
  const ribbon::Range visible = ribbon::Visible(offset_, w, count);
  const int lineHeight = 12;
  for (std::size_t i = visible.first; i < visible.last; ++i) {
    const TickerEntry& entry = items_.At(i);
    const int x = static_cast<int>(x0 + static_cast<long long>(cell) * static_cast<long long>(i));
    std::string title = tree_.Caption(entry.node);
    if (NodePtr parent = entry.node ? tree_.Parent(entry.node) : nullptr) title = tree_.Caption(parent) + "\\" + title;
    p.setPen(Qt::white);
    p.drawText(QRect(x + 3, 0, cell - 1, lineHeight), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, Q(title));
    p.setPen(Qt::yellow);
    // One line, cut at the cell's edge: a wrapped second line would fall below the window.
    p.drawText(QRect(x + 3, lineHeight, cell - 1, kBand - lineHeight), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
               Q(entry.name));
    p.setPen(QColor(192, 192, 192));
    p.drawLine(x, 0, x, kBand);
    p.drawLine(x + cell, 0, x + cell, kBand);
  }
  // The slider keeps a navy strip of its own at the right edge.
  const int strip = speed_->width() + 4;
  p.fillRect(QRect(w - strip, 0, strip, height()), QColor(0, 0, 128));
  if (hintTicks_ > 0) {
    p.setPen(QColor(192, 192, 192));
    p.fillRect(0, 0, 110, 2 * lineHeight, Qt::black);
    p.drawText(QRect(0, 0, 110, lineHeight), Qt::AlignLeft | Qt::AlignTop, QString::fromUtf8("  Shift+мышь"));
    p.drawText(QRect(0, lineHeight, 110, lineHeight), Qt::AlignLeft | Qt::AlignTop, QString::fromUtf8("  перенос окна"));
  }
}

void TNewNewsForm::paintEvent(QPaintEvent*) {
  QPainter p(this);
  PaintRibbon(p);
}

void TNewNewsForm::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  speed_->move(width() - speed_->width() - 2, (height() - speed_->height()) / 2);
}

void TNewNewsForm::mousePressEvent(QMouseEvent* event) {
  pressPos_ = event->position().toPoint();
  pressGlobal_ = event->globalPosition().toPoint();
  pressOffset_ = offset_;
  if (event->button() == Qt::LeftButton && !(event->modifiers() & Qt::ShiftModifier)) {
    hintTicks_ = kHintTicks;
    UpdateTimer();
  }
}

void TNewNewsForm::mouseMoveEvent(QMouseEvent* event) {
  const QPoint global = event->globalPosition().toPoint();
  // Just after a press small jitters are no drag.
  if (hintTicks_ > kHintTicks - 5 && std::abs(global.x() - pressGlobal_.x()) < 5) return;
  const Qt::MouseButtons buttons = event->buttons();
  const bool shift = event->modifiers() & Qt::ShiftModifier;
  if (((buttons & Qt::LeftButton) && shift) || (buttons & Qt::RightButton)) {
    MoveTo(global - pressPos_);
  } else if (buttons & Qt::LeftButton) {
    offset_ = ribbon::Dragged(pressOffset_, pressGlobal_.x() - global.x(), width(), items_.Count());
    repaint();
  }
}

void TNewNewsForm::mouseDoubleClickEvent(QMouseEvent* event) {
  long long i = ribbon::EntryAt(event->position().toPoint().x(), offset_, width(), items_.Count());
  if (i < 0 || !openNews_) return;
  const std::string path = items_.At(static_cast<std::size_t>(i)).path;  // the list may change meanwhile
  openNews_(path);
}

}  // namespace skimlet
