// What EditHTMLNews and FindNameNews do to a news page (Windows-1251), without the run.
#pragma once

#include <string>
#include <string_view>

#include "platform/Url.h"

namespace skimlet {

// The characters allowed in a news name.
bool IsNewsNameChar(unsigned char c);

// Every script and noscript element, in any case, becomes a comment; event attributes,
// script addresses and inline documents go.
std::string NeutraliseScripts(std::string_view html);

// Makes address attributes absolute against `resolver` (none: "href" and "src" emptied);
// `only` names one attribute, or every address attribute when empty; `dropBase` removes
// <base> elements.
std::string AbsolutizeLinks(std::string_view html, UrlResolver* resolver, std::string_view only, bool dropBase);

// The title FindNameNews takes from a page: the allowed characters between the start marker
// and the end marker (found in any case, comments and "nbsp;" removed first); empty when the
// markers are not there.
std::string NewsTitleBetween(const std::string& html, const std::string& startMarker, const std::string& endMarker);

}  // namespace skimlet
