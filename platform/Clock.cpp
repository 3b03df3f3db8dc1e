#include "platform/Clock.h"

#include <langinfo.h>
#include <locale.h>

#include <string>

#include "platform/Text.h"

namespace skimlet {

namespace {

// The user's LC_TIME, loaded once; runs format dates on their own threads, so the global
// locale (setlocale) is never touched or relied on.
locale_t TimeLocale() {
  static const locale_t loc = [] {
    locale_t l = ::newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0));
    if (!l) l = ::newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(0));
    return l;
  }();
  return loc;
}

std::string Format(std::time_t t, nl_item item) {
  locale_t loc = TimeLocale();
  if (!loc) return {};
  std::tm tm{};
  if (!::localtime_r(&t, &tm)) return {};
  const char* format = ::nl_langinfo_l(item, loc);
  if (!format || !*format) return {};
  std::string buf(128, '\0');
  for (;;) {
    std::size_t n = ::strftime_l(buf.data(), buf.size(), format, &tm, loc);
    if (n > 0 || buf.size() >= 4096) {
      buf.resize(n);
      break;
    }
    buf.resize(buf.size() * 2);  // 0 means "did not fit" for these formats
  }
  return Utf8ToWin1251(buf);
}

}  // namespace

std::string ShortDate(std::time_t t) { return Format(t, D_FMT); }

std::string LongTime(std::time_t t) { return Format(t, T_FMT); }

namespace {

// True when `format` reads the whole of `text` into `tm`.
bool ReadAll(const std::string& text, const char* format, std::tm& tm, locale_t loc) {
  if (!format || !*format) return false;
  std::tm t = tm;
  const char* end = ::strptime_l(text.c_str(), format, &t, loc);
  while (end && *end == ' ') ++end;
  if (!end || *end != '\0') return false;
  tm = t;
  return true;
}

}  // namespace

std::optional<std::time_t> ParseDateTimeStamp(const std::string& date, const std::string& time) {
  locale_t loc = TimeLocale();
  if (!loc) return std::nullopt;
  std::string d = Win1251ToUtf8(date), t = Win1251ToUtf8(time);
  std::tm tm{};
  // A two-digit year read by "%Y" would land in the first century: such a reading is wrong.
  auto readDate = [&](const char* format) { return ReadAll(d, format, tm, loc) && tm.tm_year >= 70; };
  bool dateRead = readDate(::nl_langinfo_l(D_FMT, loc));
  for (const char* f : {"%d.%m.%y", "%d.%m.%Y", "%m/%d/%y", "%m/%d/%Y", "%Y-%m-%d", "%d/%m/%Y"})
    dateRead = dateRead || readDate(f);
  if (!dateRead) return std::nullopt;
  bool timeRead = ReadAll(t, ::nl_langinfo_l(T_FMT, loc), tm, loc);
  for (const char* f : {"%H:%M:%S", "%I:%M:%S %p", "%H:%M"}) timeRead = timeRead || ReadAll(t, f, tm, loc);
  if (!timeRead) tm.tm_hour = tm.tm_min = tm.tm_sec = 0;
  tm.tm_isdst = -1;
  std::time_t result = std::mktime(&tm);
  if (result == static_cast<std::time_t>(-1)) return std::nullopt;
  return result;
}

std::string Rfc3339Utc(std::time_t t) {
  std::tm tm{};
  if (!::gmtime_r(&t, &tm)) return "1970-01-01T00:00:00Z";
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return buf;
}

std::string DateTimeStamp(std::time_t t) {
  std::tm tm{};
  bool midnight = ::localtime_r(&t, &tm) && tm.tm_hour == 0 && tm.tm_min == 0 && tm.tm_sec == 0;
  return midnight ? ShortDate(t) : ShortDate(t) + " " + LongTime(t);
}

}  // namespace skimlet
