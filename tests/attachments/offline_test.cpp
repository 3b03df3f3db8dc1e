// Saved pages kept for reading offline, against a loopback site: srcset and <picture>,
// lazy pictures, webp/svg/avif, style sheets with their url() and @import, the stand-in
// logo, escaped code samples, and blocks a page writes itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <regex>
#include <thread>

#include "attachments/DownLoadAttachment.h"
#include "engine/DownLoad.h"
#include "page/Discovery.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Url.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/RubricRun.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

using namespace std::chrono_literals;
using Req = httplib::Request;
using Res = httplib::Response;
namespace fs = std::filesystem;

const std::string kMarker(kDataEndMarker);

struct QueueHost : AttachmentHost {
  void LampChanged(int, const LampState&) override {}
  void QueueOverflow(const std::string&) override {}
  RunSettings Settings() override {
    RunSettings s;
    s.hURLUseCashe = false;
    return s;
  }
};

// A site whose every answer is counted by path; pictures answer "IMG:" + their path.
struct Site {
  test::HttpTestServer server;
  std::mutex mutex;
  std::map<std::string, int> hits;
  Site() {
    server.Get(R"(/.*)", [this](const Req& q, Res& s) {
      {
        std::lock_guard lock(mutex);
        ++hits[q.path];
      }
      auto it = pages.find(q.path);
      if (it != pages.end()) s.set_content(it->second, q.path.ends_with(".css") ? "text/css" : "text/html");
      else s.set_content("IMG:" + q.path, "image/png");
    });
  }
  std::map<std::string, std::string> pages;
  int Hits(const std::string& path) {
    std::lock_guard lock(mutex);
    return hits[path];
  }
};

// A run at step 3 of rubric "Мир" of channel "Лента" that hands its pictures to a real queue.
struct Offline : test::RubricRun {
  Site site;  // outlives the queue, whose downloaders keep their connections open
  QueueHost queueHost;
  AttachmentQueue queue{queueHost, dir.path()};
  Offline() { run->SetAttachmentQueue(&queue); }
  ~Offline() {
    run.reset();
    queue.AbortAllAttachments();
  }
  std::string Att() { return Folder() + "Attachment/"; }
  std::string Url(const std::string& path) { return site.server.url(path); }
  bool Drain() {
    for (auto end = std::chrono::steady_clock::now() + 20s; !queue.Idle(); std::this_thread::sleep_for(2ms))
      if (std::chrono::steady_clock::now() > end) return false;
    return true;
  }
  // The local copy of `url`, from the block at the head of `text`.
  std::string LocalOf(const std::string& text, const std::string& url) {
    for (const AttachmentPair& p : ReadAttachmentPairs(text))
      if (p.url == url) return p.localName;
    return "<none for " + url + ">";
  }
  std::string Fetch(const std::string& path) {
    run->MutableBuffers().NewsURL = Url(path);
    run->GetNews("<body", "9");
    return Html();
  }
};

TEST(OfflinePictures, ModernPicturesAndStyleSheetsAreStoredAndPointedAt) {
  Offline o;
  o.site.pages["/a/article.html"] =
      "<html><head><link rel=\"stylesheet\" href=\"css/site.css\"></head><body>"
      "<picture><source srcset=\"img/p-400.webp 400w, img/p-800.webp 800w\" type=\"image/webp\">"
      "<img src=\"img/p.jpg\" alt=\"\"></picture>"
      "<img src=\"img/placeholder.gif\" data-src=\"img/lazy.jpg\" class=\"lazyload\">"
      "<img data-srcset=\"img/l1.avif 1x, img/l2.avif 2x\"><IMG SRC='img/logo.svg'>"
      "<img src=\"http://counter.example/counter.gif?id=5\"><p>&lt;img src=\"img/code.png\"&gt;</p><!-- <img src=\"img/old.png\"> -->"
      "</body></html>";
  o.site.pages["/a/css/site.css"] =
      "@charset \"utf-8\";\n@import url(more.css);\n@import 'print.css' print;\n"
      "body{background:url( \"../img/bg.png\" )}\n/* url(img/commented.png) */\n"
      "@font-face{src:url(/fonts/f.woff2?v=2) format('woff2'),url(/fonts/f.eot?#iefix)}\n"
      ".x{background:url(data:image/png;base64,AAA)} .y{background:URL(#frag)}";
  o.site.pages["/a/css/more.css"] = ".m{background:url('i/dot.gif')} @import url(site.css);";
  o.site.pages["/a/css/print.css"] = "p{color:black}";
  o.site.server.Start();
  o.run->GetStart(o.Url("/a/article.html"), "body", "9");
  o.Fetch("/a/article.html");
  o.run->EditHTMLNews("StandartParameter=0", "StandartParameter=0", "", "");
  o.run->FindAttachment("StandartParameter=0", "StandartParameter=0", "StandartParameter=0");
  const std::string html = o.Html();
  ASSERT_TRUE(o.Drain());

  auto local = [&](const std::string& path) { return "Attachment/" + o.LocalOf(html, o.Url(path)); };
  const std::string page = html.substr(html.find(kMarker) + kMarker.size());
  EXPECT_EQ(page,
            "<html><head><link rel=\"stylesheet\" HREF=\"" + local("/a/css/site.css") + "\"></head><body>"
            "<picture><source srcset=\"" + local("/a/img/p-400.webp") + " 400w, " + local("/a/img/p-800.webp") +
            " 800w\" type=\"image/webp\"><img SRC=\"" + local("/a/img/p.jpg") + "\" alt=\"\"></picture>"
            "<img SRC=\"" + local("/a/img/lazy.jpg") + "\" data-src=\"" + local("/a/img/lazy.jpg") +
            "\" class=\"lazyload\"><img srcset=\"" + local("/a/img/l1.avif") + " 1x, " + local("/a/img/l2.avif") +
            " 2x\"><IMG SRC='" + local("/a/img/logo.svg") + "'><img SRC=\"SkimletLogo.gif\">"
            "<p>&lt;img src=\"img/code.png\"&gt;</p><!-- <img src=\"img/old.png\"> --></body></html>");

  for (const char* path : {"/a/img/p-400.webp", "/a/img/p.jpg", "/a/img/lazy.jpg", "/a/img/l2.avif", "/a/img/logo.svg"})
    EXPECT_EQ(test::ReadFile(o.Att() + o.LocalOf(html, o.Url(path))), std::string("IMG:") + path);
  EXPECT_EQ(o.site.Hits("/a/img/placeholder.gif"), 0);
  EXPECT_EQ(o.site.Hits("/a/img/code.png"), 0);  // escaped code and comments fetch nothing
  EXPECT_EQ(o.site.Hits("/a/img/old.png"), 0);
  EXPECT_EQ(test::ReadFile(o.Folder() + "SkimletLogo.gif"), test::ReadFile(ResourceDir(o.dir.path()) + "SkimletLogo.gif"));
  EXPECT_NE(test::ReadFile(o.Folder() + "SkimletLogo.gif").substr(0, 6), "");

  // The style sheet points at its own local parts, which are stored beside it.
  const std::string sheet = test::ReadFile(o.Att() + o.LocalOf(html, o.Url("/a/css/site.css")));
  const std::vector<AttachmentPair> parts = StyleSheetAttachments(sheet);
  std::map<std::string, std::string> byUrl;
  for (const AttachmentPair& p : parts) byUrl[p.url] = p.localName;
  ASSERT_EQ(parts.size(), 5u) << sheet;
  const std::string bg = byUrl[o.Url("/a/img/bg.png")], font = byUrl[o.Url("/fonts/f.woff2?v=2")],
                    eot = byUrl[o.Url("/fonts/f.eot")], more = byUrl[o.Url("/a/css/more.css")],
                    print = byUrl[o.Url("/a/css/print.css")];
  EXPECT_EQ(sheet.substr(0, sheet.find("\n/* Skimlet")),
            "@charset \"utf-8\";\n@import url(" + more + ");\n@import '" + print + "' print;\n"
            "body{background:url( \"" + bg + "\" )}\n/* url(img/commented.png) */\n"
            "@font-face{src:url(" + font + ") format('woff2'),url(" + eot + ")}\n"
            ".x{background:url(data:image/png;base64,AAA)} .y{background:URL(#frag)}");
  EXPECT_EQ(test::ReadFile(o.Att() + bg), "IMG:/a/img/bg.png");
  EXPECT_EQ(test::ReadFile(o.Att() + font), "IMG:/fonts/f.woff2");
  // An imported sheet is localised in turn; importing the first sheet back fetches nothing.
  const std::string moreSheet = test::ReadFile(o.Att() + more);
  const std::vector<AttachmentPair> moreParts = StyleSheetAttachments(moreSheet);
  ASSERT_EQ(moreParts.size(), 2u) << moreSheet;
  EXPECT_EQ(test::ReadFile(o.Att() + moreParts[0].localName), "IMG:/a/css/i/dot.gif");
  EXPECT_EQ(moreParts[1].localName, o.LocalOf(html, o.Url("/a/css/site.css")));
  EXPECT_EQ(o.site.Hits("/a/css/site.css"), 1);
  EXPECT_EQ(o.site.Hits("/a/img/commented.png"), 0);

  // Saved, then pictures lost: the news file's block and its sheet's record bring them back.
  o.run->MutableBuffers().NewsName = "Article";
  o.run->SaveNews();
  const std::string file = test::ReadFile(o.Folder() + "Article.html");
  ASSERT_FALSE(file.empty());
  fs::remove(o.Att() + bg);
  fs::remove(o.Att() + o.LocalOf(html, o.Url("/a/img/p.jpg")));
  o.queue.EnqueueAttachments(NewsFileAttachmentBlock(file, o.Att()), o.Att(), true);
  ASSERT_TRUE(o.Drain());
  EXPECT_EQ(test::ReadFile(o.Att() + bg), "IMG:/a/img/bg.png");
  EXPECT_EQ(o.site.Hits("/a/img/p.jpg"), 2);
  EXPECT_EQ(o.site.Hits("/a/img/lazy.jpg"), 1);
}

// WordPress writes style.min.css?ver=6.1.9: the site's own addresses are taken whatever query
// follows their extension, and so are the url()s of <style> elements and style attributes.
TEST(OfflinePictures, TheSitesOwnAddressesWithAQueryAndInlineStylesAreTaken) {
  Offline o;
  o.site.pages["/b/n.html"] =
      "<html><head><link rel=stylesheet href=\"/b/style.min.css?ver=6.1.9\"><style>"
      "@font-face{src:url(/b/f.woff2?v=3) format('woff2')} h1{background:url('img/h.png?x=1')}</style></head>"
      "<body><div style=\"background:url(&quot;img/d.jpg&quot;)\">d</div><img src=\"img/q.gif?w=10\">"
      "<img src=\"http://other.example/t.gif?id=1\"></body></html>";
  o.site.pages["/b/style.min.css"] = "p{background:url(img/s.png?v=1)}";
  o.site.server.Start();
  o.Fetch("/b/n.html");
  o.run->FindAttachment("StandartParameter=0", "StandartParameter=0", "");
  const std::string html = o.Html();
  ASSERT_TRUE(o.Drain());
  auto local = [&](const std::string& path) { return o.LocalOf(html, o.Url(path)); };
  const std::string sheet = local("/b/style.min.css?ver=6.1.9"), font = local("/b/f.woff2?v=3"),
                    h = local("/b/img/h.png?x=1"), d = local("/b/img/d.jpg"), q = local("/b/img/q.gif?w=10");
  EXPECT_EQ(html.substr(html.find(kMarker) + kMarker.size()),
            "<html><head><link rel=stylesheet HREF=\"Attachment/" + sheet + "\"><style>@font-face{src:url(Attachment/" +
                font + ") format('woff2')} h1{background:url('Attachment/" + h + "')}</style></head><body>"
                "<div style=\"background:url(Attachment/" + d + ")\">d</div><img SRC=\"Attachment/" + q +
                "\"><img SRC=\"http://other.example/t.gif?id=1\"></body></html>");
  EXPECT_TRUE(IsLocalAttachmentName(sheet) && IsLocalAttachmentName(font) && IsLocalAttachmentName(q)) << html;
  EXPECT_EQ(test::ReadFile(o.Att() + font), "IMG:/b/f.woff2");
  const std::vector<AttachmentPair> parts = StyleSheetAttachments(test::ReadFile(o.Att() + sheet));
  ASSERT_EQ(parts.size(), 1u);
  EXPECT_EQ(test::ReadFile(o.Att() + parts[0].localName), "IMG:/b/img/s.png");
}

// Rubrics of one run share a style sheet: each Attachment/ gets the sheet and its pictures,
// each address fetched once, whether the other rubric asks while it is fetched or after.
TEST(OfflinePictures, EveryRubricThatUsesASheetHasItsPicturesFetchedOncePerRun) {
  Offline o;
  o.site.pages["/c/site.css"] = "p{background:url(bg.png)} @import url(more.css);";
  o.site.pages["/c/more.css"] = "q{background:url(dot.gif)}";
  o.site.server.Start();
  const AttachmentOrigin run{NextAttachmentRun(), "", ""};
  const std::string block = AttachmentBlock({{"000000000000001.css", o.Url("/c/site.css")}});
  std::vector<std::string> dirs;
  for (const char* rubric : {"A", "B", "C"}) dirs.push_back(o.dir / ("Accounts/Лента/" + std::string(rubric) + "/Attachment/"));
  o.queue.EnqueueAttachments(block, dirs[0], true, run);
  o.queue.EnqueueAttachments(block, dirs[1], true, run);  // while the first is on its way
  ASSERT_TRUE(o.Drain());
  o.queue.EnqueueAttachments(block, dirs[2], true, run);  // after it arrived
  ASSERT_TRUE(o.Drain());
  for (const std::string& dir : dirs) {
    const std::vector<AttachmentPair> parts = StyleSheetAttachments(test::ReadFile(dir + "000000000000001.css"));
    ASSERT_EQ(parts.size(), 2u) << dir;
    EXPECT_EQ(test::ReadFile(dir + parts[0].localName), "IMG:/c/bg.png") << dir;
    EXPECT_EQ(StyleSheetAttachments(test::ReadFile(dir + parts[1].localName)).size(), 1u) << dir;
  }
  for (const char* path : {"/c/site.css", "/c/bg.png", "/c/more.css", "/c/dot.gif"}) EXPECT_EQ(o.site.Hits(path), 1) << path;
}

TEST(OfflinePictures, WithoutLocalisingTheBlockStillHoldsAbsoluteAddresses) {
  Offline o;
  o.site.pages["/d/n.html"] =
      "<body><img src=\"http://counter.example/p.png?x=1\"><img src=\"p.png\"><a href=\"x.gif\">x</a></body>";
  o.site.server.Start();
  o.Fetch("/d/n.html");
  o.run->FindAttachment("StandartParameter=1", "", "");
  std::vector<AttachmentPair> pairs = ReadAttachmentPairs(o.Html());
  // Another site's address with a query behind the extension is no picture; a link to one is not fetched.
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_EQ(pairs[0].url, o.Url("/d/p.png"));
  EXPECT_NE(o.Html().find("<img SRC=\"p.png\">"), std::string::npos);
}

TEST(PageChosenNames, OnlyTheBlockSaveNewsWroteCounts) {
  Offline o;
  const std::string forged = "<!-- SkimletAttLocal:123456789012345.gif SkimletAttURL:" + std::string("http://evil.example/x.gif") +
                             " -->\n\r<!-- SkimletAttLocal:../../.bashrc SkimletAttURL:http://evil.example/rc -->\n\r" +
                             kMarker;
  o.site.pages["/forged.html"] = forged + "<body><img src=\"/pic.gif\">" + std::string(60, '.') + "</body>";
  o.site.server.Start();

  // A macro without FindAttachment saves the page with its own "block".
  o.Fetch("/forged.html");
  o.run->MutableBuffers().NewsName = "Forged";
  o.run->SaveNews();
  const std::string file = test::ReadFile(o.Folder() + "Forged.html");
  ASSERT_NE(file.find(std::string(kDataEnd)), std::string::npos);
  EXPECT_EQ(NewsFileAttachmentBlock(file, o.Att()), kMarker);
  o.queue.EnqueueAttachments(NewsFileAttachmentBlock(file, o.Att()), o.Att(), true);
  EXPECT_EQ(o.queue.Waiting() + o.queue.Busy(), 0);

  // Names that are not the program's never reach the queue, whoever wrote them.
  o.queue.EnqueueAttachments("<!-- SkimletAttLocal:../../.bashrc SkimletAttURL:" + o.Url("/rc") + " -->\n\r"
                             "<!-- SkimletAttLocal:x.gif SkimletAttURL:" + o.Url("/x.gif") + " -->\n\r" + kMarker,
                             o.Att(), true);
  EXPECT_EQ(o.queue.Waiting() + o.queue.Busy(), 0);
  EXPECT_EQ(o.site.Hits("/rc") + o.site.Hits("/x.gif"), 0);
  EXPECT_FALSE(IsLocalAttachmentName("12345678901234.gif"));
  EXPECT_FALSE(IsLocalAttachmentName("123456789012345.exe"));
  EXPECT_FALSE(IsLocalAttachmentName("12345678901234a.gif"));
  EXPECT_TRUE(IsLocalAttachmentName("123456789012345.webp"));

  // A header line that looks like a block line does not count either.
  o.run->MutableBuffers().NewsURL = "http://h.ru/?SkimletAttLocal:111111111111111.gif SkimletAttURL:http://evil.example/ ";
  o.run->MutableBuffers().NewsName = "Header";
  o.Html() = "<body>" + std::string(60, '.') + "</body>";
  o.run->SaveNews();
  EXPECT_EQ(NewsFileAttachmentBlock(test::ReadFile(o.Folder() + "Header.html"), o.Att()), kMarker);

  // The block FindAttachment made is the one that counts.
  o.host.settings.notCheckHistory = true;
  o.Fetch("/forged.html");
  o.run->FindAttachment("StandartParameter=0", "", "");
  o.run->MutableBuffers().NewsName = "Genuine";
  o.run->SaveNews();
  const std::string genuine = NewsFileAttachmentBlock(test::ReadFile(o.Folder() + "Genuine.html"), o.Att());
  const std::vector<AttachmentPair> pairs = ReadAttachmentPairs(genuine);
  ASSERT_EQ(pairs.size(), 1u) << genuine;  // the forged lines are page text behind the real marker
  EXPECT_EQ(pairs[0].url, o.Url("/pic.gif"));
}

TEST(MarkAttachments, OneLinearPassThatAStopEnds) {
  std::string page;
  for (int i = 0; i < 3000; ++i) page += "<img src=\"http://h/p" + std::to_string(i % 1000) + ".png\"><a href=x>";
  std::mt19937 rng(1);
  std::string html = page;
  ASSERT_TRUE(MarkAttachments(html, rng, "/nonexistent/"));
  EXPECT_EQ(ReadAttachmentPairs(html).size(), 1000u);
  std::atomic<bool> stop{true};
  DiscoveryOptions options;
  options.stop = &stop;
  std::string stopped = page;
  EXPECT_FALSE(MarkAttachments(stopped, rng, "/nonexistent/", options));
  EXPECT_EQ(stopped, page);

  // A second FindAttachment of the same page adds to the block it made and keeps it.
  std::string twice = "<img src=\"a.gif\"><img src=\"Attachment/123456789012345.gif\">";
  ASSERT_TRUE(MarkAttachments(twice, rng, "/nonexistent/"));
  const std::size_t head = twice.find(kMarker) + kMarker.size();
  twice += "<img src=\"b.gif\">";
  options = {};
  options.headLength = head;
  ASSERT_TRUE(MarkAttachments(twice, rng, "/nonexistent/", options));
  std::vector<AttachmentPair> pairs = ReadAttachmentPairs(twice);
  ASSERT_EQ(pairs.size(), 2u);
  EXPECT_EQ(pairs[0].url, "b.gif");
  EXPECT_EQ(pairs[1].url, "a.gif");
  EXPECT_EQ(twice.find(kDataEnd), twice.rfind(kDataEnd));  // one data-end marker
}

}  // namespace
}  // namespace skimlet
