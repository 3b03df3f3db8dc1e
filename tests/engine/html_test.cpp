// The HTML tokenizer, character references and in-place edits, on markup as real pages
// write it.
#include "page/Html.h"

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

using test::Cp;

// Every tag as "name attr=value attr ..." (end tags with "/"), values as written.
std::vector<std::string> Tags(std::string_view html) {
  std::vector<std::string> out;
  HtmlTokenizer tokens(html);
  HtmlTag tag;
  while (tokens.Next(tag)) {
    std::string t = (tag.closing ? "/" : "") + std::string(tag.name);
    for (const HtmlAttribute& a : tag.attributes) {
      t += " " + std::string(a.name);
      if (a.hasValue) t += "=" + std::string(html.substr(a.valueBegin, a.valueEnd - a.valueBegin));
      EXPECT_EQ(html.substr(a.begin, a.name.size()), a.name);
    }
    EXPECT_EQ(html[tag.begin], '<');
    EXPECT_EQ(html[tag.end - 1], '>');
    out.push_back(t);
  }
  return out;
}

TEST(HtmlTokenizer, AttributesAsBrowsersReadThem) {
  EXPECT_EQ(Tags("<IMG SRC=a.gif Alt='it''s' title=\"a > b\" hidden data-x = \"1\"><br/><a href=x/>"),
            (std::vector<std::string>{"IMG SRC=a.gif Alt=it 's' title=a > b hidden data-x=1", "br", "a href=x/"}));
  // No blank between attributes, "=" starting a name, a missing value, a slash between.
  EXPECT_EQ(Tags("<a href=\"x\"class=y =z w= > <p/id=3 / >"),
            (std::vector<std::string>{"a href=x class=y =z w=", "p id=3"}));
  EXPECT_EQ(Tags("<div\n\tclass=\"a\"\r\nid=b></DIV >"), (std::vector<std::string>{"div class=a id=b", "/DIV"}));
}

TEST(HtmlTokenizer, TextCommentsAndEscapedCodeHoldNoTags) {
  EXPECT_EQ(Tags("a < b, 1<2, <3 &lt;img src=\"x.png\"&gt; <!-- <img src=c.gif> --> <!--> <!---> "
                 "<!DOCTYPE html><?xml version=\"1.0\"?></ br><img src=d.gif>"),
            (std::vector<std::string>{"img src=d.gif"}));
  // Scripts, styles and text areas are text up to their own end tag, in any case.
  EXPECT_EQ(Tags("<script>if (a<b) document.write('<img src=s.gif>')</scripts></SCRIPT ><style>p>a{}</style>"
                 "<textarea><b>x</b></textarea><title><i></title><i>"),
            (std::vector<std::string>{"script", "/SCRIPT", "style", "/style", "textarea", "/textarea", "title",
                                      "/title", "i"}));
  HtmlTokenizer tokens("<script>x<y");
  HtmlTag tag;
  ASSERT_TRUE(tokens.Next(tag));
  EXPECT_EQ(tag.rawTextEnd, 11u);  // a script that never ends runs to the end
  EXPECT_FALSE(tokens.Next(tag));
}

TEST(HtmlTokenizer, BrokenMarkupAtTheEndIsDropped) {
  EXPECT_EQ(Tags("<p>a</p><img src=\"x.gif"), (std::vector<std::string>{"p", "/p"}));
  EXPECT_EQ(Tags("<p>a<img src="), std::vector<std::string>{"p"});
  EXPECT_EQ(Tags("<p>a<!-- open comment <img src=x>"), std::vector<std::string>{"p"});
  EXPECT_EQ(Tags("<b>x<"), std::vector<std::string>{"b"});
  HtmlTokenizer comments("a<!--c--><b>", 0, true);
  HtmlTag tag;
  ASSERT_TRUE(comments.Next(tag));
  EXPECT_TRUE(tag.comment);
  EXPECT_EQ(tag.begin, 1u);
  EXPECT_EQ(tag.end, 9u);
}

TEST(CharacterReferences, DecodedIntoWindows1251) {
  EXPECT_EQ(DecodeCharacterReferences("Tom&#39;s &amp; Jerry&#x27;s &lt;3&gt; &quot;&nbsp;&laquo;x&raquo;", false),
            "Tom's & Jerry's <3> \"\xA0\xABx\xBB");
  EXPECT_EQ(DecodeCharacterReferences("&#1055;&#x440;&#1080; &mdash; &#8470;5 &#150;", false), Cp("При — №5 –"));
  EXPECT_EQ(DecodeCharacterReferences("&#20013;&#128512;&#0;&#xD800;", false), "????");
  EXPECT_EQ(DecodeCharacterReferences("AT&T &unknown; &# &#x; a&b &amp", false), "AT&T &unknown; &# &#x; a&b &");
  // In attributes "&copy=1" is a query, not a reference; in addresses what 1251 lacks is escaped.
  EXPECT_EQ(DecodeCharacterReferences("?a=1&amp;b=2&lt=3&copy;", true), "?a=1&b=2&lt=3\xA9");
  EXPECT_EQ(AttributeUrl(" /p?a=1&amp;b=&#20013;\n"), "/p?a=1&b=%E4%B8%AD");
}

TEST(AttributeValues, WrittenBackSoTheyReadTheSame) {
  EXPECT_EQ(AttributeValueText("a.html?x=1&y=\"2\"", '"'), "a.html?x=1&amp;y=&quot;2&quot;");
  EXPECT_EQ(AttributeValueText("it's", '\''), "it&#39;s");
  EXPECT_EQ(AttributeValueText("plain.gif", 0), "plain.gif");
  EXPECT_EQ(AttributeValueText("a b>c", 0), "\"a b>c\"");
  EXPECT_EQ(AttributeValueText("", 0), "\"\"");
}

TEST(Srcset, CandidatesAndTheirMapping) {
  const std::string v = " a.jpg 1x, b,c.jpg 2x ,d.jpg,, e.jpg (x, y) 3w, data:image/png;base64,QQ==";
  std::vector<std::string> urls;
  for (const SrcsetCandidate& c : SrcsetCandidates(v)) urls.push_back(v.substr(c.begin, c.end - c.begin));
  EXPECT_EQ(urls, (std::vector<std::string>{"a.jpg", "b,c.jpg", "d.jpg", "e.jpg", "data:image/png;base64,QQ=="}));
  EXPECT_EQ(MapSrcset("a.jpg 1x, b.jpg?x=1&amp;y=2 2x", '"', [](const std::string& u) { return "L/" + u; }),
            "L/a.jpg 1x, L/b.jpg?x=1&amp;y=2 2x");
  EXPECT_EQ(MapSrcset("a.jpg", 0, [](const std::string&) { return std::string("b c.jpg"); }), "\"b c.jpg\"");
}

TEST(HtmlText, TitlesReadAsText) {
  EXPECT_EQ(HtmlText("<b>Hot</b> news<br>today <script>x()</script>&amp; <!-- no --> &#8734;"), "Hot news today &  ?");
  EXPECT_EQ(BaseHref("<head><!-- <base href=/no/> --><BASE target=_self><base HREF=\"/d/&amp;/\"></head>"), "/d/&/");
  EXPECT_EQ(BaseHref("<p>no base here, <basefont> neither</p>"), "");
}

TEST(TextEdits, AppliedInOrderOverlapsDropped) {
  TextEdits edits;
  edits.Replace(6, 7, "W");
  edits.Replace(0, 5, "bye");
  edits.Insert(11, "!");
  edits.Replace(3, 8, "overlaps the first");
  EXPECT_EQ(edits.Count(), 4u);
  EXPECT_EQ(edits.Apply("hello world"), "bye World!");
  EXPECT_TRUE(edits.Empty());
}

}  // namespace
}  // namespace skimlet
