// Recoding fetched pages to Windows-1251, the encoding every command works in.
#pragma once

#include <string>
#include <string_view>

namespace skimlet {

// The charset a page declares, lower-case ("utf-8", "koi8-r", "windows-1251", ...): the
// Content-Type header first, then <meta charset> or <meta http-equiv="Content-Type"> in the
// page's first 4 KiB. Empty when nothing is declared.
std::string DeclaredCharset(std::string_view page, std::string_view contentTypeHeader);

// Converts `page` to Windows-1251 when it is declared UTF-8 or KOI8-R, or is undeclared but
// valid UTF-8 holding non-ASCII bytes. Characters without a Windows-1251 form become HTML
// numeric character references. A converted page, and one declared windows-1251, then
// declares windows-1251 exactly once: its first <meta> declaration is rewritten (later
// ones removed), so is an XML prolog's encoding, and a page without a <meta> declaration
// gets <meta charset="windows-1251"> (unless `undeclared` is given: then nothing is added and
// *undeclared tells whether a declaration is due, for DeclareWindows1251 when the page is
// written). Other pages stay as they are. Returns true when the page was converted.
bool PageToWin1251(std::string& page, std::string_view contentTypeHeader, bool* undeclared = nullptr);

// Adds <meta charset="windows-1251"> to the page that starts at `from` unless it has a <meta>
// declaration: into <head>, else behind <html>, the doctype or an XML prolog, else at `from`.
void DeclareWindows1251(std::string& page, std::size_t from = 0);

}  // namespace skimlet
