// skimlet-cli new on the list pages people really have (tests/cli/new_channel/*.html): the
// proposal must take every article of the list the example stands in and nothing else, and
// the channel it writes, downloaded by the real engine, must save exactly those articles
// named by their headlines.
//
// A fixture NAME.html is the list page; NAME.expected gives where it is served ("index:"),
// the example's address ("example:") and the list's articles, in page order, by the last
// part of their address. Every other address answers with an article titled "Статья " and
// that last part, with the site's name in its <title>.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "tests/cli/CliHome.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

const std::string kFixtures = std::string(SKIMLET_SOURCE_DIR) + "/tests/cli/new_channel/";

struct Fixture {
  std::string index, example;
  std::string pages, nextQuery, nextFile;  // "pages: N QUERY FILE": turn N pages, the second at QUERY
  std::vector<std::string> articles;
};

Fixture ReadFixture(const std::string& name) {
  Fixture f;
  std::istringstream in(test::ReadFile(kFixtures + name + ".expected"));
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("index: ", 0) == 0) f.index = line.substr(7);
    else if (line.rfind("example: ", 0) == 0) f.example = line.substr(9);
    else if (line.rfind("pages: ", 0) == 0) std::istringstream(line.substr(7)) >> f.pages >> f.nextQuery >> f.nextFile;
    else if (!line.empty()) f.articles.push_back(line);
  }
  return f;
}


// The last part of an address: the query's last value, else the last path segment without
// its extension.
std::string Stem(std::string path, const std::string& query) {
  if (!query.empty()) return query.substr(query.rfind('=') + 1);
  while (!path.empty() && path.back() == '/') path.pop_back();
  path = path.substr(path.rfind('/') + 1);
  for (const char* ext : {".html", ".php"})
    if (path.size() > std::strlen(ext) && path.compare(path.size() - std::strlen(ext), std::string::npos, ext) == 0)
      path.resize(path.size() - std::strlen(ext));
  return test::PercentDecoded(path);
}

std::string StemOfUrl(const std::string& url) {
  std::string path = url.substr(url.find('/', url.find("://") + 3));
  std::size_t q = path.find('?');
  return Stem(path.substr(0, q), q == std::string::npos ? "" : path.substr(q + 1));
}

std::vector<std::string> SavedNews(const std::string& dir) {
  std::vector<std::string> out;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    if (e.is_regular_file() && e.path().extension() == ".html") out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

struct Site {
  test::HttpTestServer server;
  std::string index, indexPath, next, nextQuery;
  explicit Site(const std::string& fixture, const Fixture& f) : indexPath(f.index), nextQuery(f.nextQuery) {
    index = test::ReadFile(kFixtures + fixture + ".html");
    if (!f.nextFile.empty()) next = test::ReadFile(kFixtures + f.nextFile);
    server.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
      std::string host = server.url("");
      std::string query;
      for (const auto& [k, v] : req.params) query += k + "=" + v;
      if (req.path == indexPath && (req.params.empty() || (!next.empty() && query == nextQuery))) {
        std::string page = req.params.empty() ? index : next;
        for (std::size_t at; (at = page.find("@HOST@")) != std::string::npos;) page.replace(at, 6, host);
        res.set_content(page, "text/html; charset=utf-8");
        return;
      }
      std::string h = "Статья " + Stem(req.path, query);
      std::string body = h.find("zagolovok") != std::string::npos ? "" : "<p>Текст: " + h + ".</p>";
      res.set_content("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + h +
                          " — Сайт</title><meta property=\"og:title\" content=\"" + h +
                          "\"></head><body><div class=\"menu\"><a href=\"/\">Главная</a></div><article><h1 "
                          "class=\"entry-title\">" + h + "</h1>" + body + "</article></body></html>",
                      "text/html; charset=utf-8");
    });
    server.Start();
  }
};

// The addresses the preview lists under «Ссылки, которые возьмёт макрос», and the line said
// of each.
std::vector<std::string> TakenLinks(const std::string& out, std::vector<std::string>* said = nullptr) {
  std::vector<std::string> links;
  std::istringstream lines(out.substr(std::min(out.size(), out.find("Ссылки, которые возьмёт макрос"))));
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("  http", 0) == 0) links.push_back(line.substr(2));
    else if (said && line.rfind("      ", 0) == 0) said->push_back(line.substr(6));
  }
  return links;
}

using Cli = test::CliHome;

TEST(NewChannelCli, TakesExactlyTheListsArticlesOnEveryPageShape) {
  for (const char* name :
       {"wordpress", "drupal", "handwritten", "table", "menus", "excerpts", "cyrillic", "pagination", "cards"}) {
    SCOPED_TRACE(name);
    Fixture f = ReadFixture(name);
    ASSERT_FALSE(f.articles.empty());
    Site site(name, f);
    Cli cli;
    test::CommandResult made =
        cli.Run("new Канал " + test::ShellQuote(site.server.url(f.index)) + " --example " +
                test::ShellQuote(site.server.url(f.example)) + (f.pages.empty() ? "" : " --pages " + f.pages));
    ASSERT_EQ(made.exitCode, 0) << made.out;

    // The preview's links: precision and recall against the list.
    std::vector<std::string> taken;
    for (const std::string& url : TakenLinks(made.out)) taken.push_back(StemOfUrl(url));
    std::set<std::string> expected(f.articles.begin(), f.articles.end()), unique(taken.begin(), taken.end());
    std::size_t right = std::count_if(unique.begin(), unique.end(), [&](const std::string& s) { return expected.count(s) > 0; });
    EXPECT_EQ(right, expected.size()) << "recall " << right << "/" << expected.size() << "\n" << made.out;
    EXPECT_EQ(right, taken.size()) << "precision " << right << "/" << taken.size() << "\n" << made.out;
    EXPECT_EQ(taken, f.articles) << "in page order, each once\n" << made.out;

    // The real engine with the written macro saves exactly those, named by their headlines.
    test::CommandResult run = cli.Run("download Канал --log raw");
    EXPECT_EQ(run.exitCode, 0) << run.out;
    std::vector<std::string> names;
    for (const std::string& a : f.articles) names.push_back("Статья " + a + ".html");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(SavedNews(cli.home / "Accounts/Канал"), names) << run.out;

    // The checker finds nothing in what the assistant wrote.
    test::CommandResult check = cli.Run("check Канал");
    EXPECT_EQ(check.exitCode, 0) << check.out;
  }
}

TEST(NewChannelCli, MakesTheFolderItsChannelWithItOrSaysWhatToDo) {
  Site site("handwritten", ReadFixture("handwritten"));
  Cli cli;
  test::WriteFile(cli.home / "Accounts/Файл", "not a folder");
  const std::string list = " " + test::ShellQuote(site.server.url("/index.html"));
  const std::string example = " --example " + test::ShellQuote(site.server.url("/z/cerkov-1812.html"));
  const struct {
    std::string args;
    int exitCode;
    const char* says;
    std::vector<const char*> macros;  // folders that hold a macro afterwards ("" none)
  } cases[] = {
      {"Заметки" + list + example + " --dry-run", 0, "Пробный запуск: ничего не записано", {}},
      {"Заметки" + list + example, 0, "Создан канал «Заметки»: ", {"Заметки"}},
      {"Заметки" + list + example, 1,
       "канал «Заметки» уже есть; выберите другое имя или назовите рубрику, которую добавить в него", {"Заметки"}},
      {"Заметки" + list + example + " --rubric Свежее", 0, "Создана рубрика «Свежее» в канале «Заметки»: ",
       {"Заметки", "Заметки/Свежее"}},
      {"Заметки" + list + example + " --rubric Свежее", 1, "рубрика «Свежее» в канале «Заметки» уже есть; выберите другое имя",
       {"Заметки/Свежее"}},
      // A rubric of a channel not yet there makes the channel with it.
      {"Новый" + list + example + " --rubric Главное", 0, "Создан канал «Новый» и рубрика «Главное»: ",
       {"Новый", "Новый/Главное"}},
      {".Скрытый" + list + example + " --rubric Главное", 1, "нельзя назвать канал «.Скрытый»: имя начинается с точки", {}},
      {"Файл" + list + example + " --rubric Главное", 1, "на месте канала «Файл» уже есть файл или папка вне дерева каналов",
       {}},
      {"Другой" + list + " --example " + test::ShellQuote(site.server.url("/z/net-takoj.html")), 1,
       "нет ссылки на пример", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    test::CommandResult r = cli.Run("new " + c.args);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.out;
    EXPECT_NE(r.out.find(c.says), std::string::npos) << r.out;
    for (const char* folder : c.macros)
      EXPECT_TRUE(std::filesystem::exists(cli.home / ("Accounts/" + std::string(folder) + "/Skimlet-macros.ini"))) << folder;
  }
  EXPECT_FALSE(std::filesystem::exists(cli.home / "Accounts/.Скрытый"));
  EXPECT_FALSE(std::filesystem::exists(cli.home / "Accounts/Другой"));
  EXPECT_EQ(test::ReadFile(cli.home / "Accounts/Файл"), "not a folder");

  // The channel made with its rubric is an empty macro the checker passes, and a download of it
  // saves the rubric's news.
  EXPECT_EQ(test::ReadFile(cli.home / "Accounts/Новый/Skimlet-macros.ini"), "0\r\n");
  EXPECT_EQ(cli.Run("check Новый").exitCode, 0);
  test::CommandResult run = cli.Run("download Новый --log raw");
  EXPECT_EQ(run.exitCode, 0) << run.out;
  EXPECT_EQ(SavedNews(cli.home / "Accounts/Новый/Главное").size(), 3u) << run.out;
}

// The history every channel shares makes a download skip what another folder saved: the trial
// run names that folder.
TEST(NewChannelCli, TheTrialRunNamesTheFolderThatSavedANewsAlready) {
  Site site("handwritten", ReadFixture("handwritten"));
  Cli cli;
  const std::string args = " " + test::ShellQuote(site.server.url("/index.html")) + " --example " +
                           test::ShellQuote(site.server.url("/z/cerkov-1812.html"));
  ASSERT_EQ(cli.Run("new Вести" + args + " --rubric Город").exitCode, 0);
  test::WriteFile(cli.home / "Accounts/Вести/Город/Статья cerkov-1812.html",
                  "<!-- The file created from Skimlet.\r\nSkimletNAME:" + test::Cp("Статья cerkov-1812") +
                      "\r\nSkimletURL:" + site.server.url("/z/cerkov-1812.html") + "\r\n-->\r\n<p>x</p>");

  test::CommandResult dry = cli.Run("new Копия" + args + " --dry-run");
  EXPECT_EQ(dry.exitCode, 0) << dry.out;
  std::vector<std::string> said;
  std::vector<std::string> links = TakenLinks(dry.out, &said);
  ASSERT_EQ(links.size(), said.size()) << dry.out;
  for (std::size_t i = 0; i < links.size(); ++i) {
    const bool savedThere = StemOfUrl(links[i]) == "cerkov-1812";
    EXPECT_EQ(said[i], savedThere ? "Статья cerkov-1812 (уже сохранена в «Вести/Город»)" : "Статья " + StemOfUrl(links[i]))
        << dry.out;
  }
}

// Articles that all carry the site's name as their only heading would overwrite each other's
// news: the assistant refuses and says why.
TEST(NewChannelCli, RefusesAListWhoseArticlesNoHeadingTellsApart) {
  test::HttpTestServer server;
  server.Get(".*", [](const httplib::Request& req, httplib::Response& res) {
    const std::string page = req.path == "/list/"
                                 ? "<ul><li><a href=\"/a/1.html\">Один</a></li><li><a href=\"/a/2.html\">Два</a></li>"
                                   "<li><a href=\"/a/3.html\">Три</a></li></ul>"
                                 : "<title>Сайт</title><h1>Сайт</h1><p>Текст " + req.path + "</p>";
    res.set_content(page, "text/html; charset=utf-8");
  });
  server.Start();
  Cli cli;
  test::CommandResult made = cli.Run("new Канал " + test::ShellQuote(server.url("/list/")) + " --example " +
                                     test::ShellQuote(server.url("/a/1.html")));
  EXPECT_EQ(made.exitCode, 1) << made.out;
  EXPECT_NE(made.out.find("одинаковые заголовки"), std::string::npos) << made.out;
  EXPECT_FALSE(std::filesystem::exists(cli.home / "Accounts/Канал"));
}

}  // namespace
}  // namespace skimlet
