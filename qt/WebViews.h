// Every web view that shows a saved page or the program's help. A saved page is the site's
// text, so it is shown as a document and nothing more: no scripts, no plugins, no way out of
// its folder, and a click on a link goes to the user's browser instead of loading the site
// over the news.
#pragma once

#include <QString>
#include <QUrl>
#include <QWebEnginePage>

class QWebEngineProfile;
class QWebEngineView;
class QWidget;

namespace skimlet {

// The folder of the program's help pages (with its trailing "/"): its pages may link each
// other inside the view. Set once at start-up.
void SetHelpFolder(const QString& folder);
const QString& HelpFolder();

enum class NavigationVerdict { kAllow, kOpenOutside, kRefuse };

// What a view does with a navigation to `target` while it shows `current`.
NavigationVerdict JudgeNavigation(const QUrl& target, const QUrl& current, QWebEnginePage::NavigationType type,
                                  bool mainFrame);
// Whether a page at `page` may load the local file `request` (a picture, a style sheet, a
// frame): only from its own folder and below, or from the help folder.
bool LocalFileAllowed(const QUrl& request, const QUrl& page);

// The one profile of these views, made on first use: off the record, scripts and plugins off.
QWebEngineProfile* SavedPageProfile();

// A view on that profile with a page that keeps to the rules above.
QWebEngineView* NewSavedPageView(QWidget* parent = nullptr);

class SavedPage : public QWebEnginePage {
  Q_OBJECT
 public:
  explicit SavedPage(QObject* parent = nullptr);

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
};

}  // namespace skimlet
