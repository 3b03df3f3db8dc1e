#include "authoring/ui/ChannelAssistant.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QSpinBox>
#include <QSplitter>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "authoring/ChannelFile.h"
#include "page/Html.h"
#include "platform/Text.h"
#include "qt/QtText.h"
#include "qt/WebViews.h"
#include "store/NewsFolder.h"

namespace skimlet {

namespace {

// The program's own script in the views: it takes every click (the page's links lead
// nowhere) and keeps what was clicked for the window, which asks for it every 100 ms.
const char* kClickScript = R"JS(
(function () {
  if (window.skimletListening) return 0;
  window.skimletListening = true;
  window.skimletPicks = [];
  document.addEventListener('click', function (e) {
    var t = e.target;
    if (t && t.nodeType !== 1) t = t.parentElement;
    if (!t) return;
    var a = t.closest('a[href]');
    window.skimletPicks.push({
      href: a ? a.getAttribute('href') : '',
      shift: e.shiftKey,
      tag: t.tagName.toLowerCase(),
      nth: Array.prototype.indexOf.call(document.getElementsByTagName(t.tagName), t),
      text: (t.innerText || t.textContent || '').slice(0, 4000)
    });
    e.preventDefault();
    e.stopPropagation();
  }, true);
  var style = document.createElement('style');
  style.textContent =
    '.skimlet-taken{outline:2px solid #d08000 !important;background:#fff0b0 !important}' +
    '.skimlet-example{outline:3px solid #008000 !important;background:#d0ffd0 !important}' +
    '.skimlet-excluded{outline:2px dashed #c00000 !important;text-decoration:line-through !important}' +
    '.skimlet-headline{outline:3px solid #c00000 !important;background:#ffe0e0 !important}' +
    '.skimlet-text{outline:3px dashed #0060c0 !important}';
  (document.head || document.documentElement).appendChild(style);
  return 1;
})()
)JS";

const char* kTakeClicks =
    "(function(){var p=window.skimletPicks||[];if(p.length)window.skimletPicks=[];return JSON.stringify(p);})()";

// Marks the links whose written address is in each set.
const char* kMarkLinks = R"JS(
(function (m) {
  var sets = {'skimlet-taken': new Set(m.taken), 'skimlet-example': new Set(m.examples),
              'skimlet-excluded': new Set(m.excluded)};
  var links = document.getElementsByTagName('a'), taken = 0;
  for (var i = 0; i < links.length; i++) {
    var h = (links[i].getAttribute('href') || '').replace(/[\t\r\n]/g, '').trim();
    for (var c in sets) links[i].classList.toggle(c, sets[c].has(h));
    if (sets['skimlet-taken'].has(h)) taken++;
  }
  return taken;
})(%1)
)JS";

// Marks one element (tag, place) with a class, and shows it.
const char* kMarkElement = R"JS(
(function (tag, nth, cls) {
  document.querySelectorAll('.' + cls).forEach(function (e) { e.classList.remove(cls); });
  var e = nth >= 0 ? document.getElementsByTagName(tag)[nth] : null;
  if (e) { e.classList.add(cls); e.scrollIntoView({block: 'center'}); }
  return !!e;
})(%1, %2, %3)
)JS";

QString JsString(const QString& s) {
  return QString::fromUtf8(QJsonDocument(QJsonArray{s}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
}

QString JsStrings(const std::vector<QString>& list) {
  QJsonArray a;
  for (const QString& s : list) a.append(s);
  return QString::fromUtf8(QJsonDocument(a).toJson(QJsonDocument::Compact));
}

// The address as the browser's getAttribute gives it, for marking.
QString WrittenHref(const std::string& rawLink) { return Q(AttributeUrl(rawLink)); }

}  // namespace

// The assistant's thread: jobs one after another; fetches go through the core as a run's do,
// and the destructor stops the one under way.
class ChannelAssistant::Worker {
 public:
  Worker() : thread_([this] { Loop(); }) {}
  ~Worker() {
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
      for (const auto& [fetch, kind] : fetches_) fetch->Stop();
    }
    wake_.notify_all();
    thread_.join();
  }
  void Post(std::function<void()> job) {
    {
      std::lock_guard lock(mutex_);
      jobs_.push_back(std::move(job));
    }
    wake_.notify_all();
  }
  // What a fetch is for: a newer request stops the fetches it makes needless (a server that
  // hangs keeps nothing waiting).
  enum Kind { kList, kProposal, kDryRun };
  // Callable from several threads at once (the headline comparison fetches articles side by
  // side): each call has a fetch of its own.
  PreviewFetch::Result Fetch(Kind kind, const std::string& dataDir, const RunSettings& settings, const std::string& url,
                             bool index) {
    auto fetch = std::make_shared<PreviewFetch>(dataDir, settings);
    {
      std::lock_guard lock(mutex_);
      if (quit_) return {false, {}, {}, W("остановлено")};
      fetches_.emplace_back(fetch, kind);
    }
    PreviewFetch::Result r = fetch->Fetch(url, index);
    std::lock_guard lock(mutex_);
    fetches_.erase(std::find_if(fetches_.begin(), fetches_.end(), [&](const auto& f) { return f.first == fetch; }));
    return r;
  }
  void StopFetch(Kind from) {  // the fetches under way for `from` or later
    std::lock_guard lock(mutex_);
    for (const auto& [fetch, kind] : fetches_)
      if (kind >= from) fetch->Stop();
  }
  bool Quitting() {
    std::lock_guard lock(mutex_);
    return quit_;
  }

  // Thread only: the example articles fetched so far, by address.
  std::map<std::string, PreviewFetch::Result> articles;
  std::atomic<unsigned> dryWanted{0}, proposalWanted{0};

 private:
  void Loop() {
    for (;;) {
      std::function<void()> job;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return quit_ || !jobs_.empty(); });
        if (quit_) return;
        job = std::move(jobs_.front());
        jobs_.pop_front();
      }
      job();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;
  std::vector<std::pair<std::shared_ptr<PreviewFetch>, Kind>> fetches_;
  bool quit_ = false;
  std::thread thread_;
};

struct ChannelAssistant::Result {
  unsigned generation = 0;
  ProposalInput input;
  ChannelProposal proposal;
  ElementPick headline;  // where the first example's name is taken from
  std::string failure;   // Windows-1251: an example not fetched
  bool headlineMissed = false, cutMissed = false;
};

ChannelAssistant::ChannelAssistant(ChannelTree& tree, std::string dataDir, std::function<RunSettings()> settings,
                                   QWidget* parent)
    : QDialog(parent), tree_(tree), dataDir_(std::move(dataDir)), settings_(std::move(settings)),
      worker_(std::make_unique<Worker>()) {
  setObjectName("ChannelAssistant");
  setWindowTitle(QStringLiteral("Новый канал по адресу"));
  address_ = new QLineEdit;
  address_->setObjectName("AssistantAddress");
  address_->setPlaceholderText(QStringLiteral("https://… — страница со списком статей"));
  auto* show = new QPushButton(QStringLiteral("Показать"));
  show->setObjectName("AssistantShow");
  channel_ = new QLineEdit;
  channel_->setObjectName("AssistantChannel");
  rubric_ = new QLineEdit;
  rubric_->setObjectName("AssistantRubric");
  rubric_->setPlaceholderText(
      QStringLiteral("пусто — новый канал; иначе новая рубрика канала, названного выше (нет его — создастся с ней)"));
  status_ = new QLabel(QStringLiteral("Введите адрес страницы со списком статей и нажмите «Показать»."));
  status_->setObjectName("AssistantStatus");
  status_->setWordWrap(true);
  status_->setTextFormat(Qt::PlainText);

  listView_ = NewSavedPageView();
  listView_->setObjectName("AssistantList");
  articleView_ = NewSavedPageView();
  articleView_->setObjectName("AssistantArticle");
  tabs_ = new QTabWidget;
  tabs_->addTab(listView_, QStringLiteral("Список"));
  auto* articlePage = new QWidget;
  auto* articleLayout = new QVBoxLayout(articlePage);
  articleLayout->setContentsMargins(0, 0, 0, 0);
  auto* modes = new QHBoxLayout;
  modes->addWidget(new QLabel(QStringLiteral("Щелчок в статье выбирает:")));
  pickHeadline_ = new QRadioButton(QStringLiteral("заголовок"));
  pickHeadline_->setObjectName("AssistantPickHeadline");
  pickHeadline_->setChecked(true);
  pickText_ = new QRadioButton(QStringLiteral("текст, который сохранить"));
  pickText_->setObjectName("AssistantPickText");
  modes->addWidget(pickHeadline_);
  modes->addWidget(pickText_);
  modes->addStretch();
  articleLayout->addLayout(modes);
  articleLayout->addWidget(articleView_, 1);
  tabs_->addTab(articlePage, QStringLiteral("Статья-пример"));

  links_ = new QListWidget;
  links_->setObjectName("AssistantLinks");
  pictures_ = new QCheckBox(QStringLiteral("Сохранять рисунки"));
  pictures_->setObjectName("AssistantPictures");
  pictures_->setChecked(true);
  pages_ = new QSpinBox;
  pages_->setObjectName("AssistantPages");
  pages_->setRange(1, 1000);
  pages_->setToolTip(QStringLiteral("Сколько страниц списка листать (1 — только первую)"));
  dryRun_ = new QPushButton(QStringLiteral("Пробный запуск"));
  dryRun_->setObjectName("AssistantDryRun");
  news_ = new QListWidget;
  news_->setObjectName("AssistantNews");
  news_->setWordWrap(true);
  create_ = new QPushButton(QStringLiteral("Создать"));
  create_->setObjectName("AssistantCreate");
  openEditor_ = new QPushButton(QStringLiteral("Открыть в редакторе"));
  openEditor_->setObjectName("AssistantOpenEditor");
  auto* close = new QPushButton(QStringLiteral("Закрыть"));

  auto* form = new QFormLayout;
  auto* addressRow = new QHBoxLayout;
  addressRow->addWidget(address_, 1);
  addressRow->addWidget(show);
  form->addRow(QStringLiteral("Адрес списка:"), addressRow);
  form->addRow(QStringLiteral("Канал:"), channel_);
  form->addRow(QStringLiteral("Рубрика:"), rubric_);
  auto* side = new QWidget;
  auto* sideLayout = new QVBoxLayout(side);
  sideLayout->setContentsMargins(0, 0, 0, 0);
  sideLayout->addWidget(new QLabel(QStringLiteral("Ссылки, которые возьмёт канал:")));
  sideLayout->addWidget(links_, 2);
  auto* options = new QHBoxLayout;
  options->addWidget(pictures_);
  options->addWidget(new QLabel(QStringLiteral("Страниц списка:")));
  options->addWidget(pages_);
  options->addStretch();
  sideLayout->addLayout(options);
  sideLayout->addWidget(dryRun_);
  sideLayout->addWidget(news_, 3);
  auto* split = new QSplitter;
  split->addWidget(tabs_);
  split->addWidget(side);
  split->setStretchFactor(0, 3);
  split->setStretchFactor(1, 2);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(create_);
  buttons->addWidget(openEditor_);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(status_);
  layout->addWidget(split, 1);
  layout->addLayout(buttons);
  // Its buttons stay on a small screen (a laptop's 1366 x 768 with a panel): room is left
  // for the frame.
  QSize size(1100, 760);
  if (QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
    size = size.boundedTo(screen->availableGeometry().size() - QSize(40, 40));
  resize(size);

  for (QPushButton* b : {show, dryRun_, create_, openEditor_, close}) b->setAutoDefault(false);
  create_->setToolTip(QStringLiteral("Записать канал с этими шагами (Ctrl+Enter)"));
  auto* createKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Return), this);
  connect(createKey, &QShortcut::activated, this, [this] { Create(false); });
  address_->setFocus();
  connect(show, &QPushButton::clicked, this, &ChannelAssistant::ShowList);
  connect(address_, &QLineEdit::returnPressed, this, &ChannelAssistant::ShowList);
  connect(dryRun_, &QPushButton::clicked, this, &ChannelAssistant::DryRun);
  connect(create_, &QPushButton::clicked, this, [this] { Create(false); });
  connect(openEditor_, &QPushButton::clicked, this, [this] { Create(true); });
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  connect(pictures_, &QCheckBox::toggled, this, [this] { Propose(); });
  connect(pages_, &QSpinBox::valueChanged, this, [this] { Propose(); });
  for (QWebEngineView* view : {listView_, articleView_})
    connect(view, &QWebEngineView::loadFinished, this, [this, view](bool) {
      view->page()->runJavaScript(QString::fromUtf8(kClickScript), QWebEngineScript::ApplicationWorld,
                                  [this, view, self = QPointer<ChannelAssistant>(this)](const QVariant&) {
                                    if (!self) return;
                                    (view == listView_ ? listLoading_ : articleLoading_) = false;
                                    if (view == listView_) MarkLinks();
                                    else MarkArticle();
                                  });
    });
  poll_ = new QTimer(this);
  poll_->setInterval(100);
  connect(poll_, &QTimer::timeout, this, &ChannelAssistant::Poll);
  poll_->start();
  UpdateButtons();
}

ChannelAssistant::~ChannelAssistant() { worker_.reset(); }

bool ChannelAssistant::Idle() const { return pending_ == 0 && !listLoading_ && !articleLoading_; }

void ChannelAssistant::ShowList() {
  std::string url = Win(address_->text().trimmed());
  if (url.empty()) return;
  if (url.find("://") == std::string::npos) url = "http://" + url;
  startUrl_ = url;
  indexPage_.clear();  // clicks on the page shown before count no more
  indexUrl_.clear();
  examples_.clear();
  excluded_.clear();
  headline_.reset();
  text_.reset();
  proposal_ = ChannelProposal();
  input_ = ProposalInput();
  links_->clear();
  news_->clear();
  ++proposalGeneration_;
  ++dryGeneration_;
  worker_->dryWanted = dryGeneration_;
  worker_->StopFetch(Worker::kList);
  const unsigned generation = ++pageGeneration_;
  status_->setText(QStringLiteral("Загружается страница списка…"));
  ++pending_;
  const RunSettings settings = settings_ ? settings_() : RunSettings();
  worker_->Post([this, w = worker_.get(), generation, url, settings, dataDir = dataDir_] {
    PreviewFetch::Result r = w->Fetch(Worker::kList, dataDir, settings, url, true);
    QMetaObject::invokeMethod(this, [this, generation, r = std::move(r)] {
      --pending_;
      if (generation != pageGeneration_) return;
      if (!r.ok) {
        status_->setText(QStringLiteral("Страница списка не получена: %1").arg(Q(r.error)));
        return;
      }
      indexPage_ = r.page;
      indexUrl_ = r.address;
      ShowPage(listView_, "list.html", indexPage_);
      tabs_->setCurrentIndex(0);
      if (channel_->text().isEmpty()) channel_->setText(QUrl(Q(indexUrl_)).host());
      status_->setText(QStringLiteral("Щёлкните по ссылке на любую статью списка."));
      UpdateButtons();
    }, Qt::QueuedConnection);
  });
  UpdateButtons();
}

void ChannelAssistant::ShowPage(QWebEngineView* view, const QString& file, const std::string& page) {
  // The page as the run has it (Windows-1251), from a file: pages of any size, and no
  // request leaves the view (its links and pictures on the site are not loaded).
  const QString path = QDir(pagesDir_.path()).filePath(file);
  QFile out(path);
  if (out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    out.write(page.data(), static_cast<qint64>(page.size()));
    out.close();
  }
  (view == listView_ ? listLoading_ : articleLoading_) = true;
  view->load(QUrl::fromLocalFile(path));
}

void ChannelAssistant::Poll() {
  for (QWebEngineView* view : {listView_, articleView_}) {
    if (!view->isVisible() || (view == listView_ ? listLoading_ : articleLoading_)) continue;
    view->page()->runJavaScript(QString::fromUtf8(kTakeClicks), QWebEngineScript::ApplicationWorld,
                                [this, view, self = QPointer<ChannelAssistant>(this)](const QVariant& v) {
                                  if (!self) return;
                                  const QJsonArray clicks = QJsonDocument::fromJson(v.toString().toUtf8()).array();
                                  for (const QJsonValue& c : clicks) {
                                    const QJsonObject o = c.toObject();
                                    Click click;
                                    click.href = o.value("href").toString().toStdString();
                                    click.shift = o.value("shift").toBool();
                                    click.element.tag = o.value("tag").toString().toStdString();
                                    click.element.nth = o.value("nth").toInt(-1);
                                    click.element.text = o.value("text").toString().toStdString();
                                    if (view == listView_) ListClicked(click);
                                    else ArticleClicked(click);
                                  }
                                });
  }
}

void ChannelAssistant::ListClicked(const Click& click) {
  if (indexPage_.empty()) return;
  if (click.href.empty()) {
    status_->setText(QStringLiteral("Щёлкните по ссылке на статью, а не рядом с ней."));
    return;
  }
  const std::string url = ExampleAddress(indexUrl_, Win(QString::fromStdString(click.href)));
  auto has = [&](const std::vector<Picked>& list) {
    return std::find_if(list.begin(), list.end(), [&](const Picked& p) { return p.url == url; });
  };
  const bool taken = std::any_of(proposal_.links.begin(), proposal_.links.end(),
                                 [&](const ProposedLink& l) { return l.url == url; });
  if (auto e = has(excluded_); e != excluded_.end()) {
    excluded_.erase(e);  // taken again
  } else if (auto x = has(examples_); x != examples_.end()) {
    examples_.erase(x);  // a click on an example takes it back
    if (examples_.empty()) {
      ++proposalGeneration_;
      proposal_ = ChannelProposal();
      excluded_.clear();
      links_->clear();
      news_->clear();
      MarkLinks();
      status_->setText(QStringLiteral("Щёлкните по ссылке на любую статью списка."));
      UpdateButtons();
      return;
    }
  } else if (taken && !click.shift) {
    excluded_.push_back({url, click.href});
  } else {
    examples_.push_back({url, click.href});
  }
  Propose();
}

void ChannelAssistant::ArticleClicked(const Click& click) {
  if (examples_.empty()) return;
  ElementPick pick = click.element;
  pick.text = Win(QString::fromStdString(pick.text));
  (pickText_->isChecked() ? text_ : headline_) = pick;
  Propose();
}

void ChannelAssistant::Propose() {
  if (examples_.empty() || indexPage_.empty()) return;
  ProposalInput in;
  in.startUrl = startUrl_;
  in.indexUrl = indexUrl_;
  in.indexPage = indexPage_;
  for (const Picked& e : examples_) in.exampleUrls.push_back(e.url);
  for (const Picked& e : excluded_) in.excludedUrls.push_back(e.url);
  in.pages = pages_->value();
  in.pictures = pictures_->isChecked();
  const unsigned generation = ++proposalGeneration_;
  worker_->proposalWanted = generation;
  worker_->StopFetch(Worker::kProposal);
  ++dryGeneration_;
  worker_->dryWanted = dryGeneration_;
  news_->clear();
  ++pending_;
  status_->setText(QStringLiteral("Составляется предложение…"));
  const RunSettings settings = settings_ ? settings_() : RunSettings();
  worker_->Post([this, w = worker_.get(), generation, in = std::move(in), headline = headline_, text = text_,
                 settings, dataDir = dataDir_]() mutable {
    Result r;
    r.generation = generation;
    auto deliver = [&] {
      QMetaObject::invokeMethod(this, [this, r = std::move(r)] { Proposed(r); }, Qt::QueuedConnection);
    };
    if (w->proposalWanted != generation) return deliver();  // a newer click came meanwhile
    for (const std::string& url : in.exampleUrls) {
      auto a = w->articles.find(url);
      if (a == w->articles.end() || !a->second.ok)
        a = w->articles.insert_or_assign(url, w->Fetch(Worker::kProposal, dataDir, settings, url, false)).first;
      if (!a->second.ok) {
        r.failure = a->second.error;
        break;
      }
      in.examplePages.push_back(a->second.page);
    }
    if (w->proposalWanted != generation) return deliver();
    if (r.failure.empty()) {
      const std::string& article = in.examplePages.front();
      if (headline) {
        HeadlineMarkers m = ProposeHeadline(article, *headline);
        r.headlineMissed = m.start.empty();
        in.nameStart = m.start;
        in.nameEnd = m.end;
      }
      if (text) {
        in.textCut = ProposeTextCut(article, *text);
        r.cutMissed = in.textCut.empty();
      }
      // Unless the user picked the headline, it is chosen by comparing further articles.
      r.proposal = headline ? ProposeChannel(in)
                            : ProposeCompared(in, [&](const std::string& url, bool index) {
                                return w->Fetch(Worker::kProposal, dataDir, settings, url, index);
                              });
      r.headline = HeadlineElement(article, r.proposal.nameStart);
    }
    r.input = std::move(in);
    deliver();
  });
  UpdateButtons();
}

void ChannelAssistant::Proposed(const Result& r) {
  --pending_;
  if (r.generation != proposalGeneration_) return;  // a newer click asked for another
  if (!r.failure.empty()) {
    status_->setText(QStringLiteral("Статья-пример не получена: %1").arg(Q(r.failure)));
    examples_.pop_back();
    UpdateButtons();
    return;
  }
  proposal_ = r.proposal;
  input_ = r.input;
  links_->clear();
  for (const ProposedLink& l : proposal_.links) {
    auto* item = new QListWidgetItem(QStringLiteral("%1 — %2").arg(Q(l.text), Q(l.url)));
    item->setToolTip(PlainTip(Q(l.url)));
    links_->addItem(item);
  }
  QString text;
  if (!proposal_.problem.empty()) {
    text = QStringLiteral("Канал не сложился: %1.").arg(Q(proposal_.problem));
  } else {
    text = QStringLiteral("Канал возьмёт ссылок: %1 (отмечены на странице). Щелчок по отмеченной ссылке исключает "
                          "её, по неотмеченной или с Shift — добавляет ещё один пример, по примеру — убирает его. "
                          "Имя новости: «%2».")
               .arg(proposal_.links.size())
               .arg(Q(proposal_.exampleNames.empty() ? std::string() : proposal_.exampleNames.front()));
  }
  for (std::size_t i = 1; i < proposal_.exampleNames.size() && proposal_.problem.empty(); ++i)
    if (proposal_.exampleNames[i].empty()) {
      text += QStringLiteral(" В примере %1 имя новости не найдено: выберите заголовок в статье-примере.").arg(i + 1);
      break;
    }
  if (!proposal_.notExcluded.empty())
    text += QStringLiteral(" Не удалось исключить: %1.").arg(Q(proposal_.notExcluded.front()));
  if (r.headline.nth < 0 && proposal_.problem.empty())
    text += QStringLiteral(" Имя берётся не из текста страницы (заголовок окна или её описание).");
  if (r.headlineMissed) text += QStringLiteral(" По этому элементу заголовок не найти — оставлен прежний.");
  if (r.cutMissed) text += QStringLiteral(" Вырезать только этот текст не получается — статья сохранится целиком.");
  else if (!input_.textCut.empty()) text += QStringLiteral(" Из статьи сохранится только отмеченный текст.");
  if (pages_->value() > 1 && !proposal_.turns && proposal_.problem.empty())
    text += QStringLiteral(" Ссылка на следующую страницу списка не найдена: листать не будем.");
  status_->setText(text);
  headlineShown_ = r.headline;
  MarkLinks();
  if (!examples_.empty() && articleShownUrl_ != examples_.front().url && !input_.examplePages.empty()) {
    articleShownUrl_ = examples_.front().url;
    ShowPage(articleView_, "article.html", input_.examplePages.front());
  } else {
    MarkArticle();
  }
  UpdateButtons();
}

void ChannelAssistant::MarkLinks() {
  if (listLoading_) return;
  std::vector<QString> taken, examples, excluded;
  for (const ProposedLink& l : proposal_.links) taken.push_back(WrittenHref(l.link));
  for (const Picked& p : examples_) examples.push_back(QString::fromStdString(p.href).trimmed());
  for (const Picked& p : excluded_) excluded.push_back(QString::fromStdString(p.href).trimmed());
  QJsonObject m;
  m["taken"] = QJsonDocument::fromJson(JsStrings(taken).toUtf8()).array();
  m["examples"] = QJsonDocument::fromJson(JsStrings(examples).toUtf8()).array();
  m["excluded"] = QJsonDocument::fromJson(JsStrings(excluded).toUtf8()).array();
  listView_->page()->runJavaScript(
      QString::fromUtf8(kMarkLinks).arg(QString::fromUtf8(QJsonDocument(m).toJson(QJsonDocument::Compact))),
      QWebEngineScript::ApplicationWorld);
}

void ChannelAssistant::MarkArticle() {
  if (articleLoading_) return;
  auto mark = [this](const ElementPick& e, const char* cls) {
    articleView_->page()->runJavaScript(QString::fromUtf8(kMarkElement)
                                            .arg(JsString(QString::fromStdString(e.tag)))
                                            .arg(e.nth)
                                            .arg(JsString(QString::fromUtf8(cls))),
                                        QWebEngineScript::ApplicationWorld);
  };
  mark(headlineShown_, "skimlet-headline");
  mark(CutElement(input_.examplePages.empty() ? std::string() : input_.examplePages.front(), input_.textCut),
       "skimlet-text");
}

void ChannelAssistant::DryRun() {
  if (proposal_.steps.empty() || !proposal_.problem.empty()) return;
  const unsigned generation = ++dryGeneration_;
  worker_->dryWanted = generation;
  worker_->StopFetch(Worker::kDryRun);
  news_->clear();
  news_->addItem(QStringLiteral("Идёт пробный запуск…"));
  ++pending_;
  const RunSettings settings = settings_ ? settings_() : RunSettings();
  worker_->Post([this, w = worker_.get(), generation, proposal = proposal_, in = input_, settings, dataDir = dataDir_,
                 tree = &tree_] {
    SavedNewsIndex saved;  // the news every folder holds, read once for the whole run
    saved.Build(*tree);
    ChannelDryRun dry = DryRunProposal(
        proposal, in, [&](const std::string& url, bool index) { return w->Fetch(Worker::kDryRun, dataDir, settings, url, index); },
        100, [&] { return w->dryWanted != generation || w->Quitting(); },
        [&](const std::string& url) { return saved.FolderOf(url); });
    QMetaObject::invokeMethod(this, [this, generation, dry = std::move(dry), key = proposal.newsKey] {
      --pending_;
      if (generation != dryGeneration_) return;
      news_->clear();
      news_->addItem(QStringLiteral("Сохранилось бы новостей: %1 из %2. Ничего не записано.")
                         .arg(dry.named)
                         .arg(dry.news.size()));
      for (const std::string& warning : dry.warnings) {
        auto* item = new QListWidgetItem(QStringLiteral("Внимание: %1").arg(Q(warning)));
        item->setForeground(Qt::darkRed);
        item->setToolTip(PlainTip(item->text()));
        news_->addItem(item);
      }
      if (!dry.listPages.empty()) {
        QStringList pages;
        for (const std::string& page : dry.listPages) pages << QStringLiteral("    ") + Q(page);
        constexpr int kShown = 5;  // the rest in the tool tip
        auto* item = new QListWidgetItem(QStringLiteral("Страницы списка (%1):\n%2%3")
                                             .arg(pages.size())
                                             .arg(pages.mid(0, kShown).join('\n'))
                                             .arg(pages.size() > kShown ? QStringLiteral("\n    …") : QString()));
        item->setToolTip(PlainTip(pages.join('\n')));
        news_->addItem(item);
      }
      if (dry.listFailedPage > 0)
        news_->addItem(QStringLiteral("Страница списка %1 не получена: %2").arg(dry.listFailedPage).arg(Q(dry.listFailure)));
      for (const ProposedNews& n : dry.news) {
        auto* item = new QListWidgetItem(QStringLiteral("%1\n    %2").arg(Q(ProposedNewsText(n, key)), Q(n.url)));
        item->setToolTip(PlainTip(item->text()));
        news_->addItem(item);
      }
    }, Qt::QueuedConnection);
  });
}

bool ChannelAssistant::Create(bool openInEditor) {
  const std::string channel = Win(channel_->text().trimmed()), rubric = Win(rubric_->text().trimmed());
  if (proposal_.steps.empty() || !proposal_.problem.empty()) {
    status_->setText(QStringLiteral("Сначала щёлкните по статье списка: шагов канала ещё нет."));
    return false;
  }
  const MadeMacroFolder made = CreateMacroFolder(tree_, channel, rubric, proposal_.steps);
  if (made.path.empty()) {
    status_->setText(QStringLiteral("Канал не создан: %1").arg(QString::fromStdString(made.error)));
    return false;
  }
  const QString said = QString::fromStdString(made.said);
  status_->setText(said);
  emit created(made.node, openInEditor, said);
  accept();
  return true;
}

void ChannelAssistant::UpdateButtons() {
  const bool ready = !proposal_.steps.empty() && proposal_.problem.empty();
  dryRun_->setEnabled(ready);
  create_->setEnabled(ready);
  openEditor_->setEnabled(ready);
}

}  // namespace skimlet
