// Text encodings of the core: every text inside the core is a Windows-1251 byte
// string; file names on disk and everything shown outside are UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace skimlet {

// Windows-1251 -> UTF-8. Every byte has a form (the one undefined byte 0x98 becomes U+FFFD).
std::string Win1251ToUtf8(std::string_view win);

// UTF-8 -> Windows-1251. Characters without a Windows-1251 form, and bytes that are not
// valid UTF-8, become `unknown`.
std::string Utf8ToWin1251(std::string_view utf8, char unknown = '?');

// Russian literals of the core are written in UTF-8 source and used as Windows-1251.
inline std::string W(std::string_view utf8) { return Utf8ToWin1251(utf8); }

bool IsValidUtf8(std::string_view s);

// The Windows-1251 byte of a Unicode character, or -1 when it has none.
int Win1251ByteOf(char32_t cp);
// Appends the UTF-8 form of a Unicode character.
void AppendUtf8(std::string& out, char32_t cp);

// Upper case of Windows-1251 text, Cyrillic included (а..я -> А..Я, ё -> Ё, and the
// Ukrainian and Belarusian letters). Other bytes stay.
unsigned char UpperWin1251(unsigned char c);
std::string UpperWin1251(std::string_view s);

// The KOI8-R tables of the encoding actions, indexed by byte value - 0x80.
extern const unsigned char WinToKoi[128];
extern const unsigned char KoiToWin[128];
std::string ConvertWinToKoi(std::string_view win);
std::string ConvertKoiToWin(std::string_view koi);

// File and directory names: a Windows-1251 name as it is stored on disk (UTF-8), and back.
inline std::string DiskName(std::string_view win1251Name) { return Win1251ToUtf8(win1251Name); }
inline std::string CaptionFromDisk(std::string_view utf8Name) { return Utf8ToWin1251(utf8Name); }

// A Windows-1251 text for a message: in «», UTF-8, control characters as "?", cut to 60
// characters with "…" when longer.
std::string QuotedForMessage(std::string_view win);

// Longest prefix of `utf8` that is at most `maxBytes` long and ends on a character boundary.
std::string_view Utf8Prefix(std::string_view utf8, std::size_t maxBytes);

}  // namespace skimlet
