// Date and time texts in the formats of the user's locale (LC_TIME), as Windows-1251.
#pragma once

#include <ctime>
#include <optional>
#include <string>

namespace skimlet {

std::string ShortDate(std::time_t t);  // the locale's date format, e.g. "07.12.2026"
std::string LongTime(std::time_t t);   // the locale's time format, e.g. "08:30:05"

// Short date, a blank, long time; at exactly midnight the time part is left out.
std::string DateTimeStamp(std::time_t t);

// The moment a short date and a long time (Windows-1251, as above) name, read in the
// user's locale first and then in the common numeric forms (another locale may have
// written them). Empty when the date cannot be read; a time that cannot be read counts
// as midnight.
std::optional<std::time_t> ParseDateTimeStamp(const std::string& date, const std::string& time);

// RFC 3339 in UTC: "2026-12-07T05:30:05Z".
std::string Rfc3339Utc(std::time_t t);

}  // namespace skimlet
