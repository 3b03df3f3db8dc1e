// Date and time texts in the formats of the user's locale (LC_TIME), as Windows-1251.
#pragma once

#include <ctime>
#include <string>

namespace skimlet {

std::string ShortDate(std::time_t t);  // the locale's date format, e.g. "07.12.2026"
std::string LongTime(std::time_t t);   // the locale's time format, e.g. "08:30:05"

// Short date, a blank, long time; at exactly midnight the time part is left out.
std::string DateTimeStamp(std::time_t t);

}  // namespace skimlet
