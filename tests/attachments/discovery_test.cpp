// Attachment discovery: the block in front of the page, the accepted references, local
// names, the rewriting of references, and the FindAttachment command with its queue hand-off.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "attachments/DownLoadAttachment.h"
#include "engine/DownLoad.h"
#include "page/Discovery.h"
#include "platform/Files.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/RubricRun.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

const std::string kMarker(kDataEndMarker);

std::string Line(const std::string& name, const std::string& url) {
  return "<!-- SkimletAttLocal:" + name + " SkimletAttURL:" + url + " -->\n\r";
}

std::string Mark(std::string html, const std::string& dir = "/nonexistent/Attachment/") {
  std::mt19937 rng(1);
  MarkAttachments(html, rng, dir);
  return html;
}

TEST(MarkAttachments, OnePictureGetsALineInFrontOfTheMarker) {
  std::string html = Mark("<p><img src=\"a/b.GIF\" alt=x></p>");
  static const std::regex kWant(
      "<!-- SkimletAttLocal:[0-9]{15}\\.gif SkimletAttURL:a/b\\.GIF -->\n\r"
      "<!-- Skimlet DataEnd -->\n\r<p><img SRC=\"a/b\\.GIF\" alt=x></p>");
  EXPECT_TRUE(std::regex_match(html, kWant)) << html;

  EXPECT_EQ(Mark("<p>plain</p>"), kMarker + "<p>plain</p>");  // nothing accepted: the marker alone
  EXPECT_EQ(Mark("<img src="), kMarker + "<img src=");  // an unfinished tag is no tag
}

TEST(MarkAttachments, AcceptsPicturesBySrcAndStyleSheetsByHrefOnly) {
  const std::string page =
      "<link rel=stylesheet HREF='s/Main.CSS'><a href=\"big.gif\">big</a>"
      "<img src=\"p.gif?x=1\"><img Src=\"mixed.gif\"><img SRC=up.png ><embed src=\"m.swf\">"
      "<img src= \"sp.jpg\"><img src='up.png'><meta content=\"0; url=r.bmp\"><img src=\"r.bmp\">"
      "<img src=last.png>";
  std::string html = Mark(page);
  std::vector<AttachmentPair> pairs = ReadAttachmentPairs(html);
  std::vector<std::string> urls;
  for (const AttachmentPair& p : pairs) urls.push_back(p.url);
  // Found last, first; style sheets stand above pictures. Attribute names have no case.
  // A query behind the extension of the page's own picture is passed over.
  EXPECT_EQ(urls, (std::vector<std::string>{"s/Main.CSS", "last.png", "sp.jpg", "up.png", "mixed.gif", "p.gif?x=1"}));
  EXPECT_EQ(UrlExtension(pairs[0].localName), "css");
  EXPECT_EQ(UrlExtension(pairs[2].localName), "jpg");

  std::string rest = html.substr(html.find(kMarker) + kMarker.size());
  EXPECT_EQ(rest.find("src="), std::string::npos);
  EXPECT_EQ(rest.find("href="), std::string::npos);
  EXPECT_NE(rest.find("<img SRC=\"mixed.gif\">"), std::string::npos);
  EXPECT_NE(rest.find("<a HREF=\"big.gif\">"), std::string::npos);
}

TEST(MarkAttachments, RepeatedPicturesShareALineAndAllPointAtTheLocalCopy) {
  std::string html = Mark("<img src=\"one.gif\"><img src=\"two.png\"><img SRC=\"one.gif\">");
  std::vector<AttachmentPair> pairs = ReadAttachmentPairs(html);
  ASSERT_EQ(pairs.size(), 2u);
  EXPECT_EQ(pairs[0].url, "two.png");  // the second picture's line stands above the first's
  EXPECT_EQ(pairs[1].url, "one.gif");
  const std::string head = html.substr(0, html.find(kMarker) + kMarker.size());

  LocalizeAttachments(html);
  EXPECT_EQ(html, head + "<img SRC=\"Attachment/" + pairs[1].localName + "\"><img SRC=\"Attachment/" +
                      pairs[0].localName + "\"><img SRC=\"Attachment/" + pairs[1].localName + "\">");
}

TEST(LocalNames, UseAllTenDigitsAndAvoidNamesInTheFolder) {
  std::mt19937 rng(5);
  std::set<char> digits;
  static const std::regex kName("[0-9]{15}\\.jpeg");
  for (int i = 0; i < 200; ++i) {
    std::string name = MakeLocalName(rng, "http://h/x.y/p.JPEG");
    ASSERT_TRUE(std::regex_match(name, kName)) << name;
    digits.insert(name.begin(), name.begin() + 15);
  }
  EXPECT_EQ(digits.size(), 10u);

  test::TempDir dir;
  std::mt19937 probe(42);
  const std::string taken = MakeLocalName(probe, "a.gif");
  test::WriteFile(dir / ("Attachment/" + taken), "old");
  std::string html = "<img src=\"a.gif\">";
  std::mt19937 same(42);
  MarkAttachments(html, same, dir / "Attachment/");
  ASSERT_EQ(ReadAttachmentPairs(html).size(), 1u);
  EXPECT_NE(ReadAttachmentPairs(html)[0].localName, taken);
}

TEST(LocalizeAttachments, ReplacesWholeAttributeValuesOnlySoWildcardsAndPrefixesMeanNothing) {
  const std::string head = Line("500.gif", "http://h/*.gif") + Line("600.gif", "http://h/a?b.gif") +
                           Line("700.gif", "~1.gif") + Line("x1.gif", "1.gif") + kMarker;
  std::string html = head + "<img SRC=\"http://h/*.gif\"><img SRC=\"http://h/zz.gif\"><img SRC=\"http://h/a?b.gif\">"
                            "<img SRC=\"http://h/axb.gif\"><img SRC=71.gif ><img SRC=~1.gif ><img SRC=1.gif >"
                            "<p>1.gif &lt;img src=1.gif&gt;</p><!-- <img src=1.gif> -->";
  LocalizeAttachments(html);
  EXPECT_EQ(html, head + "<img SRC=\"Attachment/500.gif\"><img SRC=\"http://h/zz.gif\"><img SRC=\"Attachment/600.gif\">"
                         "<img SRC=\"http://h/axb.gif\"><img SRC=71.gif ><img SRC=Attachment/700.gif >"
                         "<img SRC=Attachment/x1.gif ><p>1.gif &lt;img src=1.gif&gt;</p><!-- <img src=1.gif> -->");

  std::string unmarked = "<img SRC=\"a.gif\">" + Line("1.gif", "a.gif");
  LocalizeAttachments(unmarked);
  EXPECT_EQ(unmarked, "<img SRC=\"a.gif\">" + Line("1.gif", "a.gif"));
}

TEST(LocalizeAttachments, MoreThan1001PicturesAreAllLocalised) {
  std::string page;
  for (int i = 0; i < 1500; ++i) page += "<img src=\"http://h/p" + std::to_string(i) + ".png\">";
  std::string html = Mark(page);
  LocalizeAttachments(html);
  std::vector<AttachmentPair> pairs = ReadAttachmentPairs(html);
  ASSERT_EQ(pairs.size(), 1500u);
  std::set<std::string> names;
  for (const AttachmentPair& p : pairs) names.insert(p.localName);
  EXPECT_EQ(names.size(), 1500u);
  const std::string rest = html.substr(html.find(kMarker) + kMarker.size());
  EXPECT_EQ(rest.find("http://h/"), std::string::npos);
  EXPECT_NE(rest.find("SRC=\"Attachment/" + pairs.back().localName + "\""), std::string::npos);
  EXPECT_EQ(pairs.back().url, "http://h/p0.png");
}

TEST(ReadAttachmentPairs, ReadsOnlyTheHeadAndStopsAtAValueWithoutBlank) {
  // Without the marker only its length is read, and a name running to the end of that ends the scan.
  EXPECT_TRUE(ReadAttachmentPairs(Line("1.gif", "a.gif")).empty());
  EXPECT_TRUE(ReadAttachmentPairs("SkimletAttLocal:1.g SkimletAttURL:a.gif ").empty());
  EXPECT_EQ(ReadAttachmentPairs("SkimletAttLocal:1. SkimletAttURL:a.gif " + kMarker).size(), 1u);
  EXPECT_EQ(ReadAttachmentPairs(Line("1.gif", "a.gif") + kMarker + Line("3.gif", "c.gif")).size(), 1u);
}

// FindAttachment on a run that is not started: rubric "Мир" of channel "Лента", step 3.
struct AttHost : AttachmentHost {
  void LampChanged(int, const LampState&) override {}
  void QueueOverflow(const std::string&) override {}
  RunSettings Settings() override {
    RunSettings s;
    s.ledCount = 0;  // entries stay in the queue
    return s;
  }
};

struct Rubric : test::RubricRun {
  AttHost attHost;
  AttachmentQueue queue{attHost, dir.path()};
  Rubric() { run->SetAttachmentQueue(&queue); }
  ~Rubric() { run.reset(); }  // before the queue it hands pictures to
};

const std::string kPage =
    "<img src=\"http://h.ru/a.gif\"><script src=\"http://h.ru/x.js\"></script><img src=http://h.ru/c.php?i=1 w=1>";

TEST(FindAttachment, BlanksRemainingRemoteSourcesByTheLogoOrHash) {
  Rubric r;
  r.Html() = kPage;
  r.run->FindAttachment("StandartParameter=0", "StandartParameter=1", "StandartParameter=0");
  std::vector<AttachmentPair> pairs = ReadAttachmentPairs(r.Html());
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_EQ(r.Html(), Line(pairs[0].localName, "http://h.ru/a.gif") + kMarker + "<img SRC=\"Attachment/" +
                          pairs[0].localName +
                          "\"><script SRC=\"SkimletLogo.gif\"></script><img SRC=SkimletLogo.gif w=1>");
  std::vector<std::string> log = r.host.Log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0], "16711680 Мир> step 3>> FindAttachment. Идет обработка новости.");
  EXPECT_EQ(log[1], "16711680 Мир> step 3>> FindAttachment. ГОТОВО.");
  EXPECT_EQ(r.queue.Waiting(), 0);  // P2 other than 0: nothing queued

  r.Html() = kPage;
  r.run->FindAttachment("StandartParameter=0", "", "StandartParameter=1");
  // "#" is quoted in the unquoted form too.
  EXPECT_NE(r.Html().find("<script SRC=\"#\"></script><img SRC=\"#\" w=1>"), std::string::npos);

  r.Html() = kPage;  // without localising, the references and the remote sources stay
  r.run->FindAttachment("StandartParameter=1", "", "StandartParameter=0");
  EXPECT_NE(r.Html().find(kMarker + "<img SRC=\"http://h.ru/a.gif\"><script SRC=\"http://h.ru/x.js\">"),
            std::string::npos);
}

TEST(FindAttachment, QueuesOnlyWhileFlagDownloadPicturesIsOnButForcingAlwaysQueues) {
  Rubric r;
  const std::string attDir = r.tree.FolderPath(r.rubric) + "Attachment/";
  r.queue.SetFlagDownloadPictures(false);
  r.Html() = kPage;
  r.run->FindAttachment("StandartParameter=0", "StandartParameter=0", "");
  EXPECT_EQ(r.queue.Waiting(), 0);
  EXPECT_FALSE(DirExists(attDir));

  r.queue.EnqueueAttachments(r.Html(), attDir, true);  // DownloadPictures
  EXPECT_EQ(r.queue.Waiting(), 1);

  r.queue.AbortAllAttachments();
  r.queue.SetFlagDownloadPictures(true);
  r.Html() = kPage;
  r.run->FindAttachment("StandartParameter=0", "StandartParameter=0", "");
  ASSERT_EQ(r.queue.Waiting(), 1);
  EXPECT_EQ(r.queue.Display().lines.back(), "http://h.ru/a.gif");
}

}  // namespace
}  // namespace skimlet
