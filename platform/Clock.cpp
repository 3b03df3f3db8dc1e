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

std::string DateTimeStamp(std::time_t t) {
  std::tm tm{};
  bool midnight = ::localtime_r(&t, &tm) && tm.tm_hour == 0 && tm.tm_min == 0 && tm.tm_sec == 0;
  return midnight ? ShortDate(t) : ShortDate(t) + " " + LongTime(t);
}

}  // namespace skimlet
