#include "library/ui/NewsViewer.h"

#include <QBoxLayout>
#include <QEvent>
#include <QKeyEvent>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QToolButton>
#include <QWebEngineView>

#include "library/NewsListing.h"
#include "qt/QtText.h"
#include "qt/WebViews.h"

namespace skimlet {

namespace {

const char* const kLabels[] = {"LabelURL",  "LabelTo",       "LabelName",      "LabelDate",     "LabelTime",
                               "LabelSize", "LabelAttCount", "LabelAttOffline", "LabelAttOnline"};

// A panel label that acts as a link: navy, underlined and blue under the mouse, with its hint
// ("short|long": tooltip and status-bar text).
class LinkLabel : public QLabel {
 public:
  LinkLabel(QString hint, bool hintEndsWithText, std::function<void()> clicked)
      : hint_(std::move(hint)), hintEndsWithText_(hintEndsWithText), clicked_(std::move(clicked)) {
    setCursor(Qt::PointingHandCursor);
    Look(false);
  }

 protected:
  bool event(QEvent* event) override {
    // The hint is in place before the widget hands it to the status bar on entering.
    if (event->type() == QEvent::Enter) {
      Look(true);
      QString hint = hint_ + (hintEndsWithText_ ? text() : QString());
      int bar = hint.indexOf('|');
      setToolTip(PlainTip(hint.left(bar)));
      setStatusTip(hint.mid(bar + 1));
    }
    return QLabel::event(event);
  }
  void leaveEvent(QEvent* event) override {
    Look(false);
    QLabel::leaveEvent(event);
  }
  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton) clicked_();
    QLabel::mousePressEvent(event);
  }

 private:
  void Look(bool hot) {
    QFont f = font();
    f.setUnderline(hot);
    setFont(f);
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, hot ? QColor(0, 0, 255) : QColor(0, 0, 128));
    setPalette(pal);
  }

  QString hint_;
  bool hintEndsWithText_;
  std::function<void()> clicked_;
};

}  // namespace

NewsViewer::NewsViewer(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  panel_ = new QWidget;
  panel_->setObjectName("PanelInfoNews");
  auto* rows = new QVBoxLayout(panel_);
  rows->setContentsMargins(4, 2, 2, 2);
  rows->setSpacing(1);
  auto* top = new QHBoxLayout;
  auto* bottom = new QHBoxLayout;
  for (QBoxLayout* row : {top, bottom}) {
    row->setSpacing(4);
    rows->addLayout(row);
  }
  struct Field {
    const char* name;
    const char* caption;
    int stretch;
  };
  // Each row of labels ends in its flat button.
  auto fill = [this](QBoxLayout* row, std::initializer_list<Field> fields, const char* button) {
    for (const Field& f : fields) AddLabel(f.name, f.caption, row, f.stretch);
    auto* b = new QToolButton;
    b->setObjectName(button);
    b->setAutoRaise(true);
    row->addWidget(b);
    return b;
  };
  readButton_ = fill(top,
                     {{"LabelName", "Имя:", 3}, {"LabelDate", "Дата:", 0}, {"LabelTime", "Время:", 0},
                      {"LabelSize", "Размер:", 0}},
                     "BitBtnReadFullScreen");
  picturesButton_ = fill(bottom,
                         {{"LabelURL", "URL:", 2}, {"LabelTo", "Путь:", 2}, {"LabelAttCount", "Вложения:", 0},
                          {"LabelAttOffline", "Получено:", 0}, {"LabelAttOnline", "Осталось:", 0}},
                         "BitBtnDownloadPictures");

  view_ = NewSavedPageView();
  view_->setObjectName("View");
  // The page's own widget, which takes the keys, comes with its first load: Space at the
  // end reads on, and the find keys stay in the page.
  view_->installEventFilter(this);
  connect(view_, &QWebEngineView::loadFinished, this, [this] {
    if (QWidget* proxy = view_->focusProxy()) proxy->installEventFilter(this);
  });
  // Find in the page: Ctrl+Shift+F opens the field, F3 and Enter go to the next match.
  findBox_ = new QLineEdit;
  findBox_->setObjectName("FindInPage");
  findBox_->setPlaceholderText(QStringLiteral("Найти на странице"));
  findBox_->setClearButtonEnabled(true);
  findBox_->hide();
  findBox_->installEventFilter(this);
  connect(findBox_, &QLineEdit::textChanged, this, [this](const QString& text) { view_->findText(text); });
  connect(findBox_, &QLineEdit::returnPressed, this, &NewsViewer::FindNext);
  layout->addWidget(panel_);
  layout->addWidget(findBox_);
  layout->addWidget(view_, 1);
}

void NewsViewer::OpenFind() {
  findBox_->show();
  findBox_->setFocus();
  findBox_->selectAll();
}

void NewsViewer::FindNext() {
  if (findBox_->text().isEmpty()) OpenFind();
  else view_->findText(findBox_->text());
}

QLabel* NewsViewer::AddLabel(const char* name, const char* caption, QBoxLayout* row, int stretch) {
  auto* fixed = new QLabel(QString::fromUtf8(caption));
  fixed->setObjectName(QString::fromLatin1(name) + "Caption");
  QLabel* value;
  std::string n = name;
  if (n == "LabelURL") {
    value = new LinkLabel(QStringLiteral("Найти в Интернете|Открыть файл в Интернет по адресу "), true,
                          [this] { emit urlLabelClicked(); });
  } else if (n == "LabelName") {
    value = new LinkLabel(QStringLiteral("Просмотреть в браузере|Просмотр новости в новом окне браузера по умолчанию"),
                          false, [this] { emit nameLabelClicked(); });
  } else if (n == "LabelTo") {
    value = new LinkLabel(QStringLiteral("Найти в Проводнике|Открыть папку в Проводнике Windows"), false,
                          [this] { emit folderLabelClicked(); });
  } else {
    value = new QLabel;
  }
  value->setObjectName(name);
  value->setTextFormat(Qt::PlainText);
  if (stretch > 0) {
    // Long names and addresses are cut by the panel rather than widening the window.
    value->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    value->setMinimumWidth(40);
  } else {
    value->setFont([] {
      QFont f;
      f.setBold(true);
      return f;
    }());
  }
  row->addWidget(fixed);
  row->addWidget(value, stretch);
  return value;
}

void NewsViewer::SetButtonActions(QAction* readFullScreen, QAction* downloadPictures) {
  if (readFullScreen) readButton_->setDefaultAction(readFullScreen);
  if (downloadPictures) picturesButton_->setDefaultAction(downloadPictures);
}

QString NewsViewer::LabelText(const char* name) const {
  auto* label = panel_->findChild<QLabel*>(name);
  return label ? label->text() : QString();
}

bool NewsViewer::ShowNewsInfo(const std::string& path, const std::string& folderText, bool clearOnly) {
  QStringList before, after;
  for (const char* name : kLabels) before << LabelText(name);
  auto set = [this](const char* name, const QString& text) { panel_->findChild<QLabel*>(name)->setText(text); };
  for (const char* name : kLabels) set(name, {});
  if (!clearOnly) {
    set("LabelTo", Q(folderText));
    NewsInfo info = ReadNewsInfo(path);
    if (info.exists) {
      set("LabelURL", Q(info.url));
      set("LabelName", Q(info.name));
      set("LabelDate", Q(info.date));
      set("LabelTime", Q(info.time));
      if (info.sizeBytes >= 0) set("LabelSize", QString::number(info.sizeBytes / 1024) + " k");
      set("LabelAttCount", QString::number(info.attachments));
      set("LabelAttOffline", QString::number(info.received));
      set("LabelAttOnline", QString::number(info.missing));
    }
  }
  for (const char* name : kLabels) after << LabelText(name);
  return before != after;
}

void NewsViewer::Navigate(const std::string& path) { view_->load(QUrl::fromLocalFile(QPath(path))); }

void NewsViewer::Refresh(const std::string& path) {
  QUrl url = QUrl::fromLocalFile(QPath(path));
  if (view_->url() == url) view_->reload();
  else view_->load(url);
}

void NewsViewer::ShowNothing() {
  view_->setUrl(QUrl(QStringLiteral("about:blank")));
  ShowNewsInfo({}, {}, true);
}

bool NewsViewer::AtEnd() const {
  QWebEnginePage* page = view_->page();
  if (!page) return true;
  const double zoom = view_->zoomFactor() > 0 ? view_->zoomFactor() : 1.0;
  return page->scrollPosition().y() + view_->height() / zoom >= page->contentsSize().height() - 4;
}

void NewsViewer::ScrollPage() {
  // A world of our own: the page's scripts stay off.
  view_->page()->runJavaScript(QStringLiteral("window.scrollBy(0, window.innerHeight * 0.9)"),
                               QWebEngineScript::ApplicationWorld);
}

bool NewsViewer::eventFilter(QObject* watched, QEvent* event) {
  // Inside the page these keys find in it, before the window's actions take them.
  if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    const bool f3 = key->key() == Qt::Key_F3 && key->modifiers() == Qt::NoModifier;
    const bool open = key->key() == Qt::Key_F && key->modifiers() == (Qt::ControlModifier | Qt::ShiftModifier);
    const bool close = watched == findBox_ && key->key() == Qt::Key_Escape;
    if (f3 || open || close) {
      event->accept();
      if (event->type() == QEvent::KeyPress) {
        if (close) {
          findBox_->clear();
          findBox_->hide();
          view_->setFocus();
        } else if (open) {
          OpenFind();
        } else {
          FindNext();
        }
      }
      return true;
    }
  }
  if (watched == view_) {
    if (event->type() == QEvent::ChildAdded)
      if (auto* child = qobject_cast<QWidget*>(static_cast<QChildEvent*>(event)->child())) child->installEventFilter(this);
    return QWidget::eventFilter(watched, event);
  }
  if (watched == findBox_) return QWidget::eventFilter(watched, event);
  if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space &&
      static_cast<QKeyEvent*>(event)->modifiers() == Qt::NoModifier && AtEnd()) {
    emit spaceAtEnd();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

bool NewsViewer::ShowsDocument() const { return view_->url().toString().contains(':'); }

}  // namespace skimlet
