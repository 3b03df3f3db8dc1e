#include "shell/Companions.h"

#include <QAction>
#include <QApplication>
#include <QStyle>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QTimer>

#include "platform/Files.h"
#include "platform/Paths.h"
#include "qt/Desktop.h"
#include "qt/QtText.h"
#include "qt/SettingsStore.h"
#include "shell/About.h"
#include "shell/NewNewsUnit.h"
#include "shell/ReaderCode.h"
#include "shell/Tips.h"
#include "shell/TrayIcon.h"

namespace skimlet {

namespace {

// The menu-bar item "Получить новую версию" draws itself: a framed button face with the
// caption underlined, navy, blue under the pointer.
class NewVersionItem : public QWidget {
 public:
  explicit NewVersionItem(QAction* action) : action_(action) {
    setObjectName("NewVersionItem");
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover);
    setVisible(action->isVisible());
    connect(action, &QAction::changed, this, [this] { setVisible(action_->isVisible()); });
  }
  QSize sizeHint() const override { return fontMetrics().size(0, action_->text()) + QSize(12, 6); }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), palette().button());
    p.setPen(palette().dark().color());
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    QFont f = font();
    f.setUnderline(true);
    p.setFont(f);
    p.setPen(underMouse() ? QColor(Qt::blue) : QColor(0, 0, 128));
    p.drawText(rect().adjusted(1, 1, 0, 0), Qt::AlignCenter, action_->text());
  }
  void mouseReleaseEvent(QMouseEvent*) override { action_->trigger(); }
  void enterEvent(QEnterEvent*) override { update(); }
  void leaveEvent(QEvent*) override { update(); }

 private:
  QAction* action_;
};

}  // namespace

Companions::Companions(CompanionsContext context) : QObject(context.window), c_(std::move(context)) {
  // Made in this order at start-up, none of them shown.
  reader_ = std::make_unique<TReader>();
  about_ = std::make_unique<TAboutForm>(c_.ownBuild, c_.window);
  ticker_ = std::make_unique<TNewNewsForm>(*c_.tree, *c_.store, [this](const std::string& path) { OpenNews(path); });
  CreateActions();
  CreateMenus();
  tray_ = new TrayIcon(popupMenuTray_, this);
  if (!c_.trayAvailable) c_.trayAvailable = [this] { return tray_->Usable(); };
  notifier_ = [this](const QString& title, const QString& text) { tray_->ShowMessage(title, text); };
  connect(tray_, &TrayIcon::restoreWanted, this, &Companions::RestoreFromTray);
  connect(tray_, &TrayIcon::messageClicked, this, [this] {
    if (!noticePath_.empty()) OpenNews(noticePath_);
  });
  connect(ticker_.get(), &TNewNewsForm::countChanged, tray_, &TrayIcon::SetUnreadCount);
}

Companions::~Companions() = default;

void Companions::SetNotifier(std::function<void(const QString&, const QString&)> notifier) {
  notifier_ = std::move(notifier);
}

TTipsForm* Companions::Tips() {
  if (!tips_) tips_ = std::make_unique<TTipsForm>(*c_.store);
  return tips_.get();
}

void Companions::CreateActions() {
  QMainWindow* w = c_.window;
  auto add = [this, w](const char* name, const char* caption, const char* hint, const char* category) {
    QAction* a = c_.newAction(name, QString::fromUtf8(caption), QString::fromUtf8(hint), QString::fromUtf8(category));
    w->addAction(a);  // its shortcut works anywhere in the window
    return a;
  };
  QAction* a = add("ViewNewNews", "Лента новых статей",
                   "Показать все непрочитанное|Показывает все непрочитанные новости на всех каналах в виде ленты",
                   "Просмотр");
  a->setShortcut(Qt::Key_F4);
  a->setCheckable(true);
  a->setChecked(c_.store->Number("Setting/ViewNewNews.Checked").value_or(1) != 0);

  a = add("Help", "Помощь", "Помощь", "Помощь");
  a->setShortcut(Qt::Key_F1);
  a->setIcon(QIcon::fromTheme("help-contents", QApplication::style()->standardIcon(QStyle::SP_MessageBoxQuestion)));
  connect(a, &QAction::triggered, this, &Companions::HelpExecute);
  a = add("FAQ", "FAQ", "FAQ", "Помощь");
  connect(a, &QAction::triggered, this, [this] { Tips()->ShowAtRandom(); });
  const QString site = QString::fromUtf8("Вэб-сайт ") + QString::fromLatin1(kMakerSiteName);
  a = c_.newAction("GotoOrvane", site, site, QString::fromUtf8("Помощь"));
  w->addAction(a);
  connect(a, &QAction::triggered, this, [] { AppDesktop().OpenUrl(QUrl(QString::fromLatin1(kMakerSite))); });
  a = add("SendMailSupport", "Написать в службу поддержки", "Написать в службу поддержки", "Помощь");
  connect(a, &QAction::triggered, this, [this] {
    SendMail(kSupportMail,
             "?subject=Skimlet%20В%20службу%20поддержки&body="
             "Здравствуйте,%20разработчики%20программы%20Skimlet%0d%0aМеня%20интересует%20следующее:%0d%0a"
             "[Описание%20вопроса]%20%0d%0a%0d%0a");
  });
  a = add("SendMailBugs", "Сообщить об ошибке", "Сообщить об ошибке", "Помощь");
  connect(a, &QAction::triggered, this, [this] {
    SendMail(kBugsMail,
             "?subject=Skimlet%20Сообщение%20об%20ошибке&body="
             "Здравствуйте,%20разработчики%20программы%20Skimlet%0d%0aОбнаружена%20следующая%20ошибка%20в%20"
             "программе:%0d%0a[Описание%20ошибки]%20%0d%0a%0d%0aДля%20воспроизведения%20ошибки%20нужно%20"
             "проделать%20следующее:%0d%0a[Список%20действий%20с%20момента%20запуска%20программы]%20%0d%0a%0d%0a");
  });
  a = add("SeeAbout", "О программе", "О программе", "Помощь");
  connect(a, &QAction::triggered, this, [this] { about_->ShowOver(c_.window); });
  a = add("NewVersion", "Получить новую версию", "Получить новую версию", "Помощь");
  a->setVisible(false);
  connect(a, &QAction::triggered, this, [] { AppDesktop().OpenUrl(QUrl(QString::fromLatin1(kMakerSite))); });

  EncodingHooks hooks = c_.encoding;
  hooks.newAction = [this, w](const char* name, const QString& caption, const QString& hint, const QString& category) {
    QAction* action = c_.newAction(name, caption, hint, category);
    w->addAction(action);
    return action;
  };
  if (!hooks.hideReader) hooks.hideReader = [this] { reader_->hide(); };
  encoding_ = new EncodingActions(c_.window, std::move(hooks));
}

void Companions::CreateMenus() {
  QMenuBar* bar = c_.window->menuBar();
  auto menu = [&](const char* objectName, const char* title) {
    QMenu* m = bar->findChild<QMenu*>(objectName);
    if (!m) {
      m = bar->addMenu(QString::fromUtf8(title));
      m->setObjectName(objectName);
    }
    return m;
  };
  QMenu* edit = menu("MenuEdit", "Правка");
  edit->addSeparator();
  encoding_->AddToEditMenu(edit);
  QMenu* view = menu("MenuView", "Просмотр");
  view->addSeparator();
  view->addAction(c_.action("ViewNewNews"));

  QMenu* help = bar->addMenu(QString::fromUtf8("Помошь"));
  help->setObjectName("MenuHelp");
  help->addAction(c_.action("Help"));
  help->addAction(c_.action("FAQ"));
  help->addSeparator();
  help->addAction(c_.action("GotoOrvane"));
  help->addSeparator();
  help->addAction(c_.action("SendMailSupport"));
  help->addAction(c_.action("SendMailBugs"));
  help->addSeparator();
  help->addAction(c_.action("SeeAbout"));
  // The last item of the menu bar, shown only while a newer build is known.
  bar->setCornerWidget(new NewVersionItem(c_.action("NewVersion")), Qt::TopRightCorner);

  popupMenuTray_ = new QMenu(c_.window);
  popupMenuTray_->setObjectName("PopupMenuTray");
  for (const char* name : {"Download", "DownloadOneStep", "DownloadPause", "DownLoadStop", "DowlnloadAbortAll"})
    popupMenuTray_->addAction(c_.action(name));
  popupMenuTray_->addSeparator();
  popupMenuTray_->addAction(c_.action("FlagDownloadPictures"));
  popupMenuTray_->addSeparator();
  popupMenuTray_->addAction(c_.action("MyExit"));
}

void Companions::HelpExecute() {
  const std::string page = ResourceDir(c_.dataDir) + "Help/02Interface.htm";
  if (FileExists(page) && c_.showHelpPage) c_.showHelpPage(QPath(page));
}

void Companions::SendMail(const char* address, const char* subjectAndBody) {
  AppDesktop().OpenUrl(QUrl(QString::fromLatin1("mailto:") + QString::fromLatin1(address) + QString::fromUtf8(subjectAndBody),
                  QUrl::TolerantMode));
}

bool Companions::AnyUnread() const {
  for (const NodePtr& node : c_.tree->InTreeOrder())
    if (c_.tree->IsBold(node)) return true;
  return false;
}

void Companions::Tick(bool downloading) {
  tray_->SetAnimated(downloading);
  ticker_->Follow(AnyUnread(), c_.action("ViewNewNews")->isChecked());
  c_.action("NewVersion")->setVisible(c_.ownBuild < c_.buildInSite());
  NotifyFinishedRuns();
}

void Companions::WindowStateChanged() {
  QMainWindow* w = c_.window;
  if (!w->isMinimized() || hiddenInTray_ || !c_.trayAvailable()) return;
  // Hidden once the minimise has been carried out; the taskbar button goes with the window.
  QTimer::singleShot(0, this, [this, w] {
    if (!w->isMinimized()) return;
    hiddenInTray_ = true;
    w->hide();
  });
}

void Companions::RestoreFromTray() {
  QMainWindow* w = c_.window;
  hiddenInTray_ = false;
  pending_.clear();  // the user sees for himself now
  w->setWindowState(w->windowState() & ~Qt::WindowMinimized);
  w->show();
  w->raise();
  w->activateWindow();
  if (reader_->isVisible()) reader_->raise();
}

void Companions::NewsSaved(const SavedNews& news) {
  ticker_->TickerAdd(news.folder, news.newsName, news.path);
  if (!hiddenInTray_ || !c_.notifyWanted || !c_.notifyWanted()) return;
  for (Pending& p : pending_)
    if (p.channel == news.channel) return void(++p.count);
  pending_.push_back({news.channel, 1, news.path});
}

void Companions::NotifyFinishedRuns() {
  for (auto it = pending_.begin(); it != pending_.end();) {
    if (c_.channelRunning && c_.channelRunning(it->channel)) {
      ++it;
      continue;
    }
    noticePath_ = it->firstPath;
    notifier_(QString::fromUtf8("Skimlet: новые статьи"),
              QString::fromUtf8("%1: новых статей — %2").arg(Q(c_.tree->Caption(it->channel))).arg(it->count));
    it = pending_.erase(it);
  }
}

void Companions::OpenNews(const std::string& path) {
  if (c_.openNews) c_.openNews(path);
  // From the tray the news opens in the desktop's browser as well.
  if (hiddenInTray_ && FileExists(path)) AppDesktop().OpenUrl(QUrl::fromLocalFile(QPath(path)));
}

void Companions::ReadFullScreen(const QString& path, const QString& caption) { reader_->ReadNews(path, caption); }

}  // namespace skimlet
