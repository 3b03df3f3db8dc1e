// Файл → «Новый канал по адресу…»: the new-channel proposal with clicks. The list page is
// shown with its own scripts off; a script of the program's own, in an isolated world, takes
// the clicks: an article link becomes an example, a wrongly taken link is excluded, and in the
// example article a click picks the headline or the text to keep. Pages are fetched and
// proposals made on a thread of the assistant's own, through the core; a newer click
// supersedes an older proposal.
#pragma once

#include <QDialog>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "authoring/ChannelDryRun.h"
#include "authoring/ChannelProposal.h"
#include "store/Settings.h"
#include "store/ChannelFolders.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class QTimer;
class QWebEngineView;

namespace skimlet {

class ChannelAssistant : public QDialog {
  Q_OBJECT

 public:
  // `settings` is asked for on the window thread whenever pages are fetched.
  ChannelAssistant(ChannelTree& tree, std::string dataDir, std::function<RunSettings()> settings,
                   QWidget* parent = nullptr);
  ~ChannelAssistant() override;  // stops a fetch and waits for the thread

  QWebEngineView* ListView() const { return listView_; }
  QWebEngineView* ArticleView() const { return articleView_; }
  QListWidget* Links() const { return links_; }
  QListWidget* News() const { return news_; }
  QLabel* Status() const { return status_; }
  const ChannelProposal& Proposal() const { return proposal_; }
  // Nothing is being fetched or proposed, and the views show the last result.
  bool Idle() const;

  // The list page at the typed address ("Показать").
  void ShowList();
  // What a click in a view does: the same path the views' script takes.
  struct Click {
    std::string href;  // the link's address as written (UTF-8), "" when none
    bool shift = false;  // a taken link with Shift: another example rather than excluded
    ElementPick element;  // text UTF-8 here
  };
  void ListClicked(const Click& click);
  void ArticleClicked(const Click& click);
  void DryRun();
  // «Создать» (and «Открыть в редакторе»): writes the channel; false with the reason shown.
  bool Create(bool openInEditor);

 signals:
  // The folder written (a rubric's new channel with it); the window selects it (and shows its
  // macro when asked) and says what was made.
  void created(skimlet::NodePtr folder, bool openInEditor, const QString& said);

 private:
  class Worker;
  struct Result;
  void Propose();
  void Proposed(const Result& r);
  void ShowPage(QWebEngineView* view, const QString& file, const std::string& page);
  void Poll();
  void MarkLinks();
  void MarkArticle();
  void UpdateButtons();

  ChannelTree& tree_;
  std::string dataDir_;
  std::function<RunSettings()> settings_;
  std::unique_ptr<Worker> worker_;
  QTemporaryDir pagesDir_;

  QLineEdit* address_ = nullptr;
  QLineEdit* channel_ = nullptr;
  QLineEdit* rubric_ = nullptr;
  QLabel* status_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  QWebEngineView* listView_ = nullptr;
  QWebEngineView* articleView_ = nullptr;
  QRadioButton* pickHeadline_ = nullptr;
  QRadioButton* pickText_ = nullptr;
  QListWidget* links_ = nullptr;
  QCheckBox* pictures_ = nullptr;
  QSpinBox* pages_ = nullptr;
  QPushButton* dryRun_ = nullptr;
  QListWidget* news_ = nullptr;
  QPushButton* create_ = nullptr;
  QPushButton* openEditor_ = nullptr;
  QTimer* poll_ = nullptr;

  // What the user has said so far.
  std::string startUrl_, indexUrl_, indexPage_;  // Windows-1251
  struct Picked {
    std::string url, href;  // absolute (Windows-1251); as written (UTF-8)
  };
  std::vector<Picked> examples_, excluded_;
  std::optional<ElementPick> headline_, text_;
  // What the last proposal gave.
  ChannelProposal proposal_;
  ProposalInput input_;
  ElementPick headlineShown_;
  std::string articleShownUrl_;
  bool listLoading_ = false, articleLoading_ = false;
  int pending_ = 0;  // jobs handed to the thread whose answer has not come
  unsigned pageGeneration_ = 0, proposalGeneration_ = 0, dryGeneration_ = 0;
};

}  // namespace skimlet
