// The ticker ("Есть новости"): a thin always-on-top bar that scrolls the unread news of all
// channels from right to left. A double click opens the news under the pointer; a drag
// scrolls the ribbon, Shift+drag or a right drag moves the window. It stays on top of other
// programs but never covers this one's other windows: it makes way while a dialog, the
// assistant, the reader or the search window is open. Window thread only: runs hand their
// additions over through the run host.
#pragma once

#include <QPoint>
#include <QRect>
#include <QWidget>
#include <functional>
#include <string>

#include "library/TickerItems.h"

class QPainter;
class QSlider;
class QTimer;

namespace skimlet {

class SettingsStore;

inline constexpr int kTickerHeight = 32;
inline constexpr int kTickerMinWidth = 120;
inline constexpr int kTickerTickMs = 50;

class TNewNewsForm : public QWidget {
  Q_OBJECT

 public:
  // `openNews` opens a news by its file path (the main window's OpenNewsByPath).
  TNewNewsForm(const ChannelTree& tree, SettingsStore& store, std::function<void(const std::string&)> openNews);
  ~TNewNewsForm() override;  // stores the placement

  void TickerAdd(const NodePtr& node, const std::string& name, const std::string& path);
  // Hides the ticker when the list is then empty.
  void TickerRemove(const std::string& path);
  void TickerRename(const std::string& oldPath, const std::string& newPath, const std::string& newName);
  void TickerRebuild();
  // A folder was counted: its entries become its unread news as they are now.
  void TickerSyncFolder(const NodePtr& node, const std::string& folder, const std::vector<std::string>& unreadFiles);
  const TickerItems& Items() const { return items_; }

  // The 250 ms rule: shown while something is unread, the user wants it and no other window
  // of the program is open (it comes back at the first tick after the last one closes).
  void Follow(bool anyUnread, bool wanted);
  // A window of the program, other than the main window, that the ticker must not cover.
  static bool MakesWayFor(const QWidget* window);
  void ShowTicker();
  void HideTicker();

  // One step of the 50 ms timer, and one frame of the ribbon.
  void Tick();
  void PaintRibbon(QPainter& painter);
  int Offset() const { return offset_; }
  void SetOffset(int offset) { offset_ = offset; }
  bool Ticking() const;
  QSlider* Speed() const { return speed_; }
  void SavePlacement();

 signals:
  void countChanged(int count);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  // Hides the ticker when such a window is about to show (before it is on the screen) or
  // comes back from being minimised.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void RestorePlacement();
  void KeepOnScreen();
  void MoveTo(const QPoint& topLeft);
  void UpdateTimer();
  void CountChanged();
  bool OtherWindowOpen() const;

  const ChannelTree& tree_;
  SettingsStore& store_;
  QRect placement_;  // where the program put the ticker: stored at the end
  std::function<void(const std::string&)> openNews_;
  TickerItems items_;
  QSlider* speed_ = nullptr;
  QTimer* timer1_ = nullptr;
  int offset_ = 0;
  QPoint pressPos_, pressGlobal_;
  int pressOffset_ = 0;
  int hintTicks_ = 0;
};

}  // namespace skimlet
