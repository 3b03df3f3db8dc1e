// skimlet-cli new: a channel (or a rubric) from its list page and one example article.
#include <iostream>

#include "authoring/ChannelDryRun.h"
#include "authoring/ChannelFile.h"
#include "authoring/ChannelProposal.h"
#include "authoring/MacroPreview.h"
#include "cli/Commands.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "qt/SettingsStore.h"
#include "store/ChannelFolders.h"
#include "store/NewsFolder.h"

namespace skimlet::cli {

namespace {

constexpr int kMostNamesFetched = 100;

const char* kNewUsage =
    "использование: skimlet-cli new КАНАЛ АДРЕС_СПИСКА --example АДРЕС_СТАТЬИ [--example АДРЕС_СТАТЬИ]\n"
    "                                [--rubric РУБРИКА] [--pages N] [--dry-run]\n";

std::string U(const std::string& win) { return Win1251ToUtf8(win); }

void Fail(const std::string& utf8Why) { std::cerr << "skimlet-cli new: " << utf8Why << "\n"; }

std::string StepLine(int i, const TTmpOneMacroComand& s) {
  std::string line = std::to_string(i) + ". " + s.Command;
  for (const std::string* p : {&s.P1, &s.P2, &s.P3, &s.P4}) line += " [" + U(*p) + "]";
  return line + "  " + U(s.Description);
}

}  // namespace

int NewChannelCommand(const Context& ctx, const std::vector<std::string>& args) {
  std::vector<std::string> positional, examples;
  std::string rubric;
  int pages = 1;
  bool dryRun = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    bool hasValue = i + 1 < args.size();
    if (a == "--example" && hasValue) {
      examples.push_back(Utf8ToWin1251(args[++i]));
    } else if (a == "--rubric" && hasValue) {
      rubric = Utf8ToWin1251(args[++i]);
    } else if (a == "--pages" && hasValue) {
      try {
        pages = std::stoi(args[++i]);
      } catch (...) {
        pages = 0;
      }
      if (pages < 1 || pages > 1000) {
        std::cerr << "skimlet-cli new: --pages — число от 1 до 1000\n";
        return 2;
      }
    } else if (a == "--dry-run") {
      dryRun = true;
    } else if (a.size() > 1 && a[0] == '-') {
      std::cerr << kNewUsage;
      return 2;
    } else {
      positional.push_back(a);
    }
  }
  if (positional.size() != 2 || examples.empty()) {
    std::cerr << kNewUsage;
    return 2;
  }
  const std::string channelName = Utf8ToWin1251(positional[0]);
  const std::string indexUrl = Utf8ToWin1251(positional[1]);
  // The folder must be new (a rubric's channel is made with it when missing): said before
  // anything is fetched.
  ChannelTree tree(ctx.dataDir);
  if (DirExists(tree.AccountsDir())) tree.BuildChannelTree(tree.AccountsDir(), nullptr, false);
  if (std::string why = NewMacroFolderProblem(tree, channelName, rubric); !why.empty()) {
    Fail(why);
    return 1;
  }

  // The pages: the list and the examples, fetched as a run fetches them.
  SettingsStore store;
  const RunSettings settings = store.ReadRunSettings();
  auto fetch = [&](const std::string& url, bool index) { return PreviewFetch(ctx.dataDir, settings).Fetch(url, index); };
  ProposalInput input;
  input.startUrl = indexUrl;
  input.pages = pages;
  PreviewFetch::Result index = fetch(indexUrl, true);
  if (!index.ok) {
    Fail("страница списка не получена: " + U(index.error));
    return 1;
  }
  input.indexPage = std::move(index.page);
  input.indexUrl = index.address;
  for (const std::string& e : examples) {
    PreviewFetch::Result page = fetch(e, false);
    if (!page.ok) {
      Fail("статья-пример не получена: " + U(page.error));
      return 1;
    }
    input.exampleUrls.push_back(e);
    input.examplePages.push_back(std::move(page.page));
  }

  ChannelProposal proposal = ProposeCompared(input, fetch);
  if (proposal.steps.empty()) {
    Fail(U(proposal.problem));
    return 1;
  }
  std::cout << "Шаги макроса:\n";
  for (std::size_t i = 0; i < proposal.steps.size(); ++i)
    std::cout << "  " << StepLine(static_cast<int>(i), proposal.steps[i]) << "\n";
  if (pages > 1 && !proposal.turns)
    std::cout << "Ссылка на следующую страницу списка не найдена: листать не будем.\n";

  // The preview: every link taken, page after page, with the name its news would get and the
  // folder that saved it already (read from every folder's news once).
  SavedNewsIndex saved;
  saved.Build(tree);
  const ChannelDryRun dry = DryRunProposal(proposal, input, fetch, kMostNamesFetched, {},
                                           [&](const std::string& url) { return saved.FolderOf(url); });
  if (dry.listFailedPage > 0)
    std::cout << "Страница списка " << dry.listFailedPage << " не получена: " << U(dry.listFailure) << "\n";
  if (!dry.listPages.empty()) {
    std::cout << "Страницы списка (" << dry.listPages.size() << "):\n";
    for (const std::string& page : dry.listPages) std::cout << "  " << U(page) << "\n";
  }
  std::cout << "Ссылки, которые возьмёт макрос (" << dry.news.size() << "):\n";
  for (const ProposedNews& n : dry.news)
    std::cout << "  " << U(n.url) << "\n      " << U(ProposedNewsText(n, proposal.newsKey)) << "\n";
  for (const std::string& warning : dry.warnings) std::cout << "Внимание: " << U(warning) << "\n";
  const int named = dry.named;
  if (proposal.problem.empty() && (proposal.nameCollision || dry.nameClash)) {
    Fail("у разных статей списка одинаковые заголовки, и другого заголовка, который различал бы их, не найдено: "
         "новости затёрли бы друг друга. Укажите ещё один --example или выберите заголовок в окне «Новый канал по "
         "адресу…»");
    return 1;
  }
  if (!proposal.problem.empty() || named == 0) {
    Fail(proposal.problem.empty() ? std::string("ни в одной статье не найден заголовок") : U(proposal.problem));
    return 1;
  }
  if (dryRun) {
    std::cout << "Пробный запуск: ничего не записано.\n";
    return 0;
  }

  const MadeMacroFolder made = CreateMacroFolder(tree, channelName, rubric, proposal.steps);
  if (made.path.empty()) {
    Fail(made.error);
    return 1;
  }
  std::cout << made.said << ": " << made.path << "\n";
  return 0;
}

}  // namespace skimlet::cli
