// The program's icon in the desktop's tray: its menu offers the download actions, it turns
// while downloads are under way, its tooltip counts the unread news, and it carries the
// notices of news saved while the window is hidden.
#pragma once

#include <QIcon>
#include <QList>
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>

class QMenu;
class QTimer;

namespace skimlet {

inline constexpr int kTrayFrameMs = 100;

class TrayIcon : public QObject {
  Q_OBJECT

 public:
  explicit TrayIcon(QMenu* popupMenuTray, QObject* parent = nullptr);

  // Hiding into the tray makes sense only where a tray shows the icon.
  bool Usable() const;
  void SetAnimated(bool on);
  bool Animated() const;
  int Frame() const { return frame_; }
  const QList<QIcon>& TrayImages() const { return frames_; }
  void SetUnreadCount(int count);
  QSystemTrayIcon* Icon() const { return icon_; }
  void ShowMessage(const QString& title, const QString& text);

 signals:
  void restoreWanted();   // double click
  void messageClicked();  // the last notice was clicked

 private:
  void ShowFrame(int frame);

  QSystemTrayIcon* icon_ = nullptr;
  QTimer* animation_ = nullptr;
  QList<QIcon> frames_;
  int frame_ = 0;
};

// The animation frames: the program's icon with a light running round its edge.
QList<QIcon> DrawTrayFrames(int count = 8);

}  // namespace skimlet
