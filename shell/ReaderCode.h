// The reader (TReader): one saved news on the whole screen, without a title bar, with a
// single close button that can be dragged out of the way. Created once, shown and hidden.
#pragma once

#include <QPoint>
#include <QString>
#include <QWidget>

class QPushButton;
class QWebEngineView;

namespace skimlet {

inline constexpr int kCloseDragDistance = 15;

class TReader : public QWidget {
  Q_OBJECT

 public:
  explicit TReader(QWidget* parent = nullptr);

  // ReadFullScreen: the news `path` under `caption`; loaded into the reader on screen, or
  // the reader is shown with it; then brought to the front.
  void ReadNews(const QString& path, const QString& caption);
  const QString& ReaderFile() const { return readerFile_; }
  bool CloseArmed() const { return closeArmed_; }
  QWebEngineView* View();  // made on first use
  QPushButton* CloseButton() const { return bitBtnClose_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void ShowReader();
  void Load();
  void PlaceCloseButton();

  QString readerFile_;
  QWebEngineView* view_ = nullptr;
  QPushButton* bitBtnClose_ = nullptr;
  bool closeArmed_ = false;
  QPoint pressGlobal_;
  int closeRightGap_ = 0;  // the button keeps its distance from the right edge
  int closeTop_ = 0;
};

}  // namespace skimlet
