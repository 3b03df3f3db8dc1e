// The commands of a download run one by one, called directly on a run that is not started:
// URL resolution, link search, history test, cleanup, title, file names, news files, fetcher.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <thread>

#include "engine/DownLoad.h"
#include "fetch/Transfer.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/RubricRun.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

using test::Cp;
using Req = httplib::Request;
using Res = httplib::Response;

using Cmd = test::RubricRun;

TEST(CommandResolveURL, RelativeAbsoluteHttpsBareHostAndEmptyBase) {
  Cmd c;
  struct Case { const char *start, *link, *want; };
  const char* d = "http://h.ru/dir/index.html";
  const Case cases[] = {
      {d, "a.html", "http://h.ru/dir/a.html"}, {d, "/b.html", "http://h.ru/b.html"}, {d, "#top", "#top"},
      {d, "HTTP://Other.ru/x/y.html", "http://Other.ru/x/y.html"},
      {"https://h.ru/dir/i.html", "a.html", "https://h.ru/dir/a.html"}, {"https://h.ru/d/i", "/b/c", "https://h.ru/b/c"},
      {"HTTPS://h.ru/i.html", "x", "https://h.ru/x"}, {"h.ru/dir/i.html", "a.html", "http://h.ru/dir/a.html"},
      {"h.ru/dir/i.html", "/b.html", "http://h.ru/b.html"}, {"http://h.ru", "/b.html", "http://h.ru/b.html"},
      {"http://h.ru", "a.html", "http://h.ru/a.html"}, {"", "a.html", ""}, {"", "#top", ""}, {"", "http://x.ru/", ""},
  };
  for (const Case& k : cases) {
    c.B().StartURL = k.start;
    EXPECT_EQ(c.run->ResolveURL(k.link), k.want) << k.start << " + " << k.link;
  }
}

TEST(CommandFindUrlNews, TakesMatchingLinksInPageOrderAndMarksThemTaken) {
  Cmd c;
  c.B().IndexHTML = "<a href=\"/news/1.html\">1</a><A HREF='/other.html'>o</A><a href= \"/news/2.html\">2</a>"
                    "<a href=/news/3.html>3</a>";
  c.run->FindUrlNews("/news/", "9");
  EXPECT_EQ(c.B().NewsURL, "/news/1.html");
  EXPECT_EQ(c.Last(), "128 Мир> step 3>> FindUrlNews(/news/) - OK. URL=/news/1.html");
  EXPECT_EQ(c.B().IndexHTML.substr(0, 12), "<a href=\"#\">");
  c.run->FindUrlNews("/news/", "9");
  EXPECT_EQ(c.B().NewsURL, "/news/2.html");
  c.run->FindUrlNews("/news/", "9");  // the page's last HREF=, ended by ">"
  EXPECT_EQ(c.B().NewsURL, "/news/3.html");
  c.run->SetStepIndex(4);
  c.run->FindUrlNews("/news/", "9");
  EXPECT_EQ(c.B().NewsURL, "");
  EXPECT_EQ(c.Last(), "16711680 Мир> step 3>>FindUrlNews. В IndexHTML НЕ НАЙДЕНО новых ссылок, содержащих "
                      "/news/    Переход к шагу №9");
  EXPECT_EQ(c.run->StepIndex(), 9);

  c.B().IndexHTML = "<a href=\"/news/5.html\">";  // an empty key: nothing taken, nothing logged, no jump
  c.B().NewsURL = "old";
  c.run->FindUrlNews("", "5");
  EXPECT_EQ(c.B().NewsURL, "");
  EXPECT_EQ(c.Lines(), 4u);
  EXPECT_EQ(c.run->StepIndex(), 9);
  EXPECT_EQ(c.B().IndexHTML, "<a href=\"/news/5.html\">");

  // A link running to the end of the page loses its last character.
  c.B().IndexHTML = "<a href=/news/77";
  c.run->FindUrlNews("/news/", "9");
  EXPECT_EQ(c.B().NewsURL, "/news/7");
}

TEST(CommandFindUrlNews, OnlyTheFirst10000LinksCount) {
  Cmd c;
  std::string filler;
  for (int i = 0; i < 9999; ++i) filler += "<a href=\"/a.html\">";
  c.B().IndexHTML = filler + "<a href=\"/news/5.html\">";
  c.run->FindUrlNews("/news/", "9");
  EXPECT_EQ(c.B().NewsURL, "/news/5.html");
  c.B().IndexHTML = filler + "<a href=\"/b.html\"><a href=\"/news/5.html\">";
  c.run->FindUrlNews("/news/", "9");
  EXPECT_EQ(c.B().NewsURL, "");
  EXPECT_EQ(c.run->StepIndex(), 9);
}

TEST(CommandFindUrlNews, ACyrillicFragmentFindsPercentEncodedCyrillicLinks) {
  struct Case { const char *link, *fragment; bool found; };
  const Case cases[] = {
      {"/wiki/%D0%9D%D0%BE%D0%B2%D0%BE%D1%81%D1%82%D0%B8", "Новости", true},  // UTF-8 escapes
      {"/wiki/%d0%9d%d0%be%d0%b2%d0%be%d1%81%d1%82%d0%b8/2", "/wiki/Нов*/~", true},
      {"/wiki/%CD%EE%E2%EE%F1%F2%E8", "Новости", true},  // Windows-1251 escapes
      {"/wiki/%D0%9D%zz", "Н%zz", true},                  // what is no escape stays as it is
      {"/wiki/%D0%9D%D0%BE", "Новости", false},
      {"/a%20b", "a b", false},  // an ASCII fragment sees only the link
  };
  for (const Case& k : cases) {
    Cmd c;
    const std::string link = Cp(k.link);
    c.B().IndexHTML = "<a href=\"/other\"><a href=\"" + link + "\">";
    c.run->FindUrlNews(Cp(k.fragment), "9");
    // Taken and logged (and so remembered) as the page wrote it.
    EXPECT_EQ(c.B().NewsURL, k.found ? link : "") << k.link << " / " << k.fragment;
    if (k.found) {
      EXPECT_EQ(c.Last(), "128 Мир> step 3>> FindUrlNews(" + std::string(k.fragment) + ") - OK. URL=" + k.link);
    }
    c.B().NewsURL = link;  // and GotoMacro tests NewsURL the same way
    c.run->SetStepIndex(4);
    c.run->GotoMacro("7", "StandartParameter=1", "StandartParameter=0", Cp(k.fragment));
    EXPECT_EQ(c.run->StepIndex(), k.found ? 7 : 4) << k.link;
  }
}

TEST(CommandEditUrlNews, ReplacesWrapsResolvesAndLogsOnlyAChange) {
  Cmd c;
  c.B().StartURL = "http://h.ru/dir/index.html";
  c.B().NewsURL = "/news/1.html?sid=5";
  c.run->EditUrlNews("?sid=~", "", "", "");
  EXPECT_EQ(c.B().NewsURL, "http://h.ru/news/1.html");
  EXPECT_EQ(c.host.Log(), (std::vector<std::string>{"32896 Мир> step 3>> EditUrlNews([?sid=~-->] Begin= End=",
                                                     "32896 Мир> step 3>> ГОТОВО. Полученный Url=http://h.ru/news/1.html"}));

  c.B().NewsURL = "1.html";
  c.run->EditUrlNews("zzz", "", "a/", "?p=1");
  EXPECT_EQ(c.B().NewsURL, "http://h.ru/dir/a/1.html?p=1");
  c.run->EditUrlNews("zzz", "", "", "");  // already absolute: unchanged, silent
  EXPECT_EQ(c.B().NewsURL, "http://h.ru/dir/a/1.html?p=1");
  EXPECT_EQ(c.Lines(), 4u);

  c.B().StartURL.clear();
  c.run->EditUrlNews("", "", "", "");
  EXPECT_EQ(c.B().NewsURL, "");
}

TEST(CommandEditIndexHTML, ReplacesUpTo999MatchesAndStarsReachTheEndsOfThePage) {
  struct Case { const char *page, *p1, *p2, *want; };
  const std::string many(1000, 'a');
  const Case cases[] = {
      // From the start only once: a later "<main" does not cut away what the first kept.
      {"h<main>a<main>b", "*<main", "<main", "<main>a<main>b"},
      {"<main>a</main><footer>f", "</main>*", "</main>", "<main>a</main>"},
      {"<h2>1</h2><div class=s><a href=x></div><h2>2</h2><div class=s>t</div>", "<div class=s>*</div>", "",
       "<h2>1</h2><h2>2</h2>"},
      {many.c_str(), "a", "b", ""},
  };
  for (const Case& k : cases) {
    Cmd c;
    c.B().IndexHTML = k.page;
    c.run->EditIndexHTML(k.p1, k.p2);
    EXPECT_EQ(c.B().IndexHTML, *k.want ? k.want : std::string(999, 'b') + "a") << k.p1;
  }
  Cmd c;
  c.B().IndexHTML = "xax";
  c.run->EditIndexHTML("a", "bb");
  EXPECT_EQ(c.Last(), "32896 Мир> step 3>> EditIndexHTML(a --> bb) - ГОТОВО. Размер IndexHTML: 3 -> 4");
  c.run->EditIndexHTML("zz", "");
  EXPECT_EQ(c.Last(), "32896 Мир> step 3>> EditIndexHTML. Фрагмента zz в IndexHTML нет, список не изменён.");
}

TEST(CommandGetNextIndex, TheLinkIsTheOneOfTheFragmentsTagOrTheFirstBehindIt) {
  struct Case { const char *page, *p1, *want; };
  const Case cases[] = {
      {"<a href=/1>1</a> <a class=\"next\" href=\"/p/2\">", "class=\"next\"", "/p/2"},
      {"<a href=/1>1</a> <a href=\"/p/2\" rel=\"next\">", "rel=\"next\"", "/p/2"},
      {"<li class=next><a href='/p/2'>", "<li class=next>", "/p/2"},
      {"<a href=\"/list/page/2/\">", "page/", "/list/page/2/"},
      {"<a href=/p/1 rel=prev>1</a> <li class=next></li>", "class=next", ""},
      {"<a href=/p/1 rel=next> <a href=/p/3>", "zzz", ""},
  };
  for (const Case& k : cases) EXPECT_EQ(NextIndexLink(k.page, k.p1), k.want) << k.page << " / " << k.p1;
}

TEST(CommandEditHTMLNews, NeutralisesLowerCaseScriptsAndAbsolutisesAttributes) {
  Cmd c;
  c.B().StartURL = "http://h.ru/dir/i.html";
  c.B().HTML = "<p>a</p><script>x</script><SCRIPT>y</SCRIPT><noscript>n</noscript>document.write(\"a\");"
               "<a href=\"x.html\">x</a><img SRC=/p.gif> t<a Href=\"m.html\"><img src='q.gif'>";
  c.run->EditHTMLNews("StandartParameter=0", "StandartParameter=0", "<p>a</p>", "<p>b</p>");
  EXPECT_EQ(c.B().HTML,
            "<p>b</p><!-- The script delete Skimlet --><!-- The script delete Skimlet -->"
            "<!-- The NOscript delete Skimlet -->document.write(' ');<a HREF=\"http://h.ru/dir/x.html\">x</a>"
            "<img SRC=http://h.ru/p.gif> t<a HREF=\"http://h.ru/dir/m.html\"><img SRC='http://h.ru/dir/q.gif'>");
  EXPECT_EQ(c.host.Log(), (std::vector<std::string>{"32896 Мир> step 3>> EditHTMLNews(<p>a</p> --> <p>b</p> Начало обработки.",
                                                     "32896 Мир> step 3>> EditHTMLNews(<p>a</p> --> <p>b</p> ГОТОВО."}));

  const std::string page = "<script>x</script><a href=\"x.html\">";
  c.B().HTML = page;
  c.run->EditHTMLNews("", "", "", "");
  EXPECT_EQ(c.B().HTML, page);

  c.B().StartURL.clear();  // no index page: every value becomes empty
  c.run->EditHTMLNews("StandartParameter=0", "", "", "");
  EXPECT_EQ(c.B().HTML, "<script>x</script><a HREF=\"\">");
  c.B().StartURL = "http://h.ru/";
  c.B().HTML = "<a href=";  // an unfinished tag at the very end is no tag
  c.run->AbsolutizeAttribute("href=");
  EXPECT_EQ(c.B().HTML, "<a href=");
  c.B().HTML = "<a href=\"a.html\"><img src=\"p.gif\">";  // one attribute at a time
  c.run->AbsolutizeAttribute("src=");
  EXPECT_EQ(c.B().HTML, "<a href=\"a.html\"><img SRC=\"http://h.ru/p.gif\">");
}

TEST(CommandFindNameNews, TakesTheTitleBetweenMarkersWithoutTheEndMarker) {
  Cmd c;
  c.B().NewsURL = "http://h.ru/n.html";
  c.B().HTML = "<html><!-- <title>Old</title> --><title>News: 5/10</title>";
  c.run->FindNameNews("<title>", "</title>");
  EXPECT_EQ(c.B().NewsName, "News 510");
  EXPECT_EQ(c.Last(), "128 Мир> step 3>> FindNameNews для http://h.ru/n.html Имя: News 510");

  // Markers in any case; the name stops before the end marker's first character.
  c.B().HTML = Cp("<H1>Привет&nbsp;мир КОНЕЦ");
  c.run->FindNameNews("<h1>", Cp("конец"));
  EXPECT_EQ(c.B().NewsName, Cp("Привет мир"));

  for (const char* html : {"</b> x <b>Title", "<b>A</b>", "no markers"}) {
    c.B().HTML = html;
    c.run->FindNameNews("<b>", "</b>");
    EXPECT_EQ(c.B().NewsName.rfind(Cp("Лента - Мир ["), 0), 0u) << html;
  }
}

TEST(CommandBuildNewsFileName, CutsReplacesSuffixesAndFitsUtf8) {
  Cmd c;
  const std::string folder = c.Folder();
  c.B().NewsName = std::string(300, 'a');
  EXPECT_EQ(c.run->BuildNewsFileName(), folder + std::string(239, 'a') + ".html");
  c.B().NewsName = "a:b/c>d<e?f*g";
  EXPECT_EQ(c.run->BuildNewsFileName(), folder + "a-b.c.d.e f g.html");

  test::WriteFile(folder + "T.html", "x");
  c.B().NewsName = "T";
  EXPECT_EQ(c.run->BuildNewsFileName(), folder + "T (1).html");
  EXPECT_EQ(c.B().NewsName, "T (1)");
  test::WriteFile(folder + "T (1).html", "x");
  c.B().NewsName = "T";
  EXPECT_EQ(c.run->BuildNewsFileName(), folder + "T (2).html");
  test::WriteFile(folder + "F.htm", "x");  // a favourite
  c.B().NewsName = "F";
  EXPECT_EQ(c.run->BuildNewsFileName(), folder + "F (1).html");

  // Cyrillic takes two bytes a letter on disk: 125 letters and ".html" are 255 bytes.
  auto letters = [](int n) {
    std::string out;
    while (n--) out += Cp("я");
    return out;
  };
  c.B().NewsName = letters(239);
  std::string path = c.run->BuildNewsFileName();
  EXPECT_EQ(c.B().NewsName, letters(125));
  EXPECT_EQ(std::filesystem::path(path).filename().string().size(), 255u);
  test::WriteFile(path, "x");
  c.run->BuildNewsFileName();  // " (1)" costs two more letters
  EXPECT_EQ(c.B().NewsName, letters(123) + " (1)");

  c.B().NewsName = ".hidden";
  EXPECT_EQ(std::filesystem::path(c.run->BuildNewsFileName()).filename().string(), "_hidden.html");

  // An empty name: channel - rubric [date - time] with the date's "/" and the time's ":" replaced.
  auto stamp = [](std::time_t t) {
    std::string s = Cp("Лента - Мир [") + ShortDate(t) + " - " + LongTime(t) + "] ";
    for (char& ch : s) ch = ch == '/' ? '.' : ch == ':' ? '-' : ch;
    return s;
  };
  std::time_t before = std::time(nullptr);
  c.B().NewsName.clear();
  c.run->BuildNewsFileName();
  std::time_t after = std::time(nullptr);
  EXPECT_TRUE(c.B().NewsName == stamp(before) || c.B().NewsName == stamp(after)) << c.B().NewsName;
}

std::vector<std::string> FilesIn(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(CommandSaveNews, WritesHeaderAndNormalisedBodyReadOnlyAndRecordsHistory) {
  Cmd c;
  c.B().NewsURL = "http://h.ru/n1.html";
  c.B().NewsName = "Short";
  c.B().HTML = std::string(49, 'x');
  c.run->SaveNews();
  EXPECT_EQ(c.Last(), "255 Мир> step 3>> SaveNews. Файл не создан. HTML меньше 50 байт. ");
  EXPECT_FALSE(FileExists(c.Folder() + "Short.html"));

  c.B().NewsName = Cp("Новость");
  c.B().HTML = "\n<p>a</p>\r\n\r\n\tb\n\r" + std::string(33, 'y');  // 50 bytes
  std::time_t before = std::time(nullptr);
  c.run->SaveNews();
  std::time_t after = std::time(nullptr);
  const std::string path = c.Folder() + "Новость.html";
  EXPECT_EQ(c.Last(), "32768 Мир> step 3>> SaveNews. Записан файл: " + path);
  const std::string content = test::ReadFile(path);
  const std::string first = content.substr(0, content.find("\r\n") + 2);
  EXPECT_EQ(first.rfind("<!-- The file created from Skimlet. See ", 0), 0u);
  EXPECT_EQ(first.find("-->"), std::string::npos);
  auto fileAt = [&](std::time_t t) {
    return first + Cp("SkimletNAME:Новость\r\nSkimletURL:http://h.ru/n1.html\r\nSkimletNode:Лента\r\nSkimletDate:") +
           ShortDate(t) + "\r\nSkimletTime:" + LongTime(t) + "\r\n-->\r\n\n<p>a</p>\r\nb\r\n" + std::string(33, 'y');
  };
  EXPECT_TRUE(content == fileAt(before) || content == fileAt(after)) << content;
  EXPECT_TRUE(IsFileReadOnly(path));
  EXPECT_EQ(c.run->SavedCount(), 1);
  EXPECT_TRUE(c.tree.IsBold(c.rubric) && c.tree.IsBold(c.channel));
  ASSERT_EQ(c.host.Saved().size(), 1u);
  EXPECT_EQ(c.host.Saved()[0].path, path);

  ASSERT_EQ(c.host.history.Count(), 1u);
  const std::string line = c.host.history.LastLine();
  EXPECT_NE(line.find(Cp("  NewsURL=http://h.ru/n1.html  Новость")), std::string::npos) << line;
  EXPECT_EQ(test::ReadFile(HistoryFilePath(c.dir.path())), line + "\r\n");
  EXPECT_TRUE(c.run->History().Contains("http://h.ru/n1.html"));

  EXPECT_EQ(NormalizeNewsBody("a\r\n\r\nb"), "a\r\nb");
  EXPECT_EQ(NormalizeNewsBody("a\n\rb\tc"), "a\r\nb\r\nc");
}

TEST(CommandSaveNews, FailedWriteLogsRedLeavesNoFileAndRecordsNothing) {
  Cmd c;
  MakeDirs(c.Folder() + "Blocked.html");  // the news file's name is taken by a directory
  const auto before = FilesIn(c.Folder());
  c.B().NewsURL = "http://h.ru/n2.html";
  c.B().NewsName = "Blocked";
  c.B().HTML = std::string(100, 'z');
  c.run->SaveNews();
  EXPECT_EQ(c.Last(), "255 Мир> step 3>> SaveNews. Файл не создан: Не удалось записать файл " + c.Folder() +
                          "Blocked.html (Is a directory)");
  EXPECT_EQ(FilesIn(c.Folder()), before);
  EXPECT_EQ(c.host.history.Count(), 0u);
  EXPECT_TRUE(c.host.Saved().empty());
  EXPECT_EQ(c.run->SavedCount(), 0);
  EXPECT_FALSE(FileExists(HistoryFilePath(c.dir.path())));
}

// gzip of "Skimlet decoded this gzip body.\n" repeated 64 times.
const unsigned char kGzip[] = {
    0x1f, 0x8b, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x03, 0x0b, 0xce, 0xce, 0xcc, 0xcd, 0x49, 0x2d, 0x51,
    0x48, 0x49, 0x4d, 0xce, 0x4f, 0x49, 0x4d, 0x51, 0x28, 0xc9, 0xc8, 0x2c, 0x56, 0x48, 0xaf, 0xca, 0x2c, 0x50,
    0x48, 0xca, 0x4f, 0xa9, 0xd4, 0xe3, 0x0a, 0x1e, 0x95, 0x1f, 0x95, 0x1f, 0x95, 0x1f, 0x95, 0x1f, 0x95, 0x1f,
    0x95, 0x1f, 0x95, 0x1f, 0x76, 0xf2, 0x00, 0x87, 0x73, 0x38, 0x20, 0x00, 0x08, 0x00, 0x00};

const char kUtf8Page[] = "<html><head><meta charset=\"utf-8\"><title>Привет мир</title></head><body>ARTICLE</body></html>";

// A loopback site with every kind of answer the fetcher meets.
struct Site : Cmd {
  test::HttpTestServer server;
  std::atomic<int> newsHits{0};
  void Serve(const std::string& path, std::string body, std::string type = "text/html", int status = 200) {
    server.Get(path, [=](const Req&, Res& res) {
      res.status = status;
      res.set_content(body, type);
    });
  }
  Site() {
    Serve("/index.html", "<a href=\"/news?id=1\">news</a>");
    Serve("/empty", "");
    Serve("/missing", "no such page", "text/html", 404);
    Serve("/unavailable", "<p>page under repair</p>", "text/html", 503);
    Serve("/no-content", "", "text/html", 204);
    server.Get("/trickle", [this](const Req&, Res& res) {  // a byte every 200 ms, for ever
      res.set_chunked_content_provider("text/plain", [this](std::size_t, httplib::DataSink& sink) {
        return !server.WaitForStop(std::chrono::milliseconds(200)) && sink.write("x", 1);
      });
    });
    server.Get("/endless", [this](const Req&, Res& res) {  // 20 KB/s, for ever
      res.set_chunked_content_provider("text/plain", [this](std::size_t, httplib::DataSink& sink) {
        return !server.WaitForStop(std::chrono::milliseconds(50)) && sink.write(std::string(1000, 'x').data(), 1000);
      });
    });
    Serve("/302", "moved news", "text/html", 302);
    Serve("/1000", std::string(1000, 'k'), "text/plain");
    Serve("/utf8", kUtf8Page, "text/html; charset=utf-8");
    server.Get("/news", [this](const Req& req, Res& res) {
      ++newsHits;
      res.set_content("<p>ARTICLE " + req.get_param_value("id") + "</p>", "text/html");
    });
    server.Get("/old", [this](const Req&, Res& res) { res.set_redirect(server.url("/index.html")); });
    server.Get("/to-ftp", [](const Req&, Res& res) { res.set_redirect("ftp://127.0.0.1/file.txt"); });
    server.Get("/gz", [](const Req&, Res& res) {
      res.set_header("Content-Encoding", "gzip");
      res.set_content(reinterpret_cast<const char*>(kGzip), sizeof kGzip, "text/plain");
    });
    server.Get("/short", [](const Req&, Res& res) {  // closes the connection 990 bytes early
      res.set_content_provider(1000, "text/plain",
                               [](std::size_t, std::size_t, httplib::DataSink& sink) { return !sink.write("0123456789", 10); });
    });
    server.Get("/huge", [](const Req&, Res& res) {
      res.set_content_provider((64u << 20) + 1, "text/plain", [](std::size_t, std::size_t n, httplib::DataSink& sink) {
        static const std::string block(1 << 16, 'a');
        return sink.write(block.data(), std::min(n, block.size()));
      });
    });
    server.Get("/silent", [this](const Req&, Res&) { server.WaitForStop(); });
    server.Start();
  }
  ~Site() { run.reset(); }  // its kept-alive connection would hold up the server's stop
  std::string Seen(const std::string& name) {
    auto headers = server.lastRequestHeaders();
    auto it = headers.find(name);
    return it == headers.end() ? "<none>" : it->second;
  }
  void News(const std::string& path, const std::string& key = "ARTICLE", const std::string& jump = "7") {
    B().NewsURL = server.url(path);
    run->GetNews(key, jump);
  }
};

TEST(CommandGetStart, FetchesIndexWithTheHeaderBlockAndFlagsOfTheSettings) {
  Site s;
  const std::string url = s.server.url("/index.html");
  s.run->GetStart(url, "news", "9");
  EXPECT_EQ(s.B().IndexHTML, "<a href=\"/news?id=1\">news</a>");
  EXPECT_EQ(s.host.Log(), (std::vector<std::string>{
                              "128 Мир> step 3>>GetStart. Подключение к " + url,
                              "128 Мир> step 3>>GetStart. Получен ответ от " + url + ". Идет загрузка в IndexHTML-буфер",
                              "128 Мир> step 3>> GetStart(" + url + ") - ГОТОВО"}));
  EXPECT_EQ(s.Seen("Accept"), "*/*");
  EXPECT_EQ(s.Seen("Accept-Language"), "ru");
  EXPECT_EQ(s.Seen("Accept-Encoding"), "gzip, deflate");
  std::set<std::string> agents;
  for (const AgentRow& row : AgentTable) agents.insert(row.agent);
  EXPECT_TRUE(agents.count(s.Seen("User-Agent"))) << s.Seen("User-Agent");
  EXPECT_EQ(s.run->OpenFlags(), 0xA2000000u);
  EXPECT_EQ(s.host.Status(), "last URL=" + url);

  s.News("/news?id=4");  // an article goes without the header block
  EXPECT_EQ(s.Seen("Accept-Language"), "<none>");

  // A bare host gets "http://"; relative links then resolve against it as http.
  const std::string bare = url.substr(7);
  s.run->GetStart(bare, "news", "9");
  EXPECT_EQ(s.Last(), "128 Мир> step 3>> GetStart(" + bare + ") - ГОТОВО");
  s.B().NewsURL = "/news?id=2";
  s.run->EditUrlNews("", "", "", "");
  EXPECT_EQ(s.B().NewsURL, s.server.url("/news?id=2"));
  const std::string upper = "HtTp://" + url.substr(7);  // holds "http://" in lower case: unchanged
  s.run->GetStart(upper, "news", "9");
  EXPECT_EQ(s.Last(), "128 Мир> step 3>> GetStart(" + upper + ") - ГОТОВО");
  s.run->GetStart(s.server.url("/302"), "news", "9");  // a final 302 counts as an answer
  EXPECT_EQ(s.B().IndexHTML, "moved news");
  s.run->GetStart(s.server.url("/old"), "news", "9");  // redirected
  EXPECT_EQ(s.B().IndexHTML, "<a href=\"/news?id=1\">news</a>");
}

// A loopback port that keeps the first bytes a client sends, then hangs up.
struct RawListener {
  int fd = socket(AF_INET, SOCK_STREAM, 0), port = 0;
  std::string first;
  std::thread thread;
  RawListener() {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), len) || listen(fd, 4) || getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len))
      throw std::runtime_error("RawListener");
    port = ntohs(a.sin_port);
    thread = std::thread([this] {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 10000) <= 0) return;
      pollfd q{accept(fd, nullptr, nullptr), POLLIN, 0};
      char buf[16];
      ssize_t n = poll(&q, 1, 10000) > 0 ? recv(q.fd, buf, sizeof buf, 0) : 0;
      if (n > 0) first.assign(buf, static_cast<std::size_t>(n));
      close(q.fd);
    });
  }
  std::string Take() {
    if (thread.joinable()) thread.join();
    return first;
  }
  ~RawListener() {
    Take();
    close(fd);
  }
};

TEST(CommandGetStart, FailuresEndTheRunAndLeaveNothingOpen) {
  Site s;
  s.run->GetStart(s.server.url("/missing"), "news", "9");
  EXPECT_EQ(s.Last(), "255 Мир> step 3>>GetStart. Остановка загрузки. Нет ответа: HTTP 404");
  EXPECT_EQ(s.run->StepIndex(), kEndRun);
  EXPECT_EQ(s.B().IndexHTML, "");
  EXPECT_TRUE(s.run->IndexFailed());
  EXPECT_EQ(s.run->FailedFetches(), 1);
  s.News("/news?id=3");  // the next fetch is not served from the refused index page
  EXPECT_EQ(s.B().HTML, "<p>ARTICLE 3</p>");

  // Every refusal says why.
  s.run->GetStart(s.server.url("/to-ftp"), "news", "9");
  EXPECT_EQ(s.Last(), "255 Мир> step 3>>GetStart. Остановка загрузки. Нет ответа: Переадресация на "
                      "ftp://127.0.0.1/file.txt отклонена: разрешены только http и https");
  s.run->GetStart(s.server.url("/no-content"), "news", "9");  // neither 200 nor 302
  EXPECT_EQ(s.Last(), "255 Мир> step 3>>GetStart. Остановка загрузки. Нет ответа: HTTP 204");
  s.run->GetStart("http://127.0.0.1:" + std::to_string(test::UnusedPort()) + "/", "news", "9");
  EXPECT_EQ(s.Last(), "255 Мир> step 3>>GetStart. Остановка загрузки. Нет ответа: Соединение отклонено");
  s.run->SetStepIndex(4);
  s.run->GetStart(s.server.url("/short"), "0123", "5");  // the answer came, the page broke off
  EXPECT_EQ(s.Last(), "255 Мир> step 3>>GetStart. Остановка загрузки. Страница не получена: Ответ оборван сервером");
  EXPECT_EQ(s.B().IndexHTML, "");
  EXPECT_EQ(s.B().StartURL, "");
  EXPECT_EQ(s.run->StepIndex(), kEndRun);
  EXPECT_EQ(s.run->FailedFetches(), 5);

  s.run->SetStepIndex(4);
  const std::string empty = s.server.url("/empty");
  s.run->GetStart(empty, "x", "5");
  EXPECT_EQ(s.host.Status(), "last URL=" + empty);
  EXPECT_EQ(s.Last(), "255 Мир> step 3>>GetStart. Нет фрагмента x. Переход к шагу №5");
  EXPECT_EQ(s.B().StartURL, "");
  EXPECT_EQ(s.run->StepIndex(), kEndRun);

  // "https://" is a scheme of its own: the start page is fetched over TLS, not as "http://https://...".
  RawListener tls;
  s.run->SetHttpTimeouts(5000, 1000);
  s.run->GetStart("https://127.0.0.1:" + std::to_string(tls.port) + "/", "x", "5");
  std::string hello = tls.Take();
  ASSERT_FALSE(hello.empty());
  EXPECT_EQ(hello[0], '\x16');  // a TLS handshake record
}

TEST(CommandGetNews, HistoryIsMatchedExactlyAndNamesTheExecutingStep) {
  Site s;
  s.host.history.Add("01.01.2026 10:00:00  NewsURL=" + s.server.url("/news?id=12") + "  Old", 100);
  s.run->SetHistorySnapshot(s.host.history.SnapshotText());
  s.News("/news?id=1");  // a prefix of a saved URL is a new page
  EXPECT_EQ(s.B().HTML, "<p>ARTICLE 1</p>");
  EXPECT_EQ(s.host.Log(), (std::vector<std::string>{
                              "16711680 Мир> step 3>> GetNews. " + s.server.url("/news?id=1") + " - Идет загрузка новости.",
                              "16711680 Мир> step 3>> GetInetFile. " + s.server.url("/news?id=1") + " - OK"}));

  s.B().NewsName = "stale";
  s.News("/news?id=12", "ARTICLE", "2");
  EXPECT_EQ(s.run->StepIndex(), 2);
  EXPECT_EQ(s.Last(), "255 Мир> step 3>> GetNews. Эта страница была загружена ранее. Переход на шаг №2");
  EXPECT_EQ(s.B().HTML, "");
  EXPECT_EQ(s.B().NewsName, "");
  EXPECT_EQ(s.newsHits, 1);
  std::size_t lines = s.Lines();
  s.News("/news?id=12", "ARTICLE", "abc");
  EXPECT_EQ(s.run->StepIndex(), -1);
  EXPECT_EQ(s.Lines(), lines);

  s.host.settings.notCheckHistory = true;
  s.News("/news?id=12");
  EXPECT_EQ(s.B().HTML, "<p>ARTICLE 12</p>");
  s.host.settings.notCheckHistory = false;
  s.run->SetHistorySnapshot("");  // a cleared history: fetched again
  s.News("/news?id=12");
  EXPECT_EQ(s.newsHits, 3);

  s.run->SetStepIndex(4);
  s.News("/news?id=5", "NOPE", "7");
  EXPECT_EQ(s.B().HTML, "");
  EXPECT_EQ(s.Last(), "255 Мир> step 3>> GetInetFile(" + s.server.url("/news?id=5") + ") не получен. Нет NOPE Переход на шаг №7");
  EXPECT_EQ(s.run->StepIndex(), 7);
}

TEST(CommandFetchPage, DecodesGzipAndRefusesCutOffOversizedAndSilentBodies) {
  Site s;
  s.News("/gz", "gzip");
  std::string unpacked;
  for (int i = 0; i < 64; ++i) unpacked += "Skimlet decoded this gzip body.\n";
  EXPECT_EQ(s.B().HTML, unpacked);

  static_assert(sizeof(TotalBytes().load()) == 8, "the byte counter is 64-bit");
  const std::uint64_t before = TotalBytes().load();
  s.News("/1000", "k");
  EXPECT_EQ(TotalBytes().load() - before, 1000u);

  auto failed = [&](const std::string& path, const std::string& reason) {
    return "255 Мир> step 3>> GetInetFile(" + s.server.url(path) + ") не получен. " + reason + ". Переход на шаг №7";
  };
  s.News("/short", "0123");
  EXPECT_EQ(s.B().HTML, "");
  EXPECT_EQ(s.Last(), failed("/short", "Ответ оборван сервером"));
  EXPECT_EQ(s.run->StepIndex(), 7);

  s.News("/huge", "a");
  EXPECT_EQ(s.B().HTML, "");
  EXPECT_EQ(s.Last(), failed("/huge", "Слишком большой ответ (больше 64 МиБ)"));

  s.News("/to-ftp", "a");
  EXPECT_EQ(s.B().HTML, "");

  s.run->SetHttpTimeouts(5000, 300);  // silence ends the transfer instead of hanging the run
  auto start = std::chrono::steady_clock::now();
  s.News("/silent", "a");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(s.B().HTML, "");
  EXPECT_EQ(s.Last(), failed("/silent", "Сервер не отвечает (нет данных 300 мс)"));
  EXPECT_EQ(s.run->FailedFetches(), 4);
  EXPECT_FALSE(s.run->IndexFailed());
}

TEST(CommandGetNews, AnErrorPageIsNoNewsWhateverItHolds) {
  Site s;
  for (const auto& [path, status] : {std::pair{"/missing", "404"}, std::pair{"/unavailable", "503"}}) {
    s.run->SetStepIndex(4);
    s.News(path, "page", "7");  // the error page holds the key fragment
    EXPECT_EQ(s.B().HTML, "");
    EXPECT_EQ(s.Last(), "255 Мир> step 3>> GetInetFile(" + s.server.url(path) + ") не получен. HTTP " + status +
                            ". Переход на шаг №7");
    EXPECT_EQ(s.run->StepIndex(), 7);
  }
  EXPECT_EQ(s.run->FailedFetches(), 2);
}

TEST(CommandGetNews, ATrickleOrAnEndlessPageFailsWithinTheLimitsOfTheSettings) {
  Site s;
  s.host.settings.lowSpeedTime = 1;  // 64 bytes/s over one second
  auto start = std::chrono::steady_clock::now();
  s.News("/trickle", "x");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(s.B().HTML, "");
  EXPECT_EQ(s.Last(), "255 Мир> step 3>> GetInetFile(" + s.server.url("/trickle") +
                          ") не получен. Слишком медленно (меньше 64 байт/с за 1 с). Переход на шаг №7");

  s.host.settings.maxTransferTime = 1;
  start = std::chrono::steady_clock::now();
  s.News("/endless", "x");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(s.B().HTML, "");
  EXPECT_EQ(s.Last(), "255 Мир> step 3>> GetInetFile(" + s.server.url("/endless") +
                          ") не получен. Слишком долгая загрузка (дольше 1 с). Переход на шаг №7");
}

TEST(CommandFetchPage, ConvertsUtf8PagesToWindows1251OnlyWhenTicked) {
  Site s;
  s.News("/utf8");
  EXPECT_EQ(s.B().HTML, Cp("<html><head><meta charset=\"windows-1251\"><title>Привет мир</title></head>"
                           "<body>ARTICLE</body></html>"));
  s.run->FindNameNews("<title>", "</title>");
  EXPECT_EQ(s.B().NewsName, Cp("Привет мир"));
  s.host.settings.convertToWin1251 = false;
  s.News("/utf8");
  EXPECT_EQ(s.B().HTML, kUtf8Page);
}

TEST(CommandFetchPage, AgentsFollowTheirWeights) {
  std::mt19937 rng(12345);
  std::map<std::string, int> seen;
  const int picks = 100000;
  for (int i = 0; i < picks; ++i) ++seen[PickAgent(rng)];
  for (const AgentRow& row : AgentTable) EXPECT_GT(seen[row.agent], 0) << row.agent;
  EXPECT_EQ(seen.size(), 29u);  // rows 7 and 20 share their text
  const double first = static_cast<double>(seen[AgentTable[0].agent]) / picks;
  EXPECT_NEAR(first, 1783.0 / 2793.0, 0.02);
  EXPECT_NEAR(static_cast<double>(seen[AgentTable[6].agent]) / picks, 18.0 / 2793.0, 0.003);
}

TEST(CommandFetchPage, NewsWithoutGetStartInARunUsesNoFlags) {
  Site s;
  s.run->GetStart(s.server.url("/index.html"), "news", "9");
  ASSERT_NE(s.run->OpenFlags(), 0u);
  FolderMacro macro;
  macro.Table().steps[0] = {"GetNews", "ARTICLE", "", "", "", "", true};
  macro.Table().count = 1;
  ASSERT_TRUE(macro.WriteFolderMacroFile(s.tree.FolderPath(s.channel)));
  s.run->Execute();  // a fresh run in this thread: its flags start at 0
  EXPECT_EQ(s.run->OpenFlags(), 0u);
  EXPECT_NE(s.host.LogText().find("16711680 Лента> step 0>> GetNews.  - Идет загрузка новости."), std::string::npos);
}

}  // namespace
}  // namespace skimlet
