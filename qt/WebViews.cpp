#include "qt/WebViews.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>

#include "qt/Desktop.h"

namespace skimlet {

namespace {

QString g_helpFolder;

bool InFolder(const QString& path, const QString& folder) {
  return !folder.isEmpty() && QDir::cleanPath(path).startsWith(folder);
}

QString FolderOf(const QUrl& page) {
  if (!page.isLocalFile()) return {};
  return QFileInfo(QDir::cleanPath(page.toLocalFile())).path() + '/';
}

bool SameDocument(const QUrl& a, const QUrl& b) {
  return a.adjusted(QUrl::RemoveFragment) == b.adjusted(QUrl::RemoveFragment);
}

// Sub-resources of a saved page: local files only from the page's own folder. Remote
// addresses are already refused by the profile's settings.
class LocalFileGuard : public QWebEngineUrlRequestInterceptor {
 public:
  using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
  void interceptRequest(QWebEngineUrlRequestInfo& info) override {
    if (info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeMainFrame) return;  // judged by the page
    if (info.requestUrl().isLocalFile() && !LocalFileAllowed(info.requestUrl(), info.firstPartyUrl()))
      info.block(true);
  }
};

}  // namespace

void SetHelpFolder(const QString& folder) {
  g_helpFolder = folder.isEmpty() ? QString() : QDir::cleanPath(folder) + '/';
}
const QString& HelpFolder() { return g_helpFolder; }

bool LocalFileAllowed(const QUrl& request, const QUrl& page) {
  if (!request.isLocalFile()) return false;
  const QString path = request.toLocalFile();
  return InFolder(path, FolderOf(page)) || InFolder(path, g_helpFolder);
}

NavigationVerdict JudgeNavigation(const QUrl& target, const QUrl& current, QWebEnginePage::NavigationType type,
                                  bool mainFrame) {
  using T = QWebEnginePage::NavigationType;
  // The program's own loads, and going back to what it loaded.
  if (type == T::NavigationTypeTyped || type == T::NavigationTypeReload || type == T::NavigationTypeBackForward)
    return NavigationVerdict::kAllow;
  if (!mainFrame) {
    if (target.isLocalFile()) return LocalFileAllowed(target, current) ? NavigationVerdict::kAllow : NavigationVerdict::kRefuse;
    return NavigationVerdict::kAllow;
  }
  if (type != T::NavigationTypeLinkClicked) return NavigationVerdict::kRefuse;  // refresh, forms, redirects
  if (SameDocument(target, current)) return NavigationVerdict::kAllow;          // an anchor in the page
  if (target.isLocalFile()) {
    // The help's pages link one another; nothing else local is reached from a page.
    const bool help = InFolder(target.toLocalFile(), g_helpFolder) && current.isLocalFile() &&
                      InFolder(current.toLocalFile(), g_helpFolder);
    return help ? NavigationVerdict::kAllow : NavigationVerdict::kRefuse;
  }
  const QString scheme = target.scheme().toLower();
  if (scheme == "http" || scheme == "https" || scheme == "mailto" || scheme == "ftp")
    return NavigationVerdict::kOpenOutside;
  return NavigationVerdict::kRefuse;
}

QWebEngineProfile* SavedPageProfile() {
  static QWebEngineProfile* profile = [] {
    auto* p = new QWebEngineProfile(QCoreApplication::instance());  // no storage name: off the record
    p->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    p->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    p->setUrlRequestInterceptor(new LocalFileGuard(p));
    QWebEngineSettings* s = p->settings();
    s->setDefaultTextEncoding("windows-1251");
    s->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    s->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
    // Pictures and style sheets lie beside the page; the guard keeps it to its folder.
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    s->setAttribute(QWebEngineSettings::NavigateOnDropEnabled, false);
    s->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
    return p;
  }();
  return profile;
}

SavedPage::SavedPage(QObject* parent) : QWebEnginePage(SavedPageProfile(), parent) {}

bool SavedPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) {
  switch (JudgeNavigation(url, this->url(), type, isMainFrame)) {
    case NavigationVerdict::kAllow:
      return true;
    case NavigationVerdict::kOpenOutside:
      AppDesktop().OpenUrl(url);
      return false;
    case NavigationVerdict::kRefuse:
      return false;
  }
  return false;
}

QWebEngineView* NewSavedPageView(QWidget* parent) {
  auto* view = new QWebEngineView(parent);
  view->setPage(new SavedPage(view));
  return view;
}

}  // namespace skimlet
