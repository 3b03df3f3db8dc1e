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

 signals:
  void urlLabelClicked();
  void nameLabelClicked();
  void folderLabelClicked();

 private:
  QLabel* AddLabel(const char* name, const char* caption, QBoxLayout* row, int stretch);

  QWebEngineView* view_;
  QWidget* panel_;
  QToolButton* readButton_;
  QToolButton* picturesButton_;
};

}  // namespace skimlet
