// The new-channel assistant's proposal: from an index page and one or more example articles,
// the macro that collects the list the example stands in, and what that macro would take.
// Pure: it fetches nothing; the command line and the window fetch the pages and call it.
//
// The list is found as visual scrapers find it: the example link's place in the page (the
// chain of elements from a repeated item down to the link) is looked for in the item's
// siblings. The macro language matches a link by its address only, so the proposal adds
// EditIndexHTML steps that keep the region of the list and drop, inside it, what is not a
// title link, and checks every step by doing what the run will do.
#pragma once

#include <string>
#include <vector>

#include "store/MacroFile.h"

namespace skimlet {

struct IndexEdit {
  std::string find, replace;  // P1 and P2 of EditIndexHTML (P3 and P4 of EditHTMLNews)
};

struct ProposalInput {
  std::string startUrl;   // what GetStart fetches (Windows-1251)
  std::string indexUrl;   // where the index page came from: after redirects, <base href> applied
  std::string indexPage;  // Windows-1251, as a run has it
  std::vector<std::string> exampleUrls;   // absolute (Windows-1251)
  std::vector<std::string> examplePages;  // the example articles, same order, Windows-1251
  int pages = 1;                          // above 1: turn up to this many index pages
  // The user's corrections, all optional:
  std::vector<std::string> excludedUrls;  // absolute: articles the list must not take
  std::string nameStart, nameEnd;         // FindNameNews markers chosen instead of the proposed ones
  std::vector<IndexEdit> textCut;         // EditHTMLNews P3/P4 that keep only the article's text
  bool pictures = true;                   // whether the macro stores the articles' pictures
  // Further articles of the list, fetched so that the headline is chosen by comparing them
  // with the example and with their links' texts on the list page.
  std::vector<std::string> compareUrls, comparePages;
};

struct ProposedLink {
  std::string link;  // as the page writes it and FindUrlNews takes it
  std::string url;   // absolute
  std::string text;  // the link's text on the index page
};

struct ChannelProposal {
  std::vector<TTmpOneMacroComand> steps;
  std::vector<IndexEdit> indexEdits;  // the EditIndexHTML steps, in order
  std::vector<ProposedLink> links;  // what the macro takes from the index page, in order
  std::string linkFragment;         // FindUrlNews
  std::string newsKey;              // GetNews
  std::string nameStart, nameEnd;   // FindNameNews
  std::string nextFragment;         // GetNextIndex: where the pager begins ("" the whole page)
  bool turns = false;               // pages are turned: a link forward was found
  std::vector<std::string> exampleNames;  // the name each example gets
  bool nameCollision = false;  // every headline found gives two articles of the list one name
  std::string problem;  // Windows-1251: why the macro would collect nothing; empty when it works
  std::vector<std::string> notExcluded;  // excluded addresses the macro still takes
  std::vector<std::string> notTaken;     // links of the list the macro would not take (absolute)
};

ChannelProposal ProposeChannel(const ProposalInput& input);

// What the proposal's steps take from one page of the list (the first or one GetNextIndex
// loads), and the address of the page GetNextIndex would load next ("" when none).
struct ListPageLinks {
  std::vector<ProposedLink> links;
  std::string next;
};
ListPageLinks ReadListPage(const ChannelProposal& proposal, const std::string& page, const std::string& pageUrl);

// The name a news page gets from the proposal's FindNameNews step; "" when the markers miss.
std::string ProposedNewsName(const ChannelProposal& proposal, const std::string& page);
// True when the page holds the proposal's GetNews key.
bool ProposedNewsAccepted(const ChannelProposal& proposal, const std::string& page);

// An element the user clicked in a page the window shows: its tag, its place among the
// page's elements of that tag (in document order, as the browser counts them) and its text
// as shown (Windows-1251). The text confirms the place, or finds the element when the
// browser's tree and the page's tags disagree.
struct ElementPick {
  std::string tag;  // lower case
  int nth = -1;
  std::string text;
};

// The absolute address of a link the user clicked on the list page (the href as written).
std::string ExampleAddress(const std::string& indexUrl, const std::string& href);

// FindNameNews markers that give the clicked element's text as the news name; empty `start`
// when none does. `name` is the name they give on this page.
struct HeadlineMarkers {
  std::string start, end, name;
};
HeadlineMarkers ProposeHeadline(const std::string& article, const ElementPick& pick);

// The element FindNameNews takes the name from with these markers, to be shown; nth -1 when
// the name comes from no element of the page's body (<title>, a <meta>).
ElementPick HeadlineElement(const std::string& article, const std::string& start);

// EditHTMLNews replacements (run after FindNameNews) that cut the article down to the
// element of its text around the clicked one; empty when no cut keeps it whole.
std::vector<IndexEdit> ProposeTextCut(const std::string& article, const ElementPick& pick);
// The element such a cut keeps, to be shown; nth -1 when none.
ElementPick CutElement(const std::string& article, const std::vector<IndexEdit>& cut);
// The article as those replacements leave it.
std::string CutArticle(const std::string& article, const std::vector<IndexEdit>& cut);

}  // namespace skimlet
