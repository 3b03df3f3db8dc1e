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

struct ProposalInput {
  std::string startUrl;   // what GetStart fetches (Windows-1251)
  std::string indexUrl;   // where the index page came from: after redirects, <base href> applied
  std::string indexPage;  // Windows-1251, as a run has it
  std::vector<std::string> exampleUrls;   // absolute (Windows-1251)
  std::vector<std::string> examplePages;  // the example articles, same order, Windows-1251
  int pages = 1;                          // above 1: turn up to this many index pages
};

struct ProposedLink {
  std::string link;  // as the page writes it and FindUrlNews takes it
  std::string url;   // absolute
  std::string text;  // the link's text on the index page
};

struct IndexEdit {
  std::string find, replace;  // EditIndexHTML's P1 and P2
};

struct ChannelProposal {
  std::vector<TTmpOneMacroComand> steps;
  std::vector<IndexEdit> indexEdits;  // the EditIndexHTML steps, in order
  std::vector<ProposedLink> links;  // what the macro takes from the index page, in order
  std::string linkFragment;         // FindUrlNews
  std::string newsKey;              // GetNews
  std::string nameStart, nameEnd;   // FindNameNews
  std::string nextFragment;         // GetNextIndex, when pages are turned and a next link was found
  std::vector<std::string> exampleNames;  // the name each example gets
  std::string problem;  // Windows-1251: why the macro would collect nothing; empty when it works
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

}  // namespace skimlet
