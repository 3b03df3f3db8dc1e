// The viewer page's content: the information panel "PanelInfoNews" above the page view
// "View". The panel's texts come from the news file's header; the page is shown from disk
// with its local pictures and style sheets, and with scripts off.
#pragma once

#include <QWidget>
#include <functional>
#include <string>

class QAction;
class QBoxLayout;
class QLabel;
class QLineEdit;
class QToolButton;
class QWebEngineView;

namespace skimlet {

class NewsViewer : public QWidget {
  Q_OBJECT

 public:
  explicit NewsViewer(QWidget* parent = nullptr);

  QWebEngineView* View() const { return view_; }

  // The panel's buttons (ReadFullScreen, and BitBtnDownloadPictures for DownloadPictures).
  void SetButtonActions(QAction* readFullScreen, QAction* downloadPictures);

  // Clears the nine labels and, unless `clearOnly`, fills them from the news file at `path`
  // and the folder's text (Windows-1251). True when any label changed.
  bool ShowNewsInfo(const std::string& path, const std::string& folderText, bool clearOnly);
  QString LabelText(const char* name) const;

  void Navigate(const std::string& path);
  // Shows the file again, keeping the place in the page when it is the one shown.
  void Refresh(const std::string& path);
  void ShowNothing();  // an empty page and panel
  bool ShowsDocument() const;
  // Whether the page is scrolled to its end (or shows nothing that scrolls).
  bool AtEnd() const;
  // Scrolls the page one screen on.
  void ScrollPage();
  // Find in the page: the field opens (Ctrl+Shift+F), the next match (F3, Enter).
  void OpenFind();
  void FindNext();
  QLineEdit* FindBox() const { return findBox_; }

 signals:
  void urlLabelClicked();
  void nameLabelClicked();
  void folderLabelClicked();
  // Space was pressed in the page while it shows its end.
  void spaceAtEnd();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QLabel* AddLabel(const char* name, const char* caption, QBoxLayout* row, int stretch);

  QWebEngineView* view_;
  QWidget* panel_;
  QLineEdit* findBox_;
  QToolButton* readButton_;
  QToolButton* picturesButton_;
};

}  // namespace skimlet
